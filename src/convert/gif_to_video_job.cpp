#include "convert/gif_to_video_job.h"

#include "convert/job_support.h"
#include "gif/frame_compositor.h"
#include "gif/frame_timing.h"
#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/avifile_guards.h"
#include "platform/graphics/bitmap.h"
#include "platform/streams/output_file.h"
#include "platform/video/video_file_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

namespace framolo {

namespace {

constexpr std::size_t kHeaderSize = 40 + 4 * 256;
constexpr int kMaxAviSide = 32767;
// The bound on a stream's samples: 16 for each frame with an image, and 4096.
constexpr std::int64_t kSamplesPerImage = 16;
constexpr std::int64_t kSamplesBeyondImages = 4096;

// The 8-bit picture of one frame as the stream stores it: a 40-byte header with
// a 256-entry colour table, and bottom-up rows padded to four bytes.
struct TFrameBuffers {
    std::vector<std::uint8_t> Header; // header and colour table
    std::vector<std::uint8_t> Pixels;
    int Width = 0;
    int Height = 0;
    int Left = 0; // where the first frame sits on the screen
    int Top = 0;
    std::size_t RowBytes = 0;
};

// An 8-bit copy of a rendered frame (1 and 4 bits widen to 8 exactly).
const TBitmap& AsEightBit(const TBitmap& rendered, TBitmap& scratch) {
    if (rendered.PixelFormat() == TPixelFormat::pf8bit)
        return rendered;
    if (rendered.PixelFormat() != TPixelFormat::pf1bit &&
        rendered.PixelFormat() != TPixelFormat::pf4bit)
        throw EJobError(jobmsg::FailedBitmapInfo);
    scratch.Assign(&rendered);
    scratch.SetPixelFormat(TPixelFormat::pf8bit);
    return scratch;
}

void SizeBuffers(TFrameBuffers& b, const TBitmap& first, const TGIFSubImage& frame) {
    if (first.Empty())
        throw EJobError(jobmsg::FailedBitmapInfo);
    b.Width = first.Width();
    b.Height = first.Height();
    b.Left = frame.Left();
    b.Top = frame.Top();
    b.RowBytes = DIBRowBytes(b.Width, 8);
    b.Header.assign(kHeaderSize, 0);
    b.Pixels.assign(b.RowBytes * static_cast<std::size_t>(b.Height), 0);
    TBitmapInfoHeader h;
    h.biSize = 40;
    h.biWidth = b.Width;
    h.biHeight = b.Height;
    h.biPlanes = 1;
    h.biBitCount = 8;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<std::uint32_t>(b.Pixels.size());
    std::memcpy(b.Header.data(), &h, sizeof(h));
}

// Fills the buffers from a frame's rendering. A frame of another size or place
// than the first is drawn at its offset from the first frame and clipped to the
// buffer; pixels it does not cover keep the previous frame's, as a frame that
// is left in place would show.
void FillBuffers(TFrameBuffers& b, const TBitmap& rendered, const TGIFSubImage& frame, bool first) {
    TBitmap scratch;
    const TBitmap& bmp = AsEightBit(rendered, scratch);
    const auto& colors = bmp.ColorTable();
    if (first) {
        std::fill(b.Header.begin() + 40, b.Header.end(), 0);
        const std::size_t n = std::min<std::size_t>(colors.size(), 256);
        for (std::size_t i = 0; i < n; ++i) {
            b.Header[40 + i * 4] = colors[i].rgbBlue;
            b.Header[40 + i * 4 + 1] = colors[i].rgbGreen;
            b.Header[40 + i * 4 + 2] = colors[i].rgbRed;
        }
    }
    const int dx = frame.Left() - b.Left;
    const int dy = frame.Top() - b.Top;
    const int x0 = std::max(0, dx);
    const int x1 = std::min(b.Width, dx + bmp.Width());
    if (x1 <= x0)
        return;
    for (int y = 0; y < bmp.Height(); ++y) {
        const int ty = y + dy;
        if (ty < 0 || ty >= b.Height)
            continue;
        std::uint8_t* dst =
            b.Pixels.data() + b.RowBytes * static_cast<std::size_t>(b.Height - 1 - ty);
        const std::uint8_t* src = bmp.ScanLine(y);
        std::memcpy(dst + x0, src + (x0 - dx), static_cast<std::size_t>(x1 - x0));
    }
}

// The colours of a GIF whose screens show at most 256: the table the stream
// stores, and each colour's index in it sorted by colour for lookups.
struct TExactPalette {
    std::vector<std::uint32_t> Table; // 0xRRGGBB
    std::vector<std::pair<std::uint32_t, std::uint8_t>> Lookup;
    std::uint8_t IndexOf(std::uint32_t rgb) const {
        return std::lower_bound(Lookup.begin(), Lookup.end(),
                                std::pair<std::uint32_t, std::uint8_t>{rgb, 0})
            ->second;
    }
};

std::uint32_t ScreenPixel(const std::vector<std::uint8_t>& screen, std::size_t at) {
    return static_cast<std::uint32_t>(screen[at]) << 16 |
           static_cast<std::uint32_t>(screen[at + 1]) << 8 | screen[at + 2];
}

// What a viewer shows in the stream's picture: the screen at the first frame's
// place and size.
TGIFCompositor PictureCompositor(const TGIFDocument& document, const TFrameBuffers& b) {
    return TGIFCompositor(document, 0, b.Left, b.Top, b.Width, b.Height);
}

// The colours a viewer shows in the stream's picture, when there are at most
// 256 of them; false when there are more. When the global table holds them
// all, it is the stream's table in its own order, so indexes stay the GIF's;
// otherwise the colours in ascending order.
bool ExactPalette(const TGIFDocument& document, const TFrameBuffers& b, TExactPalette& palette) {
    std::vector<std::uint64_t> seen(std::size_t{1} << 18, 0);
    std::vector<std::uint32_t> colors;
    TGIFCompositor compositor = PictureCompositor(document, b);
    const TGIFImageList& frames = document.Frames();
    for (int i = 0; i < frames.Count(); ++i) {
        if (frames[i]->Empty())
            continue;
        const std::vector<std::uint8_t>& screen = compositor.Draw(*frames[i]);
        for (std::size_t at = 0; at < screen.size(); at += 3) {
            const std::uint32_t rgb = ScreenPixel(screen, at);
            std::uint64_t& word = seen[rgb >> 6];
            const std::uint64_t bit = std::uint64_t{1} << (rgb & 63);
            if ((word & bit) != 0)
                continue;
            word |= bit;
            if (colors.size() == 256)
                return false;
            colors.push_back(rgb);
        }
    }
    const TGIFColorMap& global = document.Header().ColorMap();
    std::vector<std::uint32_t> table;
    for (int i = 0; i < global.Count(); ++i) {
        const TGIFColor c = global.Entry(i);
        table.push_back(static_cast<std::uint32_t>(c.Red) << 16 |
                        static_cast<std::uint32_t>(c.Green) << 8 | c.Blue);
    }
    const bool inGlobal = std::all_of(colors.begin(), colors.end(), [&](std::uint32_t rgb) {
        return std::find(table.begin(), table.end(), rgb) != table.end();
    });
    if (inGlobal) {
        palette.Table = table;
    } else {
        std::sort(colors.begin(), colors.end());
        palette.Table = colors;
    }
    // The first entry of a colour listed twice is the one used.
    for (std::size_t i = palette.Table.size(); i-- > 0;)
        palette.Lookup.emplace_back(palette.Table[i], static_cast<std::uint8_t>(i));
    std::stable_sort(palette.Lookup.begin(), palette.Lookup.end(),
                     [](const auto& l, const auto& r) { return l.first < r.first; });
    palette.Lookup.erase(
        std::unique(palette.Lookup.begin(), palette.Lookup.end(),
                    [](const auto& l, const auto& r) { return l.first == r.first; }),
        palette.Lookup.end());
    return true;
}

// Fills the buffers with the composited picture in the exact colours.
void FillExact(TFrameBuffers& b, const TGIFCompositor& compositor, const TExactPalette& palette,
               bool first) {
    if (first) {
        std::fill(b.Header.begin() + 40, b.Header.end(), 0);
        for (std::size_t i = 0; i < palette.Table.size(); ++i) {
            b.Header[40 + i * 4] = static_cast<std::uint8_t>(palette.Table[i]);
            b.Header[40 + i * 4 + 1] = static_cast<std::uint8_t>(palette.Table[i] >> 8);
            b.Header[40 + i * 4 + 2] = static_cast<std::uint8_t>(palette.Table[i] >> 16);
        }
    }
    const std::vector<std::uint8_t>& screen = compositor.Screen();
    std::uint32_t last = ScreenPixel(screen, 0);
    std::uint8_t lastIndex = palette.IndexOf(last);
    std::size_t at = 0;
    for (int y = 0; y < b.Height; ++y) {
        std::uint8_t* dst =
            b.Pixels.data() + b.RowBytes * static_cast<std::size_t>(b.Height - 1 - y);
        for (int x = 0; x < b.Width; ++x, at += 3) {
            const std::uint32_t rgb = ScreenPixel(screen, at);
            if (rgb != last) {
                last = rgb;
                lastIndex = palette.IndexOf(rgb);
            }
            dst[x] = lastIndex;
        }
    }
}

// The first frame that has an image: zero bytes between blocks leave frames of
// extensions only before it, which viewers pass over. Nothing is written for
// a document without any image.
int FirstImage(const TGIFImageList& frames) {
    int first = 0;
    while (first < frames.Count() && frames[first]->Empty())
        ++first;
    if (first == frames.Count())
        throw EJobError(jobmsg::FirstFrameEmpty);
    return first;
}

// A failed write's message with the system's reason, when the system gave
// one ("No space left on device").
std::string WithSystemReason(const char* message) {
    const int error = errno;
    return error != 0 ? std::string(message) + ": " + std::strerror(error) : message;
}

// A stream of samples that holds every frame at its start time.
struct TSamplePlan {
    // Hundredths of a second a sample lasts (dwScale over a dwRate of 100).
    std::int64_t Scale = 1;
    // The sample each frame with an image starts at.
    std::vector<std::int64_t> Sample;
    // The samples the whole animation spans.
    std::int64_t Samples = 0;
};

// The most samples a stream may take: each sample past a frame's own is an
// empty chunk, and the bound keeps their bytes small beside the frames'.
std::int64_t SampleBound(std::int64_t images) {
    return kSamplesPerImage * images + kSamplesBeyondImages;
}

// The sample length is the greatest common divisor of the shown delays, so
// that every frame starts exactly at a sample. When that would take more
// samples than the bound allows, the samples are made just long enough to
// stay within it, and each frame starts at the sample nearest its time, or
// at the next free one when a frame shorter than a sample took that.
TSamplePlan PlanSamples(const TGIFImageList& frames, std::int64_t images) {
    const std::vector<std::int64_t> starts = FrameStarts(frames);
    const std::int64_t length = starts.back();
    TSamplePlan plan;
    std::int64_t divisor = 0;
    for (int i = 0; i < frames.Count(); ++i)
        divisor = std::gcd(divisor, std::int64_t{ShownDelay(*frames[i])});
    plan.Scale = std::max<std::int64_t>(divisor, 1);
    const std::int64_t bound = SampleBound(images);
    if (length / plan.Scale > bound)
        plan.Scale = (length + bound - 1) / bound;
    const auto nearest = [&](std::int64_t time) {
        return (2 * time + plan.Scale) / (2 * plan.Scale);
    };
    plan.Sample.assign(static_cast<std::size_t>(frames.Count()), 0);
    std::int64_t previous = -1;
    for (int i = 0; i < frames.Count(); ++i) {
        if (frames[i]->Empty())
            continue;
        previous = std::max(previous + 1, nearest(starts[static_cast<std::size_t>(i)]));
        plan.Sample[static_cast<std::size_t>(i)] = previous;
    }
    plan.Samples = std::max(previous + 1, nearest(length));
    return plan;
}

} // namespace

TJobOutcome TGifToVideoJob::Run() {
    TJobOutcome outcome;
    const std::string current = sink_.CurrentFileName();
    TGIFDocument* document = sink_.SourceDocument();
    if (current.empty() || LowerCase(ExtractFileExt(current)) == ".avi" || document == nullptr) {
        sink_.ShowMessage(jobmsg::ImportGifFirst);
        return outcome;
    }
    const std::string proposed = ChangeFileExt(current, ".avi");
    sink_.SetCurrentFileName(proposed);
    const auto chosen = sink_.AskSaveFileName(proposed, {{"Avi File ( *.avi)", "*.avi"},
                                                         {"MP4 video ( *.mp4)", "*.mp4"},
                                                         {"WebM video ( *.webm)", "*.webm"}});
    if (!chosen || chosen->empty())
        return outcome;
    TVideoFileFormat videoFormat{};
    const bool video = VideoFileFormatOf(*chosen, videoFormat);
    sink_.SetCurrentFileName(LowerCase(ExtractFileExt(*chosen)) != ".avi" && !video
                                 ? ChangeFileExt(*chosen, ".avi")
                                 : *chosen);
    RunJobSteps(sink_, TJobKind::GifToVideo, outcome, [&] {
        // The clip is written beside its name and takes the name only once it
        // is complete, or stopped: a failure or a kill leaves an earlier file
        // of that name as it was.
        std::optional<TOutputFile> output;
        try {
            output.emplace(sink_.CurrentFileName());
        } catch (const EOutputError& e) {
            // An MP4 or WebM clip is named as what it is, with the reason.
            if (video)
                throw EJobError(std::string("Failed to create ") +
                                (videoFormat == TVideoFileFormat::Mp4 ? "MP4" : "WebM") +
                                " file: " + e.what());
            throw EJobError(jobmsg::FailedCreateFile);
        }
        // A clip's index is written last, at its place in the file.
        if (output->InPlace())
            throw EJobError(jobmsg::FailedCreateFile);
        if (video)
            ConvertToVideo(*document, outcome, output->WritePath());
        else
            Convert(*document, outcome, output->WritePath());
        output->Commit();
    });
    // The file is complete here: stream, file and library were released on the way out.
    // A file that cannot be previewed is the host's to show; the job goes on.
    if (outcome.End == TJobEnd::Finished)
        sink_.PreviewAvi(sink_.CurrentFileName());
    sink_.EndRun(TJobKind::GifToVideo);
    switch (outcome.End) {
    case TJobEnd::Failed:
        sink_.ShowApplicationError(outcome.Error);
        break;
    case TJobEnd::Finished:
        sink_.ShowMessage(std::string(jobmsg::SavedTo) + "\r" + sink_.CurrentFileName());
        sink_.SetStatusLine(jobmsg::WorkingFinished + sink_.CurrentFileName());
        break;
    case TJobEnd::Stopped:
        // Said in the status line only, as for the other road: the frames
        // written so far stay in the file, which a person must be told.
        sink_.SetStatusLine("Stopped after " + std::to_string(outcome.FrameCount) + " of " +
                            std::to_string(outcome.PlannedFrames) + " frames, written to " +
                            sink_.CurrentFileName());
        break;
    default:
        break;
    }
    return outcome;
}

void TGifToVideoJob::Convert(TGIFDocument& document, TJobOutcome& outcome,
                             const std::string& path) {
    TGIFImageList& frames = document.Frames();
    // The stream takes its picture size from the first frame that has an image.
    const int first = FirstImage(frames);
    // The stream header keeps the frame rectangle in 16-bit signed numbers.
    if (document.Width() > kMaxAviSide || document.Height() > kMaxAviSide ||
        frames[first]->Width() > kMaxAviSide || frames[first]->Height() > kMaxAviSide)
        throw EJobError(jobmsg::ScreenTooLarge);

    TAVILibraryGuard library;
    TAVIFileGuard file;
    if (AVIFileOpen(file.File, path, OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE) != 0) {
        file.File = nullptr;
        throw EJobError(jobmsg::FailedCreateFile);
    }

    TFrameBuffers buffers;
    {
        const TBitmap* rendered = frames[first]->RenderBitmap();
        if (rendered == nullptr)
            throw EJobError(jobmsg::FailedBitmapInfo);
        SizeBuffers(buffers, *rendered, *frames[first]);
    }
    // Every image is a whole uncompressed picture of the first one's size: a
    // few bytes of GIF can ask for terabytes.
    std::int64_t images = 0;
    for (int i = first; i < frames.Count(); ++i)
        images += frames[i]->Empty() ? 0 : 1;
    const std::int64_t bytes = images * static_cast<std::int64_t>(buffers.Pixels.size() + 24);
    if (video_.MaxAviBytes > 0 && bytes > video_.MaxAviBytes)
        throw EJobError("The AVI file would take " + std::to_string((bytes + (1 << 20) - 1) >> 20) +
                        " MB, more than the " + std::to_string(video_.MaxAviBytes >> 20) +
                        " MB allowed");

    bool colorTableNoted = false;
    for (int i = 0; i < frames.Count(); ++i)
        colorTableNoted = colorTableNoted || frames[i]->ColorMap().Count() > 0;
    // A GIF whose screens show at most 256 colours is written in exactly those
    // colours, so every sample equals what a viewer shows. Only a GIF with more
    // goes through the web palette.
    TExactPalette exactColors;
    const bool exact = ExactPalette(document, buffers, exactColors);
    TGIFCompositor compositor = PictureCompositor(document, buffers);
    const TSamplePlan plan = PlanSamples(frames, images);
    if (colorTableNoted && !exact) {
        // Frames with tables of their own all render into the one web palette.
        document.SetPaintOptions(static_cast<TGIFDrawOptions>(
            (document.PaintOptions() | RenderWebPalette) & ~WebPaletteOnPaletteDisplayOnly));
    }

    TAVIStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = 0;
    info.dwScale = static_cast<std::uint32_t>(plan.Scale);
    info.dwRate = kRate;
    info.dwSuggestedBufferSize = static_cast<std::uint32_t>(buffers.Pixels.size());
    info.rcFrame = TRect{0, 0, document.Width(), document.Height()};
    TAVIStreamGuard stream;
    if (AVIFileCreateStream(file.File, stream.Stream, info) != 0 || stream.Stream == nullptr) {
        stream.Stream = nullptr;
        throw EJobError(jobmsg::FailedCreateStream);
    }

    if (exact) {
        compositor.Draw(*frames[first]);
        FillExact(buffers, compositor, exactColors, true);
    } else {
        const TBitmap* rendered = frames[first]->RenderBitmap();
        if (rendered == nullptr)
            throw EJobError(jobmsg::FailedBitmapInfo);
        FillBuffers(buffers, *rendered, *frames[first], true);
    }
    if (AVIStreamSetFormat(stream.Stream, 0, buffers.Header.data(),
                           static_cast<std::int32_t>(buffers.Header.size())) != 0)
        throw EJobError(jobmsg::FailedSetFormat);

    const int count = frames.Count();
    for (int i = 0; i < count; ++i)
        outcome.PlannedFrames += frames[i]->Empty() ? 0 : 1;
    sink_.SetProgressRange(0, count - 1);
    sink_.SetProgressPosition(0);
    sink_.ShowProgress();
    outcome.End = TJobEnd::Finished;
    std::int64_t lastSample = -1;
    for (int i = 0; i < count; ++i) {
        sink_.SetProgressPosition(i);
        sink_.ProcessMessages();
        if (sink_.StopRequested()) {
            outcome.End = TJobEnd::Stopped;
            break;
        }
        TGIFSubImage* frame = frames[i];
        if (frame->Empty())
            continue;
        if (i > first && exact) {
            compositor.Draw(*frame);
            FillExact(buffers, compositor, exactColors, false);
        } else if (i > first) {
            const TBitmap* rendered = frame->RenderBitmap();
            if (rendered == nullptr)
                throw EJobError(jobmsg::FailedBitmapInfo);
            FillBuffers(buffers, *rendered, *frame, false);
        }
        // Samples count from the first image, so the stream opens with a picture.
        errno = 0;
        if (AVIStreamWrite(stream.Stream,
                           static_cast<std::int32_t>(plan.Sample[static_cast<std::size_t>(i)]), 1,
                           buffers.Pixels.data(), static_cast<std::int32_t>(buffers.Pixels.size()),
                           AVIIF_KEYFRAME, nullptr, nullptr) != 0)
            throw EJobError(WithSystemReason(jobmsg::FailedAddFrame));
        ++outcome.FrameCount;
        outcome.RaisedDelays += DelayRaised(*frame) ? 1 : 0;
        lastSample = plan.Sample[static_cast<std::size_t>(i)];
    }
    // The last frame lasts its own delay: an empty sample ends the stream there.
    errno = 0;
    if (outcome.End == TJobEnd::Finished && plan.Samples > lastSample + 1 &&
        AVIStreamWrite(stream.Stream, static_cast<std::int32_t>(plan.Samples - 1), 1, nullptr, 0, 0,
                       nullptr, nullptr) != 0)
        throw EJobError(WithSystemReason(jobmsg::FailedAddFrame));
    sink_.SetProgressPosition(0);
    // The index and the final sizes are written here; a file that cannot be
    // finished is a failed write, stopped or not.
    errno = 0;
    if (AVIFileFinish(file.File) != 0) {
        outcome.End = TJobEnd::Failed;
        throw EJobError(WithSystemReason(jobmsg::FailedAddFrame));
    }
}

void TGifToVideoJob::ConvertToVideo(TGIFDocument& document, TJobOutcome& outcome,
                                    const std::string& path) {
    TGIFImageList& frames = document.Frames();
    const int first = FirstImage(frames);

    TVideoFileSettings settings;
    VideoFileFormatOf(sink_.CurrentFileName(), settings.Format);
    settings.Width = document.Width();
    settings.Height = document.Height();
    settings.Quality = video_.Quality;
    settings.Background = video_.Background;
    std::string error;
    auto writer = TVideoFileWriter::Create(path, settings, error);
    if (!writer)
        throw EJobError(error);

    TGIFCompositor compositor(document, video_.Background);
    const int count = frames.Count();
    for (int i = first; i < count; ++i)
        outcome.PlannedFrames += frames[i]->Empty() ? 0 : 1;
    sink_.SetProgressRange(0, count - 1);
    sink_.SetProgressPosition(0);
    sink_.ShowProgress();
    outcome.End = TJobEnd::Finished;
    for (int i = first; i < count; ++i) {
        sink_.SetProgressPosition(i);
        sink_.ProcessMessages();
        if (sink_.StopRequested()) {
            outcome.End = TJobEnd::Stopped;
            break;
        }
        // A frame without an image takes no time, as in a viewer.
        if (frames[i]->Empty())
            continue;
        const std::vector<std::uint8_t>& screen = compositor.Draw(*frames[i]);
        outcome.RaisedDelays += DelayRaised(*frames[i]) ? 1 : 0;
        if (!writer->AddFrame(screen.data(), compositor.Width() * 3, ShownDelay(*frames[i])))
            throw EJobError(writer->LastError());
        ++outcome.FrameCount;
    }
    sink_.SetProgressPosition(0);
    // A stopped run keeps the frames written so far, as a playable clip.
    if (!writer->Finish())
        throw EJobError(writer->LastError());
}

} // namespace framolo
