#pragma once

#include "convert/avi_to_gif_stream_job.h"
#include "convert/conversion_sink.h"
#include "convert/frame_params.h"

#include <cstdint>
#include <functional>
#include <string>

namespace framolo {

// The number of frames a run of params takes: Start to End by Step.
std::int64_t FramesTaken(const TFrameParams& params);

// What a GIF of some settings would weigh, told without writing it.
struct TSizeEstimate {
    std::int64_t Bytes = 0;
    // The frames the run would take, and the rows of each coded to tell.
    std::int64_t Frames = 0;
    int SampledRows = 0;
    // True when every frame was coded: Bytes is then the file's size.
    bool Exact = false;
};

// Estimates the size of the GIF a run of the clip would write, by coding
// every frame of the range with the real encoder, but only a few strips of
// rows of each: a twelfth of the rows, in four strips spread from top to
// bottom, placed one under the other. Palettes, kept pixels and changed
// rectangles then follow the clip from frame to frame as in the real run.
// The image data is scaled up by the rows left out; extensions, descriptors
// and colour tables count once. Small strips code a little worse than whole
// pictures, by a share that depends on the clip: three runs of eight frames,
// spread over the range, are coded both ways and their ratio corrects the
// estimate. A picture of few rows, or a short range, is coded whole.
// What a sampler asks between frames: whether to stop, and to let the
// caller's messages through.
struct TSampleControl {
    std::function<bool()> StopRequested;
    std::function<void()> ProcessMessages;
};

class TSizeSampler {
public:
    // Sample runs report only errors (raised as EJobError) and stop when
    // control says so.
    TSizeSampler(const std::string& clipFile, TSampleControl control, int threads);
    // Stopped, and its messages pumped, by outer.
    TSizeSampler(const std::string& clipFile, TConversionSink& outer, int threads);

    // Raises EJobError when a run fails; an estimate of 0 bytes when stopped.
    TSizeEstimate Estimate(const TFrameParams& params);
    // Codes every frame of params into a counter: the file's exact size.
    std::int64_t Exact(const TFrameParams& params);

    // The rows coded of a picture height rows high.
    static int SampleRows(int height);
    static constexpr int kStrips = 4;
    static constexpr int kRowShare = 12;
    // Runs coded both whole and as strips, and their length in frames.
    static constexpr int kChecks = 3;
    static constexpr int kCheckFrames = 8;

private:
    // The size params' frames would take, from strips of rows rows; 0 when stopped.
    double Strips(const TFrameParams& params, int rows);

    std::string clipFile_;
    TSampleControl control_;
    int threads_;
};

// "About 2.3 MB" for a million bytes and more, "About 640 KB" below (1024-based units).
std::string AboutSizeText(std::int64_t bytes);

} // namespace framolo
