#pragma once

#include "convert/avi_to_gif_job.h"
#include "convert/conversion_host.h"
#include "convert/gif_frame_pipeline.h"
#include "platform/streams/stream.h"

namespace framolo {

// The AVI to GIF conversion of the command line: the same frames, settings
// and bytes as the window's job followed by a save, but every frame is
// written to the output as soon as it and all frames before it are coded,
// and nothing of it is kept afterwards. There is no preview and no report;
// the outcome carries the frame count and the file's size.
class TAviToGifStreamJob {
public:
    struct TOptions {
        // Worker threads for reduction and coding; 1 codes on the calling thread.
        int Threads = 1;
        // 1 selects the run-length coder, anything else LZW.
        std::uint8_t DataCoding = 0;
        TFrameTransform* Transform = nullptr;
        // Smaller frames: the best-quality palette shared across frames while
        // it fits, and only the changed rectangle of each frame (see
        // TOptimizedFrameSequence). The reduction and the rectangle search
        // take the frames in order; the rest runs on the workers. The
        // reduction setting is not used; the dithering mode is.
        bool Optimize = false;
        // With Optimize: how far, in RGB levels, a pixel's colour may move and
        // still keep its index (see TSharedPaletteReducer).
        int Tolerance = 0;
    };

    TAviToGifStreamJob(TConversionHost& host, TStream& output, TOptions options)
        : host_(host), output_(output), options_(options) {}

    // Fails (End Failed, with the error shown through the host) on the same
    // inputs as the window's job, and also when no frame was converted. After
    // a stop or a failure the output holds an unfinished file for the caller
    // to discard.
    TJobOutcome Run();

private:
    void Convert(TJobOutcome& outcome);

    TConversionHost& host_;
    TStream& output_;
    TOptions options_;
};

} // namespace framolo
