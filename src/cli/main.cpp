// framolo-cli: video to GIF and GIF to AVI from the command line.

#include "cli/cli_help.h"
#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "cli/gif_file_output.h"
#include "cli/media_info.h"
#include "cli/output_file.h"
#include "color/shared_palette_reducer.h"
#include "convert/avi_to_gif_job.h"
#include "convert/gif_to_avi_job.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/avifile_guards.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define FRAMOLO_ISATTY _isatty
#else
#include <unistd.h>
#define FRAMOLO_ISATTY isatty
#endif

namespace framolo {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const std::vector<std::string> kReductions = {"windows20",  "windows256",     "windowsgray",
                                              "monochrome", "grayscale",      "netscape",
                                              "quantize",   "quantizewindows"};
const std::vector<std::string> kDithers = {"nearest", "floydsteinberg", "stucki", "sierra",
                                           "jajuni",  "stevearche",     "burkes"};

int IndexIn(const std::vector<std::string>& list, const std::string& value, const char* what) {
    const std::string v = LowerCase(value);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == v)
            return static_cast<int>(i);
    throw EUsage(std::string("unknown ") + what + " '" + value + "'");
}

// A number option: digits only, as the window's fields accept.
std::string Digits(const std::string& option, const std::string& value) {
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
        throw EUsage(option + " takes a whole number, not '" + value + "'");
    try {
        StrToInt(value);
    } catch (const std::exception&) {
        throw EUsage(option + " is out of range: '" + value + "'");
    }
    if (const std::string error = CheckOptionRange(option, value); !error.empty())
        throw EUsage(error);
    return value;
}

bool StderrIsTerminal() {
    return FRAMOLO_ISATTY(2) != 0;
}

// What the window fills in when a clip is opened: its first and last frame,
// its size and its frame period.
struct TClipDefaults {
    bool Ok = false;
    int Start = 0;
    int End = -1;       // the last frame the file holds
    int HeaderEnd = -1; // the last frame its header promises
    int Width = 0;
    int Height = 0;
    int DelayMs = 0;
};

TClipDefaults ProbeClip(const std::string& path) {
    TClipDefaults d;
    TAVILibraryGuard library;
    TAVIFileGuard file;
    if (AVIFileOpen(file.File, path, OF_SHARE_DENY_WRITE) != 0) {
        file.File = nullptr;
        return d;
    }
    TAVIStreamGuard stream;
    if (AVIFileGetStream(file.File, stream.Stream, streamtypeVIDEO, 0) != 0 ||
        stream.Stream == nullptr) {
        stream.Stream = nullptr;
        return d;
    }
    TAVIStreamInfo info;
    if (AVIStreamInfo(stream.Stream, info, static_cast<std::int32_t>(sizeof(info))) != 0)
        return d;
    // A header may start a stream near the largest frame number: the last
    // frame is counted in 64 bits and kept to the numbers a field can hold.
    const auto lastFrame = [start = AVIStreamStart(stream.Stream)](std::int32_t length) {
        return static_cast<int>(
            std::min<std::int64_t>(std::int64_t{start} + length - 1, INT32_MAX));
    };
    d.Start = AVIStreamStart(stream.Stream);
    d.End = lastFrame(AVIStreamLengthInFile(stream.Stream));
    d.HeaderEnd = lastFrame(AVIStreamLength(stream.Stream));
    d.Width = info.rcFrame.Right - info.rcFrame.Left;
    d.Height = info.rcFrame.Bottom - info.rcFrame.Top;
    if (info.dwRate != 0)
        d.DelayMs = static_cast<int>(
            std::nearbyint(static_cast<double>(info.dwScale) * 1000.0 / info.dwRate));
    d.Ok = true;
    return d;
}

// Says once when the delay the run will store is one browsers do not play as asked.
void WarnAboutDelay(const std::array<std::string, 7>& fields) {
    auto value = [&fields](TParamField f) { return StrToInt(fields[static_cast<std::size_t>(f)]); };
    const std::int64_t start = value(TParamField::Start);
    const std::int64_t end = value(TParamField::End);
    // A single frame never animates, whatever its delay.
    if (end - start < value(TParamField::Step))
        return;
    if (const auto warning = DelayWarning(value(TParamField::Delay)))
        std::cerr << "framolo-cli: " << *warning << "\n";
}

