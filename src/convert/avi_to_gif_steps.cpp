#include "convert/avi_to_gif_steps.h"

#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/stretch.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace framolo {

bool AviToGifMayStart(TFrameParamSource& source, TJobHost& sink) {
    if (!sink.SourceOpen()) {
        sink.ShowWarning(jobmsg::OpenFirst);
        return false;
    }
    if (!source.HasStep()) {
        sink.ShowWarning(jobmsg::NeedStep);
        source.FocusField(TParamField::Step);
        return false;
    }
    return true;
}

namespace {

// A decoded frame stretched to width x height (true colour); raises the job's
// error for a size of 0 or less.
std::unique_ptr<TBitmap> ScaleFrame(const TBitmap& decoded, int width, int height) {
    if (width <= 0 || height <= 0)
        throw EJobError(jobmsg::BadOutputSize);
    auto output = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
    StretchBitmap(decoded, *output);
    return output;
}

// Sets the bar for a run whose last frame starts at position maximum: the
// bar then stands at about 95 %.
void StartProgress(TJobHost& sink, int maximum) {
    sink.SetProgressRange(0, maximum);
    sink.SetProgressRange(0, static_cast<int>(static_cast<std::int64_t>(maximum) * 20 / 19));
    sink.SetProgressPosition(0);
}

// Frames a backward stretch decodes forwards at once.
constexpr std::int64_t kBackwardChunk = 16;

// Reverse and Bounce: the range read once, the frames of each backward
// stretch decoded forwards kBackwardChunk at a time, so that a clip coded in
// groups is not sought once per frame.
bool ReadReorderedFrames(TFrameParamSource& source, TJobHost& sink, TFrameParams& params,
                         TAviFrameSource& clip,
                         const std::function<void(std::unique_ptr<TBitmap>, int)>& take) {
    source.Read(params, {TParamField::End});
    const std::int64_t n = FramesTaken(params);
    StartProgress(sink, static_cast<int>(std::max<std::int64_t>(n - 1, 0)));
    TBitmap room;
    std::vector<std::unique_ptr<TBitmap>> chunk;
    for (std::int64_t k = 0; k < n;) {
        // Frames k .. k + count - 1 come from ever earlier source frames.
        std::int64_t count = 1;
        while (k + count < n && count < kBackwardChunk &&
               SourceFrame(params, k + count) < SourceFrame(params, k + count - 1))
            ++count;
        chunk.clear();
        chunk.resize(static_cast<std::size_t>(count));
        for (std::int64_t j = count - 1; j >= 0; --j) {
            sink.ProcessMessages();
            if (sink.StopRequested())
                return false;
            const TBitmap& decoded = clip.Decode(SourceFrame(params, k + j));
            source.Read(params, {TParamField::Width, TParamField::Height});
            chunk[static_cast<std::size_t>(j)] =
                ScaleFrame(CropFrame(decoded, params.Crop, room), params.Width, params.Height);
        }
        for (std::int64_t j = 0; j < count; ++j, ++k) {
            sink.SetProgressPosition(static_cast<int>(k));
            take(std::move(chunk[static_cast<std::size_t>(j)]), static_cast<int>(k));
        }
    }
    return true;
}

} // namespace

const TBitmap& CropFrame(const TBitmap& decoded, const std::optional<TCropRect>& crop,
                         TBitmap& room) {
    if (!crop)
        return decoded;
    if (const auto problem = CropProblem(*crop, decoded.Width(), decoded.Height()))
        throw EJobError(*problem);
    // A palettised or 32-bit frame is converted to 24 bits first, whole.
    const TBitmap* full = &decoded;
    TBitmap converted;
    if (decoded.PixelFormat() != TPixelFormat::pf24bit) {
        converted.Assign(&decoded);
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        full = &converted;
    }
    room.SetSize(0, 0);
    room.SetPixelFormat(TPixelFormat::pf24bit);
    room.SetSize(crop->Width, crop->Height);
    const auto rowBytes = static_cast<std::size_t>(crop->Width) * 3;
    for (int y = 0; y < crop->Height; ++y)
        std::memcpy(room.ScanLine(y), full->ScanLine(crop->Y + y) + 3 * crop->X, rowBytes);
    return room;
}

bool ReadScaledFrames(TFrameParamSource& source, TJobHost& sink, TFrameParams& params,
                      TAviFrameSource& clip,
                      const std::function<void(std::unique_ptr<TBitmap>, int)>& take) {
    if (params.Order != TFrameOrder::Forward) {
        source.Read(params, {TParamField::Start, TParamField::Step});
        return ReadReorderedFrames(source, sink, params, clip, take);
    }
    source.Read(params, {TParamField::End, TParamField::Start});
    StartProgress(sink, params.End - params.Start);

    source.Read(params, {TParamField::Start, TParamField::Step});
    std::int64_t f = params.Start;
    const std::int64_t step = params.Step;
    int taken = 0;
    TBitmap room;
    for (;;) {
        source.Read(params, {TParamField::End});
        if (f > params.End)
            break;
        source.Read(params, {TParamField::Start});
        sink.SetProgressPosition(static_cast<int>(f - params.Start));
        sink.ProcessMessages();
        if (sink.StopRequested())
            return false;
        const TBitmap& decoded = clip.Decode(f);
        source.Read(params, {TParamField::Width, TParamField::Height});
        take(ScaleFrame(CropFrame(decoded, params.Crop, room), params.Width, params.Height), taken);
        ++taken;
        f += step;
    }
    return true;
}

void ApplyChoices(TGIFDocument& document, const TFrameParams& params) {
    if (params.Reduction)
        document.SetColorReduction(*params.Reduction);
    if (params.Dither)
        document.SetDitherMode(*params.Dither);
    document.SetDataCoding(params.DataCoding);
    document.SetCodesAtGlobalDepth(params.Reduction == TColorReduction::BestQuality);
}

TGIFFrameSettings FrameSettings(const TFrameParams& params) {
    TGIFFrameSettings settings;
    settings.ColorReduction = params.Reduction.value_or(DefaultColorReduction);
    settings.DitherMode = params.Dither.value_or(DefaultDitherMode);
    settings.QuantizeBits = DefaultQuantizeBits;
    settings.DataCoding = params.DataCoding;
    return settings;
}

TGIFSubImage* CompleteJobFrame(TGIFDocument& document, int index, const TFrameTiming& timing,
                               int width, int height) {
    TGIFSubImage* added = document.Frames()[index];
    added->FreeBitmap();
    PlaceTimingExtensions(*added, timing);
    document.SetWidth(width);
    document.SetHeight(height);
    return added;
}

} // namespace framolo
