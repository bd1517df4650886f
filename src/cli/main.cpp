// framolo-cli: video to GIF and GIF to AVI from the command line.

#include "cli/cli_help.h"
#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "cli/clip_probe.h"
#include "cli/gif_file_output.h"
#include "cli/media_info.h"
#include "cli/signal_cleanup.h"
#include "cli/size_limit_run.h"
#include "convert/gif_to_video_job.h"
#include "convert/job_support.h"
#include "convert/output_size.h"
#include "convert/size_estimate.h"
#include "convert/size_fit.h"
#include "gif/encode/quality_table.h"
#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/avifile_guards.h"
#include "platform/avifile/video_extensions.h"
#include "platform/streams/stream.h"
#include "platform/video/video_file_writer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define FRAMOLO_ISATTY _isatty
#else
#include <sys/stat.h>
#include <unistd.h>
#define FRAMOLO_ISATTY isatty
#endif

namespace framolo {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

// The names of the colour reductions and dithering modes, as the options take them.
const std::pair<const char*, TColorReduction> kReductions[] = {
    {"windows20", TColorReduction::Windows20},
    {"windows256", TColorReduction::Windows256},
    {"windowsgray", TColorReduction::WindowsGray},
    {"monochrome", TColorReduction::Monochrome},
    {"grayscale", TColorReduction::GrayScale},
    {"netscape", TColorReduction::Netscape},
    {"quantize", TColorReduction::Quantize},
    {"quantizewindows", TColorReduction::QuantizeWindows},
    {"best", TColorReduction::BestQuality},
};
const std::pair<const char*, TDitherMode> kDithers[] = {
    {"nearest", TDitherMode::Nearest}, {"floydsteinberg", TDitherMode::FloydSteinberg},
    {"stucki", TDitherMode::Stucki},   {"sierra", TDitherMode::Sierra},
    {"jajuni", TDitherMode::JaJuNI},   {"stevearche", TDitherMode::SteveArche},
    {"burkes", TDitherMode::Burkes},
};

// The value named by a word option, in any letter case; fallback when the
// option is not given.
template <class T, std::size_t N>
T Named(const std::pair<const char*, T> (&names)[N], const TCliArgs& args, const char* option,
        T fallback, const char* what) {
    if (!args.Has(option))
        return fallback;
    const std::string value = args.Word(option, "");
    for (const auto& [name, named] : names)
        if (LowerCase(value) == name)
            return named;
    throw EUsage(std::string("unknown ") + what + " '" + value + "'");
}

bool StderrIsTerminal() {
    return FRAMOLO_ISATTY(2) != 0;
}

// Says once when the delay the run will store is one browsers do not play as asked.
void WarnAboutDelay(const TFrameParams& params) {
    // A single frame never animates, whatever its delay.
    if (std::int64_t{params.End} - params.Start < params.Step)
        return;
    if (const auto warning = DelayWarning(params.Delay))
        std::cerr << "framolo-cli: " << *warning << "\n";
}

std::int64_t FileSizeOf(const std::string& path) {
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    return f.Size();
}

// Where the report goes: the standard error when the GIF itself goes to the
// standard output, where the report's text would follow the GIF's bytes.
std::ostream& ReportStream(const std::string& output) {
#if defined(_WIN32)
    (void)output;
#else
    struct stat file {};
    struct stat out {};
    if (stat(output.c_str(), &file) == 0 && fstat(STDOUT_FILENO, &out) == 0 &&
        file.st_dev == out.st_dev && file.st_ino == out.st_ino)
        return std::cerr;
#endif
    return std::cout;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// True when args ask for a command's help before a "--" ends the options.
bool WantsHelp(const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::find(args.begin(), end, "--help") != end ||
           std::find(args.begin(), end, "-h") != end;
}

// A GIF written under a video's extension replaces a clip, most likely the
// one the user meant to convert.
bool HasVideoExtension(const std::string& path) {
    const std::string ext = LowerCase(ExtractFileExt(path));
    return std::find(VideoFileExtensions.begin(), VideoFileExtensions.end(), ext) !=
           VideoFileExtensions.end();
}

// Refuses, before any work, an output that is the input itself: the same
// file once links are followed, whatever names they go by.
void RefuseToOverwriteInput(const std::string& input, const std::string& output) {
    std::error_code error;
    if (std::filesystem::equivalent(input, output, error))
        throw EUsage("OUTPUT " + output + " is the input file " + input +
                     "; writing it would destroy the input");
}

// Refuses the input as output, and an output named as the input's kind is
// named: the arguments were most likely given the wrong way round. remedy
// says what to do instead.
void RefuseToReplaceInput(const TCliArgs& args, bool namedLikeInput, const std::string& kind,
                          const std::string& remedy) {
    const std::string& input = args.Positional[0];
    const std::string& output = args.Positional[1];
    RefuseToOverwriteInput(input, output);
    if (namedLikeInput)
        throw EUsage("OUTPUT " + output + " has " + kind + " extension, not one for what " + input +
                     " becomes (INPUT and OUTPUT swapped?); " + remedy);
}

// The largest width and height a GIF holds.
constexpr int kGifMaxSide = 65535;

// What a run may hold for the frames it converts at once, and about what a
// frame of the GIF takes per pixel: the first (its picture, the reduction's
// error rows, the coded frame and the optimizer's screen) and each further
// one in flight on another thread.
constexpr std::int64_t kFrameMemoryBudget = std::int64_t{768} << 20;
constexpr std::int64_t kFirstFrameBytesPerPixel = 32;
constexpr std::int64_t kMoreFrameBytesPerPixel = 12;

// The threads a run of width x height frames takes within the frame memory
// budget: fewer than asked for when their frames in flight would pass it.
// Refuses a frame too large for the budget alone.
int ThreadsWithinBudget(int width, int height, int threads, bool quiet) {
    const std::int64_t pixels = std::int64_t{width} * height;
    const std::int64_t first = pixels * kFirstFrameBytesPerPixel;
    if (first > kFrameMemoryBudget) {
        // Said as a run out of memory says it, the budget's figures first.
        if (!quiet)
            std::cerr << "framolo-cli: a GIF of " << width << "x" << height << " takes about "
                      << (first >> 20)
                      << " MB a frame to convert, more than the frame memory budget of "
                      << (kFrameMemoryBudget >> 20) << " MB\n";
        throw EJobError(jobmsg::OutOfMemoryForGif);
    }
    const std::int64_t more =
        pixels > 0 ? (kFrameMemoryBudget - first) / (pixels * kMoreFrameBytesPerPixel) : threads;
    return static_cast<int>(std::clamp<std::int64_t>(more + 1, 1, std::max(1, threads)));
}

// The --max-size limit, checked against the run's road; unset without the option.
std::optional<std::int64_t> SizeLimitOption(const TCliArgs& args, const TFrameParams& params) {
    if (!args.Has("--max-size"))
        return std::nullopt;
    const std::string text = args.Word("--max-size", "");
    const std::optional<std::int64_t> limit = ParseSizeLimit(text);
    if (!limit)
        throw EUsage("--max-size takes a size above 0 in bytes, or with a K or M suffix (8M, "
                     "500K), not '" +
                     text + "'");
    if (args.Has("--estimate"))
        throw EUsage("--estimate and --max-size do not go together");
    if (!params.Optimize || params.Quality == 0)
        throw EUsage("--max-size works on the quality road: leave out --reduction, --optimize "
                     "and --tolerance");
    return limit;
}

// --estimate: the size the settings would make, as "About N MB".
int PrintEstimate(TCliHost& host, int threads, bool json) {
    const auto started = std::chrono::steady_clock::now();
    TSizeSampler sampler(host.CurrentFileName(), host, threads);
    TSizeEstimate estimate;
    try {
        estimate = sampler.Estimate(host.Params);
    } catch (const EJobError& e) {
        // Said as the conversion itself would say it.
        host.EndRun(TJobKind::AviToGif);
        host.ShowApplicationError(e.what());
        return kExitError;
    }
    if (estimate.Bytes == 0) {
        std::cerr << "framolo-cli: stopped; no estimate\n";
        return kExitError;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.3f", SecondsSince(started));
    if (json)
        std::cout << "{\"estimate\": " << JsonString(AboutSizeText(estimate.Bytes))
                  << ", \"estimate_bytes\": " << estimate.Bytes
                  << ", \"width\": " << host.Params.Width << ", \"height\": " << host.Params.Height
                  << ", \"frames\": " << estimate.Frames
                  << ", \"sampled_rows\": " << estimate.SampledRows << ", \"seconds\": " << seconds
                  << "}\n";
    else
        std::cout << AboutSizeText(estimate.Bytes) << "\n";
    return 0;
}

// --max-size: the best GIF within the limit, and its report.
int ConvertAndReport(TCliHost& host, TOutputFile& output,
                     const TAviToGifStreamJob::TOptions& options, std::int64_t limit,
                     const TCliArgs& args, std::chrono::steady_clock::time_point started) {
    TCliLimitedRun run;
    try {
        run = ConvertUnderLimit(host, output, options, limit);
    } catch (const EJobError& e) {
        host.EndRun(TJobKind::AviToGif);
        host.ShowApplicationError(e.what());
        return kExitError;
    }
    switch (run.Outcome.End) {
    case TJobEnd::Finished:
        break;
    case TJobEnd::NotStarted:
        std::cerr << "framolo-cli: no GIF of this clip fits in " << limit
                  << " bytes: the smallest, at quality " << run.Params.Quality << ", step "
                  << run.Params.Step << " and " << run.Params.Width << "x" << run.Params.Height
                  << ", takes " << run.Smallest << " bytes (" << AboutSizeText(run.Smallest)
                  << "); nothing was written\n";
        return kExitError;
    case TJobEnd::Stopped:
        std::cerr << "framolo-cli: stopped; nothing was written\n";
        return kExitError;
    default:
        return kExitError;
    }
    host.ShowFinishedProgress();
    if (args.Has("--json") || !args.Has("--quiet")) {
        TCliReport report{run.Params.Width,  run.Params.Height,  run.Outcome.FrameCount,
                          run.Outcome.Bytes, args.Positional[1], SecondsSince(started)};
        report.Limit = limit;
        report.Quality = run.Params.Quality;
        report.Step = run.Params.Step;
        report.Encodes = run.Encodes;
        report.Estimates = run.Estimates;
        WriteReport(ReportStream(args.Positional[1]), report, args.Has("--json"));
    }
    return 0;
}

int AviToGif(const TCliArgs& args) {
    const bool quiet = args.Has("--quiet");
    const bool optimize = args.Has("--optimize");
    const std::string& input = args.Positional[0];
    const bool estimateOnly = args.Has("--estimate");
    if (!estimateOnly)
        RefuseToReplaceInput(args, HasVideoExtension(args.Positional[1]) && !args.Has("--force"),
                             "a video file's", "--force writes it anyway");
    TCliHost host(std::cout, std::cerr, quiet, StderrIsTerminal());
    host.SetCurrentFileName(input);
    const TClipDefaults clip = ProbeClip(input);
    if (clip.TooLarge)
        throw EJobError("the clip's pictures are " + std::to_string(clip.Width) + "x" +
                        std::to_string(clip.Height) + ", more than framolo-cli decodes (" +
                        std::to_string(AVIMaxFrameSide) + " pixels a side, " +
                        std::to_string(AVIMaxFramePixels / 1000000) + " million in all)");
    if (clip.PeriodTooLong && !quiet && !args.Has("--delay")) {
        char seconds[64];
        std::snprintf(seconds, sizeof(seconds), "%.2f", clip.PeriodMs / 1000.0);
        std::cerr << "framolo-cli: the clip shows a frame every " << seconds
                  << " s, longer than a GIF's longest delay: each frame shows 655.35 s\n";
    }
    // A crop takes the place of the clip's picture: its size is the default
    // and its aspect the one kept.
    std::optional<TCropRect> crop;
    if (args.Has("--crop")) {
        crop = ParseCrop(args.Word("--crop", ""));
        if (!crop)
            throw EUsage("--crop takes WxH+X+Y, for example 320x180+40+60 (the clip is " +
                         std::to_string(clip.Width) + "x" + std::to_string(clip.Height) + ")");
        if (const auto problem =
                clip.Ok ? CropProblem(*crop, clip.Width, clip.Height) : std::nullopt)
            throw EUsage("--crop: " + *problem);
    }
    if (args.Has("--reverse") && args.Has("--bounce"))
        throw EUsage("--reverse and --bounce do not go together");
    // One side given alone sets the other by the clip's aspect. A size no
    // GIF holds is refused as the header gives it, before the pictures' size
    // is taken in its place.
    const bool widthOnly = args.Has("--width") && !args.Has("--height");
    const bool heightOnly = args.Has("--height") && !args.Has("--width");
    const auto gifSize = [&](int clipWidth, int clipHeight) {
        const int w = heightOnly ? AspectSide(args.Number("--height", 0), clipHeight, clipWidth)
                                 : args.Number("--width", clipWidth);
        const int h = widthOnly ? AspectSide(args.Number("--width", 0), clipWidth, clipHeight)
                                : args.Number("--height", clipHeight);
        for (const auto& [option, side, clipSide, what] :
             {std::tuple{"--width", w, clipWidth, "wide"},
              std::tuple{"--height", h, clipHeight, "high"}})
            if (!args.Has(option) && side > kGifMaxSide)
                throw EUsage(
                    (side == clipSide ? "the clip is " : "kept to the clip's aspect, the GIF is ") +
                    std::to_string(side) + " pixels " + what + ", more than a GIF holds (" +
                    std::to_string(kGifMaxSide) + "); give " + option + " N");
        return std::pair{w, h};
    };
    if (clip.HeaderWidth != 0)
        gifSize(clip.HeaderWidth, clip.HeaderHeight);
    const auto [width, height] =
        crop ? gifSize(crop->Width, crop->Height) : gifSize(clip.Width, clip.Height);
    if (clip.HeaderWidth != 0 && !quiet)
        std::cerr << "framolo-cli: the clip's header gives its pictures as " << clip.HeaderWidth
                  << "x" << clip.HeaderHeight << ", but they are " << clip.Width << "x"
                  << clip.Height << "; the pictures' size is taken\n";

    TFrameParams& params = host.Params;
    params.Start = args.Number("--start", clip.Start);
    params.End = args.Number("--end", clip.End);
    params.Step = args.Number("--step", 1);
    params.Width = width;
    params.Height = height;
    params.Delay = args.Number("--delay", clip.DelayMs);
    params.Loop = args.Number("--loop", 0);
    params.Reduction =
        Named(kReductions, args, "--reduction", TColorReduction::BestQuality, "reduction");
    const bool best = params.Reduction == TColorReduction::BestQuality;
    if (optimize && !best)
        throw EUsage("--optimize works with --reduction best");
    if (args.Has("--quality") && !best)
        throw EUsage("--quality works with --reduction best");
    if (args.Has("--tolerance") && !optimize)
        throw EUsage("--tolerance works with --optimize");
    if (args.Has("--tolerance") && args.Has("--quality"))
        throw EUsage("--tolerance and --quality do not go together: --quality sets the tolerance");
    // Without --reduction, and with --quality, the small-file road with the
    // quality's tuning; an explicit --optimize alone keeps its own tolerance.
    const bool tuned = args.Has("--quality") || (!args.Has("--reduction") && !optimize);
    params.Optimize = optimize || tuned;
    params.Quality = tuned ? args.Number("--quality", kDefaultQuality) : 0;
    params.Dither = Named(kDithers, args, "--dither",
                          tuned ? kQualityDither : TDitherMode::FloydSteinberg, "dither mode");
    params.DataCoding = args.Has("--rle") ? 1 : 0;
    params.Crop = crop;
    params.Order = args.Has("--reverse")  ? TFrameOrder::Reverse
                   : args.Has("--bounce") ? TFrameOrder::Bounce
                                          : TFrameOrder::Forward;
    params.Tolerance = args.Number("--tolerance", kDefaultTolerance);
    TAviToGifStreamJob::TOptions options;
    options.Threads = args.Number(
        "--threads", static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency())));

    options.Threads = ThreadsWithinBudget(width, height, options.Threads, quiet);

    // A range the clip cannot give is refused before any work, as the window does.
    const int lastFrame = std::max(clip.End, clip.HeaderEnd);
    if (clip.Ok && lastFrame >= clip.Start) {
        if (const auto problem = FrameRangeProblem("--start", params.Start, "--end", params.End,
                                                   clip.Start, lastFrame))
            throw EUsage(*problem);
    } else if (args.Has("--start") && args.Has("--end") && params.Start > params.End) {
        throw EUsage("--start " + std::to_string(params.Start) + " comes after --end " +
                     std::to_string(params.End));
    }
    if (args.Has("--end") && clip.Ok && clip.End < clip.HeaderEnd && params.End > clip.End)
        throw EJobError("--end " + args.Word("--end", "") + " runs past frame " +
                        std::to_string(clip.End) +
                        ", the last one in the file (it is cut short: " + "its header promises " +
                        std::to_string(clip.HeaderEnd - clip.Start + 1) + " frames)");
    const std::optional<std::int64_t> limit = SizeLimitOption(args, params);
    if (!quiet)
        WarnAboutDelay(params);
    if (estimateOnly)
        return PrintEstimate(host, options.Threads, args.Has("--json"));

    InstallSignalCleanup();
    TOutputFile output(args.Positional[1]);
    const auto started = std::chrono::steady_clock::now();
    if (limit)
        return ConvertAndReport(host, output, options, *limit, args, started);
    const TJobOutcome outcome = ConvertAviToGifFile(host, host, output, options);
    if (outcome.End == TJobEnd::Stopped) {
        std::cerr << "framolo-cli: stopped; nothing was written\n";
        return kExitError;
    }
    if (outcome.End != TJobEnd::Finished)
        return kExitError;
    host.ShowFinishedProgress();
    if (args.Has("--json") || !quiet)
        WriteReport(ReportStream(args.Positional[1]),
                    {params.Width, params.Height, outcome.FrameCount, outcome.Bytes,
                     args.Positional[1], SecondsSince(started)},
                    args.Has("--json"));
    return 0;
}

// What a GIF's road to a clip may hold: the document's pixels, and the
// screen-sized pictures it composites and writes, about this many bytes for
// each pixel of the screen.
constexpr std::int64_t kGifRoadMemoryBudget = std::int64_t{900} << 20;
constexpr std::int64_t kClipBytesPerScreenPixel = 5;

// Six hex digits, red first, as 0x00BBGGRR.
TColor ParseBackground(const std::string& text) {
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw EUsage("--background takes six hex digits such as ff8000, not '" + text + "'");
    const unsigned long rgb = std::stoul(hex, nullptr, 16);
    return RGB(static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
               static_cast<std::uint8_t>(rgb));
}

int GifToAvi(const TCliArgs& args) {
    const bool quiet = args.Has("--quiet");
    const bool json = args.Has("--json");
    // The job writes a name with another extension than .avi, .mp4 or .webm
    // under .avi.
    TVideoFileFormat format{};
    const std::string& output = args.Positional[1];
    // With --force the clip takes the name the job gives any other extension.
    const bool gifName = LowerCase(ExtractFileExt(output)) == ".gif";
    RefuseToReplaceInput(args, gifName && !args.Has("--force"), "a GIF's",
                         "name it .avi, .mp4 or .webm, or --force writes it as " +
                             ChangeFileExt(output, ".avi"));
    // A clip's index and sizes are written last, at their places in the file,
    // which a device or a pipe cannot take; its name must not become another
    // file's either (/dev/stdout.avi).
    std::error_code error;
    const auto kind = std::filesystem::status(output, error).type();
    if (kind != std::filesystem::file_type::not_found &&
        kind != std::filesystem::file_type::regular && kind != std::filesystem::file_type::none)
        throw EUsage("gif2avi writes a file it can go back in, not a device or pipe: " + output);
    // Any other extension is refused: the clip would take the .avi name,
    // which may be another file's.
    if (LowerCase(ExtractFileExt(output)) != ".avi" && !VideoFileFormatOf(output, format)) {
        if (!gifName)
            throw EUsage("OUTPUT " + output +
                         " names no kind of clip this command writes: end it in .avi (uncompressed "
                         "AVI), .mp4 (H.264) or .webm (VP9)");
        const std::string renamed = ChangeFileExt(output, ".avi");
        RefuseToOverwriteInput(args.Positional[0], renamed);
        std::error_code taken;
        if (std::filesystem::exists(std::filesystem::symlink_status(renamed, taken)))
            throw EUsage("OUTPUT " + output + " would be written as " + renamed +
                         ", which exists; name the clip " + renamed + " to replace it");
    }
    TGIFDocument document;
    document.WarningHandler = PrintWarningsOnce(std::cerr);
    // The frames' pixels come first out of the road's memory budget, and the
    // screen the road composites on, about kClipBytesPerScreenPixel a pixel,
    // out of what they leave.
    document.SetPixelBudget(std::min(document.PixelBudget(), kGifRoadMemoryBudget));
    document.LoadFromFile(args.Positional[0]);
    std::int64_t framePixels = 0;
    for (int i = 0; i < document.Frames().Count(); ++i)
        framePixels += std::int64_t{document.Frames()[i]->Width()} * document.Frames()[i]->Height();
    const std::int64_t roadBytes =
        framePixels + std::int64_t{document.Width()} * document.Height() * kClipBytesPerScreenPixel;
    if (roadBytes > kGifRoadMemoryBudget)
        throw EJobError("the GIF takes about " + std::to_string(roadBytes >> 20) +
                        " MB to convert (its frames hold " + std::to_string(framePixels) +
                        " pixels, its screen is " + std::to_string(document.Width()) + "x" +
                        std::to_string(document.Height()) +
                        "), more than the clip memory budget of " +
                        std::to_string(kGifRoadMemoryBudget >> 20) + " MB");
    TCliHost host(std::cout, std::cerr, quiet, StderrIsTerminal());
    host.SetCurrentFileName(args.Positional[0]);
    host.SetSourceDocument(&document);
    host.OutputName = args.Positional[1];
    TGifToVideoOptions video;
    video.Quality = args.Number("--quality", video.Quality);
    video.Background = ParseBackground(args.Word("--background", "000000"));
    if (args.Has("--force"))
        video.MaxAviBytes = 0;
    InstallSignalCleanup();
    const auto started = std::chrono::steady_clock::now();
    // A signal ends the run; the clip's temporary file goes with it.
    const TJobOutcome outcome = TGifToVideoJob(host, video).Run();
    switch (outcome.End) {
    case TJobEnd::Finished:
        host.ShowFinishedProgress();
        if (json || !quiet)
            WriteReport(std::cout,
                        {document.Width(), document.Height(), outcome.FrameCount,
                         FileSizeOf(host.CurrentFileName()), host.CurrentFileName(),
                         SecondsSince(started), outcome.RaisedDelays},
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

int Info(const TCliArgs& args) {
    return DescribeFile(args.Positional[0], args.Has("--json"), args.Has("--frame-hashes"),
                        std::cout, std::cerr);
}

// Passes what is written on to another buffer and keeps a copy, so that a
// failed --json run can give its message as JSON too.
class TKeepingBuffer : public std::streambuf {
public:
    explicit TKeepingBuffer(std::streambuf* out) : out_(out) {}
    const std::string& Text() const { return text_; }

protected:
    int overflow(int c) override {
        if (c == traits_type::eof())
            return traits_type::not_eof(c);
        text_ += static_cast<char>(c);
        return out_->sputc(static_cast<char>(c));
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        text_.append(s, static_cast<std::size_t>(n));
        return out_->sputn(s, n);
    }
    int sync() override { return out_->pubsync(); }

private:
    std::streambuf* out_;
    std::string text_;
};

// The last message the tool gave in errors, without its "framolo-cli: ".
std::string LastMessage(const std::string& errors) {
    const std::string prefix = "framolo-cli: ";
    std::size_t at = std::string::npos;
    for (std::size_t line = 0; line < errors.size();) {
        if (errors.compare(line, prefix.size(), prefix) == 0)
            at = line + prefix.size();
        const std::size_t end = errors.find('\n', line);
        line = end == std::string::npos ? errors.size() : end + 1;
    }
    if (at == std::string::npos)
        return "";
    return errors.substr(at, errors.find('\n', at) - at);
}

int RunCommand(int argc, char** argv);

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (std::find(args.begin(), std::find(args.begin(), args.end(), "--"), "--json") ==
        std::find(args.begin(), args.end(), "--"))
        return RunCommand(argc, argv);
    // A script asking for JSON reads a failure as JSON too: one object on the
    // standard output, as a report would be.
    TKeepingBuffer kept(std::cerr.rdbuf());
    std::streambuf* const errors = std::cerr.rdbuf(&kept);
    int status = 0;
    try {
        status = RunCommand(argc, argv);
    } catch (...) {
        std::cerr.rdbuf(errors);
        throw;
    }
    std::cerr.rdbuf(errors);
    if (status != 0)
        std::cout << "{\"error\": " << JsonString(LastMessage(kept.Text()))
                  << ", \"exit_status\": " << status << "}\n";
    return status;
}

int RunCommand(int argc, char** argv) {
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
    const TCliCommand* command = FindCommand(args[0]);
    args.erase(args.begin());
    if (command != nullptr && WantsHelp(args)) {
        std::cout << CommandHelp(*command);
        return 0;
    }
    try {
        if (command == nullptr)
            throw EUsage(std::string("unknown command ") + argv[1]);
        const TCliArgs parsed = ParseCommandLine(*command, args);
        if (command->Name == "avi2gif")
            return AviToGif(parsed);
        if (command->Name == "gif2avi" || command->Name == "gif2video")
            return GifToAvi(parsed);
        return Info(parsed);
    } catch (const EUsage& e) {
        std::cerr << "framolo-cli: " << e.what() << "\n" << UsageText();
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        // The conversions say so in their own words; this is any other step.
        std::cerr << "framolo-cli: Not enough memory to finish the command\n";
        return kExitError;
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
