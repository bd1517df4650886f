#include "cli/cli_options.h"

#include "convert/job_support.h"
#include "convert/size_fit.h"
#include "gif/encode/quality_table.h"
#include "platform/video/video_file_writer.h"

#include <algorithm>
#include <thread>

namespace framolo {

namespace {

TCliOption Flag(std::string name, std::string help) {
    return {std::move(name), TOptionKind::Flag, "", 0, 0, std::move(help)};
}

TCliOption Number(std::string name, std::string value, std::int64_t min, std::int64_t max,
                  std::string help) {
    return {std::move(name), TOptionKind::Number, std::move(value), min, max, std::move(help)};
}

TCliOption Word(std::string name, std::string value, std::string help) {
    return {std::move(name), TOptionKind::Word, std::move(value), 0, 0, std::move(help)};
}

std::vector<TCliCommand> MakeCommands() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    TCliCommand avi2gif{
        "avi2gif",
        "INPUT OUTPUT.gif [options]",
        "Converts the frames START to END of INPUT, every STEP-th one, into an animated\n"
        "GIF: each frame is scaled to WIDTH x HEIGHT, reduced to at most 256 colours and\n"
        "written as soon as it is done. INPUT may be any video FFmpeg reads (AVI, MP4,\n"
        "MKV, MOV, WebM). A failed or stopped (Ctrl-C) run leaves no OUTPUT.gif.\n"
        "OUTPUT.gif is never INPUT itself (nor a link to it) and, unless --force is\n"
        "given, never a name with a video's extension.\n",
        {
            Number("--start", "N", 0, INT32_MAX, "first frame (default: the clip's first frame)"),
            Number("--end", "N", 0, INT32_MAX,
                   "last frame, included (default: the clip's last frame)"),
            Number("--step", "N", 1, INT32_MAX, "take every N-th frame, N above 0 (default: 1)"),
            // A GIF keeps the screen size, the delay in hundredths of a second
            // and the loop count in 16 bits each.
            Number("--width", "N", 1, 65535,
                   "output width in pixels (default: the clip's width; with\n"
                   "--height alone, the width that keeps the clip's aspect)"),
            Number("--height", "N", 1, 65535,
                   "output height in pixels (default: the clip's height; with\n"
                   "--width alone, the height that keeps the clip's aspect)"),
            Number("--delay", "MS", 0, 655350,
                   "how long each frame shows, in milliseconds (default: the\n"
                   "clip's frame period). A GIF stores delays in hundredths\n"
                   "of a second; frame k starts at the hundredth nearest\n"
                   "k x MS / 10, so 125 is stored as 13, 12, 13, 12 ...\n"
                   "Common browsers play a stored 0 or 1 as 10 hundredths;\n"
                   "20 (2 hundredths) is the shortest delay they play as given."),
            Number("--loop", "N", 0, 65535,
                   "the loop count stored in the GIF: 0 (default) loops\n"
                   "forever; most viewers show the animation once and then\n"
                   "repeat it N times"),
            Word("--reduction", "METHOD",
                 "windows20 windows256 windowsgray monochrome grayscale\n"
                 "netscape quantize quantizewindows, or best: a palette\n"
                 "that keeps the error small (Wu's split refined by\n"
                 "k-means), searched exactly. Without --reduction the GIF\n"
                 "takes the best palette with the small-file road of\n"
                 "--optimize, tuned by --quality; --reduction quantize\n"
                 "--dither floydsteinberg gives the window's default"),
            Word("--dither", "MODE",
                 "nearest floydsteinberg stucki sierra jajuni stevearche\n"
                 "burkes (default: nearest without --reduction and with\n"
                 "--quality, floydsteinberg otherwise)"),
            Word("--crop", "WxH+X+Y",
                 "take that rectangle of every frame (W x H pixels, its\n"
                 "top left X, Y from the top left), before --width and\n"
                 "--height scale it; alone they keep the crop's aspect"),
            Flag("--reverse", "write the frames backwards"),
            Flag("--bounce", "write the frames forwards, then backwards without\n"
                             "the first and last again (the loop count is the\n"
                             "whole's)"),
            Flag("--rle", "code the image data by runs instead of LZW"),
            Flag("--optimize", "a smaller file showing the same frames: one best palette\n"
                               "while it fits the scene, only each frame's changed\n"
                               "rectangle, unchanged pixels transparent where that is\n"
                               "shorter (implies --reduction best)"),
            Number("--quality", "N", 1, 100, QualityHelpText()),
            // Past a quarter of a channel's range, pixels that plainly changed
            // would keep their index.
            Number("--tolerance", "N", 0, 64,
                   "with --optimize: a pixel whose colour moved by at most N\n"
                   "levels (a distance in RGB) keeps its index while that\n"
                   "index stays a good choice; 0 keeps only unchanged\n"
                   "pixels (default: " +
                       std::to_string(kDefaultTolerance) + ")"),
            Number("--threads", "N", 1, 256,
                   "threads that reduce and code frames (default: one per\n"
                   "core, here " +
                       std::to_string(cores) + "); the GIF is the same for every N"),
            Flag("--force", "write OUTPUT even when its name is a video's\n"
                            "(.avi, .mp4, ...), replacing that file"),
            Word("--max-size", "SIZE",
                 "the best GIF of at most SIZE bytes (K and M suffixes:\n"
                 "KB and MB of 1024, so 8M is 8388608). It gives up, in\n"
                 "this order: quality, down to " +
                     std::to_string(kFitQualityFloor) +
                     "; frame rate, the step\n"
                     "growing up to " +
                     std::to_string(kFitMaxStepFactor) +
                     " times --step, each kept frame showing\n"
                     "as much longer; width and height, aspect kept, down\n"
                     "to " +
                     std::to_string(kFitMinScalePercent) +
                     " %. Settings come from estimates (--estimate);\n"
                     "the clip is converted again only when over SIZE. When\n"
                     "nothing fits, exits 1 with the smallest size reached\n"
                     "and writes nothing. Works on the quality road (no\n"
                     "--reduction, --optimize or --tolerance)"),
            Flag("--estimate", "print \"About N MB\" (\"About N KB\" below 1 MB; both\n"
                               "1024-based) for the GIF these settings make, and\n"
                               "write nothing (OUTPUT.gif may be left out): every\n"
                               "frame is coded, but only strips of a twelfth of its\n"
                               "rows, corrected by a few frames coded whole"),
            Flag("--json", "print the report as one JSON object"),
            Flag("--quiet", "no progress bar, warnings or text report"),
        },
        "The report gives the GIF's width, height, frame count, size and file name;\n"
        "with --max-size also the limit and the quality and step chosen.\n",
        2,
        "avi2gif takes INPUT and OUTPUT.gif",
        "--estimate"};
    TCliCommand gif2avi{
        "gif2avi",
        "INPUT.gif OUTPUT.avi|.mp4|.webm [options]",
        "Writes every frame of INPUT.gif as one key frame of a new uncompressed 8-bit AVI\n"
        "file that lasts as long as the GIF. A frame shows for its delay; a delay of 0\n"
        "or 1, or none, shows for 10 hundredths of a second, as browsers play it, and a\n"
        "frame without an image takes no time. A sample lasts the greatest common\n"
        "divisor of the delays and each frame starts at the sample its time names; when\n"
        "that would take more than 16 samples a frame plus 4096, samples are made longer\n"
        "and each frame starts at the sample nearest its time.\n"
        "A GIF whose frames show at most 256 colours in all keeps exactly those colours.\n"
        "OUTPUT ends in .avi, .mp4 (H.264) or .webm (VP9); other names are refused.\n"
        "MP4 and WebM are compressed clips in which every frame keeps its own\n"
        "delay; frames with delay 0 or 1 show for 10 hundredths, as browsers play them.\n"
        "A video file has no loop count: the GIF's is not kept. A failed or stopped\n"
        "(Ctrl-C) run leaves no OUTPUT, and an earlier file of that name as it was.\n"
        "OUTPUT is never INPUT.gif itself (nor a link to it), and a name ending in .gif\n"
        "is refused unless --force is given (the clip is then written under .avi).\n",
        {Number("--quality", "N", 1, 100,
                "for .mp4 and .webm: 1 (smallest file) to 100 (best\n"
                "picture); " +
                    std::to_string(kDefaultVideoQuality) +
                    ", the default, is H.264's usual quality"),
         Word("--background", "RRGGBB",
              "for .mp4 and .webm: the colour shown where the GIF is\n"
              "transparent, as six hex digits (default: 000000, black)"),
         Flag("--force", "write an AVI file larger than 4 GB (4096 MB), or one for\n"
                         "an OUTPUT named .gif"),
         Flag("--json", "print the report as one JSON object"),
         Flag("--quiet", "no progress bar or text report")},
        "",
        2,
        "gif2avi takes INPUT.gif and OUTPUT.avi, OUTPUT.mp4 or OUTPUT.webm",
        ""};
    TCliCommand gif2video = gif2avi;
    gif2video.Name = "gif2video";
    gif2video.Description =
        "The same command as gif2avi, under a name that says what it does.\n\n" +
        gif2avi.Description;
    gif2video.PositionalsMessage =
        "gif2video takes INPUT.gif and OUTPUT.avi, OUTPUT.mp4 or OUTPUT.webm";
    TCliCommand info{
        "info",
        "[--json] [--frame-hashes] FILE",
        "Describes FILE. A file the GIF reader accepts is described as a GIF: its logical\n"
        "screen, loop count and every frame's size, colours, delay and pixel hash. Any\n"
        "other file is opened as a video: its streams as the AVI header gives them.\n",
        {Flag("--json", "one JSON object instead of lines of text"),
         Flag("--frame-hashes", "for a video, an FNV-1a hash of every decoded frame")},
        "",
        1,
        "info takes one FILE",
        ""};
    return {avi2gif, gif2avi, gif2video, info};
}

// The help's column where option texts begin.
constexpr std::size_t kHelpColumn = 22;

std::string OptionLine(const std::string& left, const std::string& help) {
    std::string line = "  " + left;
    line.resize(std::max(kHelpColumn, line.size() + 1), ' ');
    for (const char c : help) {
        line += c;
        if (c == '\n')
            line.append(kHelpColumn, ' ');
    }
    return line + "\n";
}

// Digits only, a 32-bit number, inside the option's range.
void CheckNumber(const TCliOption& option, const std::string& value) {
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
        throw EUsage(option.Name + " takes a whole number, not '" + value + "'");
    std::int64_t number = 0;
    try {
        number = StrToInt(value);
    } catch (const std::exception&) {
        throw EUsage(option.Name + " is out of range: '" + value + "'");
    }
    if (number < option.Min || number > option.Max)
        throw EUsage(option.Name + " must be between " + std::to_string(option.Min) + " and " +
                     std::to_string(option.Max) + ", not " + value);
}

} // namespace

