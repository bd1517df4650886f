#include "convert/avi_to_gif_stream_job.h"

#include "convert/avi_frame_source.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "gif/gif_stream_writer.h"
#include "gif/optimized_frames.h"

#include <optional>

namespace framolo {

namespace {

class TOptimizingStage : public TOrderedFrameStage {
public:
    TOptimizingStage(TDitherMode mode, int tolerance) : sequence_(mode, 255, tolerance) {}
    void Run(TFrameJob& job) override {
        job.Optimized = std::make_unique<TOptimizedFrame>(sequence_.Next(*job.Picture));
        job.Picture.reset();
    }

private:
    TOptimizedFrameSequence sequence_;
};

} // namespace

TJobOutcome TAviToGifStreamJob::Run() {
    TJobOutcome outcome;
    if (!AviToGifMayStart(host_))
        return outcome;
    host_.SetStopRequested(false);
    host_.BeginRun(TJobKind::AviToGif);
    try {
        Convert(outcome);
    } catch (const std::exception& e) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
    }
    host_.EndRun(TJobKind::AviToGif);
    if (outcome.End == TJobEnd::Failed)
        host_.ShowApplicationError(outcome.Error);
    return outcome;
}

void TAviToGifStreamJob::Convert(TJobOutcome& outcome) {
    TAviFrameSource source(host_.CurrentFileName());
    TGIFFrameSettings settings;
    {
        // The settings a new document would get from the two lists.
        TGIFDocument document;
        ApplyListChoices(document, host_.ColorReductionIndex(), host_.DitherModeIndex());
        settings.ColorReduction = document.ColorReduction();
        settings.DitherMode = document.DitherMode();
        settings.QuantizeBits = document.QuantizeBits();
    }
    settings.DataCoding = options_.DataCoding;

    std::optional<TOptimizingStage> optimizing;
    if (options_.Optimize)
        optimizing.emplace(settings.DitherMode, options_.Tolerance);

    TGIFStreamWriter writer(output_);
    TGIFFramePipeline pipeline(
        settings, options_.Threads, [&writer](TEncodedFrame& frame) { writer.WriteFrame(frame); },
        options_.Transform, optimizing ? &*optimizing : nullptr);
    int width = 0;
    int height = 0;
    const bool finished =
        ReadScaledFrames(host_, source, [&](std::unique_ptr<TBitmap> picture, int taken) {
            TFrameJob job;
            job.Picture = std::move(picture);
            if (taken == 0)
                job.Loop = FieldValue(host_, TParamField::Loop);
            job.Delay = FieldValue(host_, TParamField::Delay);
            job.Width = width = FieldValue(host_, TParamField::Width);
            job.Height = height = FieldValue(host_, TParamField::Height);
            pipeline.Submit(std::move(job));
        });
    if (!finished) {
        outcome.End = TJobEnd::Stopped;
        outcome.FrameCount = writer.FrameCount();
        return;
    }
    pipeline.Finish();
    outcome.FrameCount = writer.FrameCount();
    outcome.Bytes = writer.Finish(width, height);
    outcome.End = TJobEnd::Finished;
}

} // namespace framolo
