#include "convert/gif_to_avi_job.h"

#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/avifile_guards.h"
#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace framolo {

namespace {

constexpr std::size_t kHeaderSize = 40 + 4 * 256;
constexpr int kMaxAviSide = 32767;

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

} // namespace

TJobOutcome TGifToAviJob::Run() {
    TJobOutcome outcome;
    const std::string current = sink_.CurrentFileName();
    TGIFDocument* document = sink_.SourceDocument();
    if (current.empty() || LowerCase(ExtractFileExt(current)) == ".avi" || document == nullptr) {
        sink_.ShowMessage(jobmsg::ImportGifFirst);
        return outcome;
    }
    const std::string proposed = ChangeFileExt(current, ".avi");
    sink_.SetCurrentFileName(proposed);
    const auto chosen = sink_.AskSaveFileName(proposed, "Avi File ( *.avi)", "*.avi");
    if (!chosen || chosen->empty())
        return outcome;
    sink_.SetCurrentFileName(
        LowerCase(ExtractFileExt(*chosen)) != ".avi" ? ChangeFileExt(*chosen, ".avi") : *chosen);
    RunJobSteps(sink_, TJobKind::GifToAvi, outcome, [&] { Convert(*document, outcome); });
    // The file is complete here: stream, file and library were released on the way out.
    // A file that cannot be previewed is the host's to show; the job goes on.
    if (outcome.End == TJobEnd::Finished)
        sink_.PreviewAvi(sink_.CurrentFileName());
    sink_.EndRun(TJobKind::GifToAvi);
    switch (outcome.End) {
    case TJobEnd::Failed:
        sink_.ShowApplicationError(outcome.Error);
        break;
    case TJobEnd::Finished:
        sink_.ShowMessage(std::string(jobmsg::SavedTo) + "\r" + sink_.CurrentFileName());
        sink_.SetStatusLine(jobmsg::WorkingFinished + sink_.CurrentFileName());
        break;
    default:
        break;
    }
    return outcome;
}

void TGifToAviJob::Convert(TGIFDocument& document, TJobOutcome& outcome) {
    TGIFImageList& frames = document.Frames();
    // The stream takes its picture size from the first frame that has an
    // image: zero bytes between blocks leave frames of extensions only before
    // it, which viewers pass over. Nothing is written for a document without
    // any image.
    int first = 0;
    while (first < frames.Count() && frames[first]->Empty())
        ++first;
    if (first == frames.Count())
        throw EJobError(jobmsg::FirstFrameEmpty);
    // The stream header keeps the frame rectangle in 16-bit signed numbers.
    if (document.Width() > kMaxAviSide || document.Height() > kMaxAviSide ||
        frames[first]->Width() > kMaxAviSide || frames[first]->Height() > kMaxAviSide)
        throw EJobError(jobmsg::ScreenTooLarge);

    TAVILibraryGuard library;
    TAVIFileGuard file;
    if (AVIFileOpen(file.File, sink_.CurrentFileName(),
                    OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE) != 0) {
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

    // The delay of the first frame that has both a colour table of its own
    // behind it and a non-zero delay; 1 when none is found.
    bool colorTableNoted = false;
    int delay = 0;
    for (int i = 0; i < frames.Count(); ++i) {
        TGIFSubImage* frame = frames[i];
        if (frame->ColorMap().Count() > 0)
            colorTableNoted = true;
        if (frame->GraphicControl() != nullptr)
            delay = frame->GraphicControl()->Delay();
        if (colorTableNoted && delay != 0)
            break;
    }
    if (delay == 0)
        delay = 1;
    if (colorTableNoted) {
        // Frames with tables of their own all render into the one web palette.
        document.SetPaintOptions(static_cast<TGIFDrawOptions>(
            (document.PaintOptions() | RenderWebPalette) & ~WebPaletteOnPaletteDisplayOnly));
    }

    TAVIStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = 0;
    info.dwScale = static_cast<std::uint32_t>(delay);
    info.dwRate = kRate;
    info.dwSuggestedBufferSize = static_cast<std::uint32_t>(buffers.Pixels.size());
    info.rcFrame = TRect{0, 0, document.Width(), document.Height()};
    TAVIStreamGuard stream;
    if (AVIFileCreateStream(file.File, stream.Stream, info) != 0 || stream.Stream == nullptr) {
        stream.Stream = nullptr;
        throw EJobError(jobmsg::FailedCreateStream);
    }

    {
        const TBitmap* rendered = frames[first]->RenderBitmap();
        if (rendered == nullptr)
            throw EJobError(jobmsg::FailedBitmapInfo);
        FillBuffers(buffers, *rendered, *frames[first], true);
    }
    if (AVIStreamSetFormat(stream.Stream, 0, buffers.Header.data(),
                           static_cast<std::int32_t>(buffers.Header.size())) != 0)
        throw EJobError(jobmsg::FailedSetFormat);

    const int count = frames.Count();
    sink_.SetProgressRange(0, count - 1);
    sink_.SetProgressPosition(0);
    sink_.ShowProgress();
    outcome.End = TJobEnd::Finished;
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
        if (i > first) {
            const TBitmap* rendered = frame->RenderBitmap();
            if (rendered == nullptr)
                throw EJobError(jobmsg::FailedBitmapInfo);
            FillBuffers(buffers, *rendered, *frame, false);
        }
        // Samples count from the first image, so the stream opens with a picture.
        if (AVIStreamWrite(stream.Stream, i - first, 1, buffers.Pixels.data(),
                           static_cast<std::int32_t>(buffers.Pixels.size()), AVIIF_KEYFRAME,
                           nullptr, nullptr) != 0)
            throw EJobError(jobmsg::FailedAddFrame);
        ++outcome.FrameCount;
    }
    sink_.SetProgressPosition(0);
    // The index and the final sizes are written here; a file that cannot be
    // finished is a failed write, stopped or not.
    if (AVIFileFinish(file.File) != 0) {
        outcome.End = TJobEnd::Failed;
        throw EJobError(jobmsg::FailedAddFrame);
    }
}

} // namespace framolo
