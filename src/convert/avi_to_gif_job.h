#pragma once

#include "convert/frame_params.h"
#include "convert/job_host.h"

namespace framolo {

// Turns a range of frames of the open clip into an animated GIF document that
// the sink's preview takes over. Runs synchronously on the calling thread.
class TAviToGifJob {
public:
    TAviToGifJob(TFrameParamSource& source, TPreviewingJobHost& sink)
        : source_(source), sink_(sink) {}
    TJobOutcome Run();

    // Size of the panel the GIF preview sits in, for placing the preview.
    static constexpr int kPanelWidth = 160;
    static constexpr int kPanelHeight = 121;

private:
    void Convert(TFrameParams& params, TJobOutcome& outcome);
    void Report(TJobOutcome& outcome);

    TFrameParamSource& source_;
    TPreviewingJobHost& sink_;
};

} // namespace framolo
