#include "convert/avi_to_gif_job.h"

#include "convert/avi_to_gif_steps.h"
#include "convert/byte_count_stream.h"
#include "convert/gif_frame_pipeline.h"
#include "convert/job_support.h"
#include "convert/optimizing_stage.h"
#include "gif/gif_document.h"
#include "gif/gif_stream_writer.h"
#include "platform/graphics/bitmap.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

namespace framolo {

TJobOutcome TAviToGifJob::Run() {
    TJobOutcome outcome;
    if (!AviToGifMayStart(source_, sink_))
        return outcome;
    sink_.StopSourcePlayer();
    TFrameParams params;
    try {
        source_.Read(params, {TParamField::Width, TParamField::Height});
        sink_.FitGifPreview(params.Width, params.Height);
    } catch (const std::exception& e) {
        sink_.ShowApplicationError(e.what());
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
        return outcome;
    }
    RunJobSteps(sink_, TJobKind::AviToGif, outcome, [&] { Convert(params, outcome); });
    Report(outcome);
    return outcome;
}

void TAviToGifJob::Convert(TFrameParams& params, TJobOutcome& outcome) {
    TAviFrameSource clip(sink_.CurrentFileName());
    source_.ReadChoices(params);
    const TGIFFrameSettings settings = FrameSettings(params);
    // The frames are reduced and coded on the workers exactly as the command
    // line codes them; the finished file is read back as the document the
    // preview shows and Save writes.
    std::optional<TOptimizingStage> optimizing;
    if (params.Optimize)
        optimizing.emplace(settings.DitherMode, params.Tuning(), threads_);
    TMemoryStream file;
    TGIFStreamWriter writer(file);
    TGIFFramePipeline pipeline(
        settings, threads_, [&writer](TEncodedFrame& frame) { writer.WriteFrame(frame); }, nullptr,
        optimizing ? &*optimizing : nullptr);
    const bool finished = ReadScaledFrames(
        source_, sink_, params, clip, [&](std::unique_ptr<TBitmap> picture, int taken) {
            sink_.ShowPreviewBitmap(*picture);
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
            ++outcome.FrameCount;
        });
    if (!finished) {
        outcome.End = TJobEnd::Stopped;
        outcome.PlannedFrames = static_cast<int>(FramesTaken(params));
        return;
    }
    pipeline.Finish();
    // The logical screen is the size the last frame was read with.
    outcome.Bytes = writer.Finish(params.Width, params.Height);
    auto document = std::make_unique<TGIFDocument>();
    document->SetKeepFrameBitmaps(false);
    ApplyChoices(*document, params);
    file.Seek(0, TSeekOrigin::soBeginning);
    document->LoadFromStream(file);
    sink_.ShowPreviewDocument(std::move(document));
    outcome.End = TJobEnd::Finished;
}

void TAviToGifJob::Report(TJobOutcome& outcome) {
    sink_.EndRun(TJobKind::AviToGif);
    std::string sizeText;
    std::string reportError;
    try {
        if (outcome.End == TJobEnd::Finished && outcome.Bytes > 0) {
            // The file the document was read from.
            sizeText = std::to_string(BytesToKBRounded(outcome.Bytes));
        } else if (TGraphic* picture = sink_.PreviewPicture()) {
            // Only the size is wanted: the bytes are counted, not kept.
            TByteCountStream sized;
            picture->SaveToStream(sized);
            outcome.Bytes = sized.Size();
            sizeText = std::to_string(BytesToKBRounded(outcome.Bytes));
        }
    } catch (const std::bad_alloc&) {
        reportError = jobmsg::OutOfMemoryForGif;
    } catch (const std::exception& e) {
        // An empty document has no file to measure; the rest of the report still runs.
        reportError = e.what();
    }
    sink_.ShowReport(outcome.FrameCount, sizeText);
    sink_.SetProgressPosition(sink_.ProgressMaximum());

    if (outcome.End == TJobEnd::Failed) {
        sink_.ShowApplicationError(outcome.Error);
        return;
    }
    if (!reportError.empty()) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = reportError;
        sink_.ShowApplicationError(reportError);
        return;
    }
    if (outcome.End == TJobEnd::Stopped) {
        // Said in the status line and the report: a stop shows no box.
        sink_.MarkReportStopped();
        sink_.SetStatusLine("Stopped after " + std::to_string(outcome.FrameCount) + " of " +
                            std::to_string(outcome.PlannedFrames) + " frames");
        return;
    }
    if (outcome.End == TJobEnd::Finished && !sink_.StopRequested()) {
        sink_.ShowInformation(jobmsg::Finished);
        sink_.SetStatusLine(jobmsg::Finished);
        sink_.SetProgressPosition(0);
    }
}

} // namespace framolo
