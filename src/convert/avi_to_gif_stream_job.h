#pragma once

#include "convert/frame_params.h"
#include "convert/gif_frame_pipeline.h"
#include "convert/job_host.h"
#include "platform/streams/stream.h"

namespace framolo {

// The AVI to GIF conversion of the command line: the same frames, settings
// and bytes as the window's job followed by a save, but every frame is
// written to the output as soon as it and all frames before it are coded,
// and nothing of it is kept afterwards. There is no preview and no report;
// the outcome carries the frame count and the file's size.
//
// With Optimize the reduction and the rectangle search take the frames in
// order; the rest runs on the workers.
class TAviToGifStreamJob {
public:
    struct TOptions {
        // Worker threads for reduction and coding; 1 codes on the calling
        // thread. The file is the same for every number.
        int Threads = 1;
        TFrameTransform* Transform = nullptr;
    };

    TAviToGifStreamJob(TFrameParamSource& source, TJobHost& sink, TStream& output, TOptions options)
        : source_(source), sink_(sink), output_(output), options_(options) {}

    // Fails (End Failed, with the error shown through the sink) on the same
    // inputs as the window's job, and also when no frame was converted. After
    // a stop or a failure the output holds an unfinished file for the caller
    // to discard.
    TJobOutcome Run();

private:
    void Convert(TJobOutcome& outcome);

    TFrameParamSource& source_;
    TJobHost& sink_;
    TStream& output_;
    TOptions options_;
};

} // namespace framolo
