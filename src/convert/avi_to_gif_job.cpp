#include "convert/avi_to_gif_job.h"

#include "convert/avi_to_gif_steps.h"
#include "convert/byte_count_stream.h"
#include "convert/job_support.h"
#include "gif/encode/optimized_frames.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"

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
    // Held once: the finished document itself becomes the preview.
    auto owned = std::make_unique<TGIFDocument>();
    TGIFDocument& document = *owned;
    document.SetKeepFrameBitmaps(false);
    source_.ReadChoices(params);
    ApplyChoices(document, params);
    // The window never asks for optimised frames; the command line's files are
    // checked against this road with them.
    std::optional<TOptimizedFrameAdder> optimizer;
    if (params.Optimize)
        optimizer.emplace(document.DitherMode(), params.Tuning());
    const bool finished =
        ReadScaledFrames(source_, sink_, params, clip, [&](std::unique_ptr<TBitmap> output, int) {
            sink_.ShowPreviewBitmap(*output);
            const bool first = document.Frames().Count() == 0;
            const int index = optimizer ? optimizer->Add(document, *output) : document.Add(*output);
            if (first)
                source_.Read(params, {TParamField::Loop});
            source_.Read(params, {TParamField::Delay, TParamField::Width, TParamField::Height});
            CompleteJobFrame(document, index, {first, params.Loop, params.Delay, index},
                             params.Width, params.Height);
            ++outcome.FrameCount;
        });
    if (!finished) {
        outcome.End = TJobEnd::Stopped;
        outcome.PlannedFrames = static_cast<int>(
            std::max<std::int64_t>(0, (std::int64_t{params.End} - params.Start) / params.Step + 1));
        return;
    }
    sink_.ShowPreviewDocument(std::move(owned));
    outcome.End = TJobEnd::Finished;
}

void TAviToGifJob::Report(TJobOutcome& outcome) {
    sink_.EndRun(TJobKind::AviToGif);
    std::string sizeText;
    std::string reportError;
    try {
        if (TGraphic* picture = sink_.PreviewPicture()) {
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
