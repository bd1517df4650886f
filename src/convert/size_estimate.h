#pragma once

#include "convert/avi_frame_source.h"
#include "convert/avi_to_gif_stream_job.h"
#include "convert/frame_params.h"
#include "convert/job_host.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace framolo {

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
// and colour tables count once. Strips code better or worse than whole
// pictures by a share that depends on the clip and the settings: runs of
// eight frames are coded both ways, and the ratio of their image data after
// each run's first frame corrects the estimate. Three runs come from the
// middles of the range's thirds; when their ratios differ by more than a
// fifth, three more from between them. A picture of few rows, a short range,
// or frames that change in less than a quarter of their pixels are coded
// whole.
//
// One sampler remembers across estimates: the strips of the frames it read
// (up to kCachedBytes, for one width and height at a time), and the
// corrections it measured. A later estimate at the same width and height
// takes its correction from two measured at qualities either side of its
// own, or from one at the same quality, instead of coding runs again; at
// another quality it codes only the middles' runs, and moves the nearest
// correction by what those runs say.
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
    TSizeSampler(const std::string& clipFile, TJobControl& outer, int threads);

    // Raises EJobError when a run fails; an estimate of 0 bytes when stopped.
    TSizeEstimate Estimate(const TFrameParams& params);
    // Whether a range whose frames change little is coded whole (the
    // default). A search under a size limit asks for many estimates and
    // converts again when one ran low: sampling keeps each of them cheap.
    void SetWholeWhenStill(bool whole) { wholeWhenStill_ = whole; }
    // Codes every frame of params into a counter: the file's exact size.
    std::int64_t Exact(const TFrameParams& params);

    // The rows coded of a picture height rows high.
    static int SampleRows(int height);
    static constexpr int kStrips = 4;
    static constexpr int kRowShare = 12;
    // Runs coded both whole and as strips, and their length in frames.
    static constexpr int kChecks = 3;
    static constexpr int kCheckFrames = 8;
    // How far the first runs' ratios may differ before more are coded.
    static constexpr double kCheckSpread = 1.2;
    static constexpr std::int64_t kCachedBytes = std::int64_t{64} << 20;
    // Below this share of the pixels changing from frame to frame (over the
    // strips), the range is coded whole.
    static constexpr double kExactShare = 0.25;

private:
    // The bytes params' frames would take, from strips of rows rows, the
    // image data scaled to the whole height. Done is false when stopped.
    struct TStripBytes {
        double Fixed = 0;
        double FirstData = 0;
        double LaterData = 0;
        // The pixels of the frames' changed rectangles.
        double ChangedArea = 0;
        bool Done = false;
    };
    TStripBytes Strips(const TFrameParams& params, int rows);
    struct TCorrection {
        TFrameParams Params;
        // The ratio of whole pictures' image data to the strips'.
        double Ratio = 1;
        // The same over the runs from the middles of the range's thirds.
        double Centred = 0;
    };
    // Measured by coding runs; centredOnly codes only the middles' runs.
    std::optional<TCorrection> MeasureCorrection(const TFrameParams& params, int rows,
                                                 bool centredOnly);
    // A correction from those measured before, when they tell it.
    std::optional<double> KnownCorrection(const TFrameParams& params) const;
    // The measured correction of params' picture and road nearest in quality.
    const TCorrection* NearestCorrection(const TFrameParams& params) const;

    // The clip, opened at the first frame read and kept for later estimates.
    TAviFrameSource& Clip();

    std::string clipFile_;
    std::optional<TAviFrameSource> clip_;
    TSampleControl control_;
    int threads_;
    bool wholeWhenStill_ = true;
    std::vector<TCorrection> corrections_;
    // Strip pictures of the frames read at cacheWidth_ x cacheHeight_.
    std::map<std::int64_t, std::vector<std::uint8_t>> cache_;
    int cacheWidth_ = 0;
    int cacheHeight_ = 0;
    std::optional<TCropRect> cacheCrop_;
    std::int64_t cacheBytes_ = 0;
};

// "2.3 MB" for a million bytes and more, "640 KB" below (1024-based units).
std::string SizeText(std::int64_t bytes);
// The same after "About ".
std::string AboutSizeText(std::int64_t bytes);

} // namespace framolo
