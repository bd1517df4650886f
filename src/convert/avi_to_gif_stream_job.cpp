#include "convert/avi_to_gif_stream_job.h"

#include "convert/avi_to_gif_steps.h"
#include "convert/optimizing_stage.h"
#include "gif/gif_stream_writer.h"

#include <optional>

namespace framolo {

TJobOutcome TAviToGifStreamJob::Run() {
    TJobOutcome outcome;
    if (!AviToGifMayStart(source_, sink_))
        return outcome;
    RunJobSteps(sink_, TJobKind::AviToGif, outcome, [&] { Convert(outcome); });
    sink_.EndRun(TJobKind::AviToGif);
    if (outcome.End == TJobEnd::Failed)
        sink_.ShowApplicationError(outcome.Error);
    return outcome;
}

void TAviToGifStreamJob::Convert(TJobOutcome& outcome) {
    TAviFrameSource clip(sink_.CurrentFileName());
    TFrameParams params;
    source_.ReadChoices(params);
    const TGIFFrameSettings settings = FrameSettings(params);

    std::optional<TOptimizingStage> optimizing;
    if (params.Optimize)
        optimizing.emplace(settings.DitherMode, params.Tuning(), options_.Threads);

    TGIFStreamWriter writer(output_);
    TGIFFramePipeline pipeline(
        settings, options_.Threads, [&writer](TEncodedFrame& frame) { writer.WriteFrame(frame); },
        options_.Transform, optimizing ? &*optimizing : nullptr);
    const bool finished = ReadScaledFrames(
        source_, sink_, params, clip, [&](std::unique_ptr<TBitmap> picture, int taken) {
            TFrameJob job;
            job.Picture = std::move(picture);
            if (taken == 0) {
                source_.Read(params, {TParamField::Loop});
                job.Loop = params.Loop;
            }
            source_.Read(params, {TParamField::Delay, TParamField::Width, TParamField::Height});
            job.Delay = params.Delay;
            job.Width = params.Width;
            job.Height = params.Height;
            pipeline.Submit(std::move(job));
        });
    if (!finished) {
        outcome.End = TJobEnd::Stopped;
        outcome.FrameCount = writer.FrameCount();
        return;
    }
    pipeline.Finish();
    outcome.FrameCount = writer.FrameCount();
    // The logical screen is the size the last frame was read with, as the
    // document road's is.
    outcome.Bytes = writer.Finish(params.Width, params.Height);
    outcome.End = TJobEnd::Finished;
}

} // namespace framolo
