#include "gif/encode/optimized_frames.h"

#include "color/pixel_error.h"
#include "gif/lzw_encoder.h"

// The trial between the shared palette and layers: the frames after the
// first are also placed, unseen, as layers on a screen of their own, and
// what both cost decides which road the later frames take.

namespace framolo {

bool TOptimizedFrameSequence::TryLayers(const TReducedStep& step) {
    const bool probe =
        tuning_.ProbeMargin >= 0 && probed_ < tuning_.ProbeFrames && optimizer_->Started();
    if (probe) {
        if (!probeScreen_)
            probeScreen_ = std::make_unique<TFrameOptimizer>(*optimizer_);
        std::swap(optimizer_, probeScreen_);
        AddCost(PlaceLayer(step, tuning_.ProbeColors, tuning_.ProbeMargin, tuning_.ProbeLzwBound),
                step, probeLayers_);
        std::swap(optimizer_, probeScreen_);
    }
    return probe;
}

void TOptimizedFrameSequence::WeighTrial(const TOptimizedFrame& optimized,
                                         const TReducedStep& step) {
    AddCost(optimized, step, probeShared_);
    if (++probed_ == tuning_.ProbeFrames) {
        probeScreen_.reset();
        layered_.store(probeLayers_.Weight(tuning_.ProbeStructure) <
                       probeShared_.Weight(tuning_.ProbeStructure));
    }
}

void TOptimizedFrameSequence::AddCost(TOptimizedFrame frame, const TReducedStep& step,
                                      TCost& total) const {
    TFrameOptimizer::ChooseTransparency(frame);
    total.Bytes += static_cast<double>(LzwDataSize(frame.Pixels, frame.Width, frame.Height,
                                                   static_cast<int>(frame.Colors.size())) +
                                       (frame.UsesGlobalTable ? 0 : 3 * frame.Colors.size()));
    const std::vector<std::uint8_t>& screen = optimizer_->Screen();
    // Exact as a double: far below 2^53 for any frame.
    total.Error += static_cast<double>(
        SquaredError(step.Bgr, step.Stride, screen.data(), step.Width, step.Height));
    if (tuning_.ProbeStructure)
        total.Structure +=
            StructuralLoss(step.Bgr, step.Stride, screen.data(), step.Width, step.Height);
}

} // namespace framolo
