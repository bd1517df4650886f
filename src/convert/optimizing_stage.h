#pragma once

#include "convert/gif_frame_pipeline.h"
#include "gif/encode/optimized_frames.h"

namespace framolo {

// The small-file road's in-order work for a frame pipeline: reduction and
// placing run as two ordered steps, so that with two threads frame k + 1 is
// reduced while frame k is placed. The frames come out the same for any
// number of threads. Layers (see TOptimizedFrameSequence) are placed in one
// step, whose palette threads may share.
class TOptimizingStage : public TOrderedFrameStage {
public:
    TOptimizingStage(TDitherMode mode, const TEncoderTuning& tuning, int threads = 1)
        : sequence_(mode, tuning, threads) {}
    void Run(TFrameJob& job) override;
    int Steps() const override { return 2; }
    void RunStep(TFrameJob& job, int step) override;

private:
    TOptimizedFrameSequence sequence_;
};

} // namespace framolo
