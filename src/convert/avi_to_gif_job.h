#pragma once

#include "convert/frame_params.h"
#include "convert/job_host.h"

namespace framolo {

// Turns a range of frames of the open clip into an animated GIF document that
// the sink's preview takes over. Runs on the calling thread, which reads the
// frames; with threads above 1 that many workers reduce and code them. The
// document is the file the command line writes with the same settings, for
// any number of threads.
class TAviToGifJob {
public:
    TAviToGifJob(TFrameParamSource& source, TPreviewingJobHost& sink, int threads = 1)
        : source_(source), sink_(sink), threads_(threads < 1 ? 1 : threads) {}
    TJobOutcome Run();

    // Size of the panel the GIF preview sits in, for placing the preview.
    static constexpr int kPanelWidth = 160;
    static constexpr int kPanelHeight = 121;

private:
    void Convert(TFrameParams& params, TJobOutcome& outcome);
    void Report(TJobOutcome& outcome);

    TFrameParamSource& source_;
    TPreviewingJobHost& sink_;
    int threads_;
};

} // namespace framolo