std::int64_t FileSizeOf(const std::string& path) {
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    return f.Size();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// True when args ask for a command's help.
bool WantsHelp(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--help") != args.end() ||
           std::find(args.begin(), args.end(), "-h") != args.end();
}

int AviToGif(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    bool rle = false;
    bool quiet = false;
    bool json = false;
    bool optimize = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--rle") {
            rle = true;
        } else if (a == "--optimize") {
            optimize = true;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a.rfind("--", 0) == 0) {
            static const std::vector<std::string> known = {
                "--start", "--end",       "--step",   "--width",   "--height",   "--delay",
                "--loop",  "--reduction", "--dither", "--threads", "--tolerance"};
            if (std::find(known.begin(), known.end(), a) == known.end())
                throw EUsage("unknown option " + a);
            if (i + 1 >= args.size())
                throw EUsage(a + " needs a value");
            values[a] = args[++i];
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        throw EUsage("avi2gif takes INPUT and OUTPUT.gif");

    TCliHost host(std::cout, std::cerr, quiet, StderrIsTerminal());
    host.SetCurrentFileName(positional[0]);
    const TClipDefaults clip = ProbeClip(positional[0]);
    auto field = [&](TParamField f, const char* option, int fallback) {
        const auto it = values.find(option);
        host.Fields[static_cast<std::size_t>(f)] =
            it != values.end() ? Digits(option, it->second) : std::to_string(fallback);
    };
    field(TParamField::Start, "--start", clip.Start);
    field(TParamField::End, "--end", clip.End);
    field(TParamField::Step, "--step", 1);
    field(TParamField::Width, "--width", clip.Width);
    field(TParamField::Height, "--height", clip.Height);
    field(TParamField::Delay, "--delay", clip.DelayMs);
    field(TParamField::Loop, "--loop", 0);
    if (IsZeroStep(host.Fields[static_cast<std::size_t>(TParamField::Step)]))
        throw EUsage(jobmsg::StepGreaterThanZero);
    const int bestIndex = static_cast<int>(TColorReduction::BestQuality) - 1;
    if (const auto it = values.find("--reduction"); it != values.end())
        host.ReductionIndex = LowerCase(it->second) == "best"
                                  ? bestIndex
                                  : IndexIn(kReductions, it->second, "reduction");
    if (optimize && values.count("--reduction") != 0 && host.ReductionIndex != bestIndex)
        throw EUsage("--optimize works with --reduction best");
    if (optimize)
        host.ReductionIndex = bestIndex;
    if (const auto it = values.find("--dither"); it != values.end())
        host.DitherIndex = IndexIn(kDithers, it->second, "dither mode");
    TAviToGifStreamJob::TOptions options;
    options.DataCoding = rle ? 1 : 0;
    options.Optimize = optimize;
    options.Tolerance = TSharedPaletteReducer::kDefaultTolerance;
    if (const auto it = values.find("--tolerance"); it != values.end()) {
        if (!optimize)
            throw EUsage("--tolerance works with --optimize");
        options.Tolerance = StrToInt(Digits("--tolerance", it->second));
    }
    options.Threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (const auto it = values.find("--threads"); it != values.end()) {
        options.Threads = StrToInt(Digits("--threads", it->second));
        if (options.Threads < 1 || options.Threads > 256)
            throw EUsage("--threads takes a number from 1 to 256");
    }
    if (values.count("--end") != 0 && clip.Ok && clip.End < clip.HeaderEnd &&
        StrToInt(host.Fields[static_cast<std::size_t>(TParamField::End)]) > clip.End)
        throw EJobError("--end " + values["--end"] + " runs past frame " +
                        std::to_string(clip.End) +
                        ", the last one in the file (it is cut short: " + "its header promises " +
                        std::to_string(clip.HeaderEnd - clip.Start + 1) + " frames)");
    if (!quiet)
        WarnAboutDelay(host.Fields);

    InstallSignalCleanup();
    TOutputFile output(positional[1]);
    const auto started = std::chrono::steady_clock::now();
    const TJobOutcome outcome = ConvertAviToGifFile(host, output, options);
    if (outcome.End == TJobEnd::Stopped) {
        std::cerr << "framolo-cli: stopped; nothing was written\n";
        return kExitError;
    }
    if (outcome.End != TJobEnd::Finished)
        return kExitError;
    if (json || !quiet)
        WriteReport(std::cout,
                    {StrToInt(host.Fields[static_cast<std::size_t>(TParamField::Width)]),
                     StrToInt(host.Fields[static_cast<std::size_t>(TParamField::Height)]),
                     outcome.FrameCount, outcome.Bytes, positional[1], SecondsSince(started)},
                    json);
    return 0;
}

int GifToAvi(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    bool quiet = false;
    bool json = false;
    for (const std::string& a : args) {
        if (a == "--quiet")
            quiet = true;
        else if (a == "--json")
            json = true;
        else if (a.rfind("--", 0) == 0)
            throw EUsage("unknown option " + a);
        else
            positional.push_back(a);
    }
    if (positional.size() != 2)
        throw EUsage("gif2avi takes INPUT.gif and OUTPUT.avi");
    TGIFDocument document;
    document.WarningHandler = PrintWarningsOnce(std::cerr);
    document.LoadFromFile(positional[0]);
    TCliHost host(std::cout, std::cerr, quiet, StderrIsTerminal());
    host.SetCurrentFileName(positional[0]);
    host.SetSourceDocument(&document);
    host.OutputName = positional[1];
    InstallSignalCleanup();
    const auto started = std::chrono::steady_clock::now();
    TJobOutcome outcome;
    {
        TStoppableStage stage;
        outcome = TGifToAviJob(host).Run();
    }
    switch (outcome.End) {
    case TJobEnd::Finished:
        if (json || !quiet)
            WriteReport(std::cout,
                        {document.Width(), document.Height(), outcome.FrameCount,
                         FileSizeOf(host.CurrentFileName()), host.CurrentFileName(),
                         SecondsSince(started)},
                        json);
        return 0;
    case TJobEnd::NotStarted:
        std::cerr << "framolo-cli: " << host.LastMessage << "\n";
        return kExitError;
    case TJobEnd::Stopped:
        std::cerr << "framolo-cli: stopped; the frames written so far stay in "
                  << host.CurrentFileName() << "\n";
        return kExitError;
    default:
        return kExitError;
    }
}

int Info(const std::vector<std::string>& args) {
    bool json = false;
    bool hashes = false;
    std::vector<std::string> positional;
    for (const std::string& a : args) {
        if (a == "--json")
            json = true;
        else if (a == "--frame-hashes")
            hashes = true;
        else if (a.rfind("--", 0) == 0)
            throw EUsage("unknown option " + a);
        else
            positional.push_back(a);
    }
    if (positional.size() != 1)
        throw EUsage("info takes one FILE");
    return DescribeFile(positional[0], json, hashes, std::cout, std::cerr);
}

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? std::cerr : std::cout) << UsageText();
        return args.empty() ? kExitUsage : 0;
    }
    if (args[0] == "--version") {
        std::cout << VersionText();
        return 0;
    }
    if (args[0] == "help") {
        const std::string text = args.size() > 1 ? CommandHelp(args[1]) : UsageText();
        if (text.empty()) {
            std::cerr << "framolo-cli: unknown command " << args[1] << "\n" << UsageText();
            return kExitUsage;
        }
        std::cout << text;
        return 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (!CommandHelp(command).empty() && WantsHelp(args)) {
        std::cout << CommandHelp(command);
        return 0;
    }
    try {
        if (command == "avi2gif")
            return AviToGif(args);
        if (command == "gif2avi")
            return GifToAvi(args);
        if (command == "info")
            return Info(args);
        throw EUsage("unknown command " + command);
    } catch (const EUsage& e) {
        std::cerr << "framolo-cli: " << e.what() << "\n" << UsageText();
        return kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "framolo-cli: " << e.what() << "\n";
        return kExitError;
    }
}

} // namespace
} // namespace framolo

int main(int argc, char** argv) {
    return framolo::Main(argc, argv);
}