const TCliCommand* FindCommand(const std::string& name) {
    static const std::vector<TCliCommand> commands = MakeCommands();
    for (const TCliCommand& command : commands)
        if (command.Name == name)
            return &command;
    return nullptr;
}

std::string CommandHelp(const TCliCommand& command) {
    std::string text = "usage: framolo-cli " + command.Name + " " + command.Synopsis + "\n\n" +
                       command.Description + "\noptions:\n";
    for (const TCliOption& option : command.Options)
        text += OptionLine(option.Value.empty() ? option.Name : option.Name + " " + option.Value,
                           option.Help);
    text += OptionLine("-h, --help", "this text");
    if (!command.Epilogue.empty())
        text += "\n" + command.Epilogue;
    return text;
}

std::string TCliArgs::Word(const std::string& option, const std::string& fallback) const {
    const auto it = values_.find(option);
    return it != values_.end() ? it->second : fallback;
}

std::int32_t TCliArgs::Number(const std::string& option, std::int32_t fallback) const {
    const auto it = values_.find(option);
    return it != values_.end() ? StrToInt(it->second) : fallback;
}

TCliArgs ParseCommandLine(const TCliCommand& command, const std::vector<std::string>& args) {
    TCliArgs parsed;
    std::vector<const TCliOption*> numbers;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || arg.rfind("--", 0) != 0) {
            parsed.Positional.push_back(arg);
            continue;
        }
        const auto option = std::find_if(command.Options.begin(), command.Options.end(),
                                         [&arg](const TCliOption& o) { return o.Name == arg; });
        if (option == command.Options.end())
            throw EUsage("unknown option " + arg);
        if (option->Kind == TOptionKind::Flag) {
            parsed.values_[arg];
            continue;
        }
        if (i + 1 >= args.size())
            throw EUsage(arg + " needs a value");
        parsed.values_[arg] = args[++i];
        if (option->Kind == TOptionKind::Number)
            numbers.push_back(&*option);
    }
    const bool lastLeftOut = !command.LastPositionalOptionalWith.empty() &&
                             parsed.Has(command.LastPositionalOptionalWith) &&
                             parsed.Positional.size() + 1 == command.Positionals;
    if (parsed.Positional.size() != command.Positionals && !lastLeftOut)
        throw EUsage(command.PositionalsMessage);
    // An empty name reaches no file, and a message naming it would end blank.
    for (std::size_t i = 0; i < parsed.Positional.size(); ++i)
        if (parsed.Positional[i].empty())
            throw EUsage(std::string(command.Positionals == 1 ? "FILE"
                                     : i == 0                 ? "INPUT"
                                                              : "OUTPUT") +
                         " is an empty name; " + command.PositionalsMessage);
    // The value that counts is the last one given.
    for (const TCliOption* option : numbers)
        CheckNumber(*option, parsed.values_[option->Name]);
    return parsed;
}

} // namespace framolo
