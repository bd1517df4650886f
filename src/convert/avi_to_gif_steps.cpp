#include "convert/avi_to_gif_steps.h"

#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/stretch.h"

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

} // namespace

bool ReadScaledFrames(TFrameParamSource& source, TJobHost& sink, TFrameParams& params,
                      TAviFrameSource& clip,
                      const std::function<void(std::unique_ptr<TBitmap>, int)>& take) {
    // The bar stands at about 95 % when the last frame starts.
    source.Read(params, {TParamField::End, TParamField::Start});
    int maximum = params.End - params.Start;
    sink.SetProgressRange(0, maximum);
    maximum = static_cast<int>(static_cast<std::int64_t>(maximum) * 20 / 19);
    sink.SetProgressRange(0, maximum);
    sink.SetProgressPosition(0);

    source.Read(params, {TParamField::Start, TParamField::Step});
    std::int64_t f = params.Start;
    const std::int64_t step = params.Step;
    int taken = 0;
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
        take(ScaleFrame(decoded, params.Width, params.Height), taken);
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
