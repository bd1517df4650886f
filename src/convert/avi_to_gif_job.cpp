#include "convert/avi_to_gif_job.h"

#include "convert/avi_frame_source.h"
#include "convert/byte_count_stream.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"
#include "platform/streams/stream.h"

#include <memory>

namespace framolo {

int TConversionHost::AddFrame(TGIFDocument& document, TBitmap& frame) {
    return document.Add(frame);
}

TJobOutcome TAviToGifJob::Run() {
    TJobOutcome outcome;
    if (!AviToGifMayStart(host_))
        return outcome;
    outcome.FrameCount = 0;
    host_.StopSourcePlayer();
    try {
        host_.FitGifPreview(FieldValue(host_, TParamField::Width),
                            FieldValue(host_, TParamField::Height));
    } catch (const std::exception& e) {
        host_.ShowApplicationError(e.what());
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
        return outcome;
    }
    host_.SetStopRequested(false);
    host_.BeginRun(TJobKind::AviToGif);
    try {
        Convert(outcome);
    } catch (const std::exception& e) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
    }
    Report(outcome);
    return outcome;
}

void TAviToGifJob::Convert(TJobOutcome& outcome) {
    TAviFrameSource source(host_.CurrentFileName());
    TGIFDocument document;
    ApplyListChoices(document, host_.ColorReductionIndex(), host_.DitherModeIndex());
    auto field = [this](TParamField f) { return FieldValue(host_, f); };
    const bool finished =
        ReadScaledFrames(host_, source, [&](std::unique_ptr<TBitmap> output, int) {
            host_.ShowPreviewBitmap(*output);
            const bool first = document.Frames().Count() == 0;
            CompleteJobFrame(document, host_.AddFrame(document, *output), first, field);
            ++outcome.FrameCount;
        });
    if (!finished) {
        outcome.End = TJobEnd::Stopped;
        return;
    }
    host_.ShowPreviewDocument(document);
    outcome.End = TJobEnd::Finished;
}

void TAviToGifJob::Report(TJobOutcome& outcome) {
    host_.EndRun(TJobKind::AviToGif);
    std::string sizeText;
    std::string reportError;
    try {
        if (TGraphic* picture = host_.PreviewPicture()) {
            // Only the size is wanted: the bytes are counted, not kept.
            TByteCountStream sized;
            picture->SaveToStream(sized);
            sizeText = std::to_string(BytesToKBRounded(sized.Size()));
        }
    } catch (const std::exception& e) {
        // An empty document has no file to measure; the rest of the report still runs.
        reportError = e.what();
    }
    std::string widthText;
    std::string heightText;
    try {
        widthText = host_.FieldText(TParamField::Width);
        heightText = host_.FieldText(TParamField::Height);
    } catch (...) {
    }
    host_.ShowReport(outcome.FrameCount, widthText, heightText, sizeText);
    host_.SetProgressPosition(host_.ProgressMaximum());

    if (outcome.End == TJobEnd::Failed) {
        host_.ShowApplicationError(outcome.Error);
        return;
    }
    if (!reportError.empty()) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = reportError;
        host_.ShowApplicationError(reportError);
        return;
    }
    if (outcome.End == TJobEnd::Finished && !host_.StopRequested()) {
        host_.ShowInformation(jobmsg::Finished);
        host_.SetStatusLine(jobmsg::Finished);
        host_.SetProgressPosition(0);
    }
}

} // namespace framolo
