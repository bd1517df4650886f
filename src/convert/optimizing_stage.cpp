#include "convert/optimizing_stage.h"

#include <memory>
#include <utility>

namespace framolo {

void TOptimizingStage::Run(TFrameJob& job) {
    RunStep(job, 0);
    RunStep(job, 1);
}

void TOptimizingStage::RunStep(TFrameJob& job, int step) {
    using TReducedStep = TOptimizedFrameSequence::TReducedStep;
    if (step == 0) {
        job.Between = std::make_shared<TReducedStep>(sequence_.Reduce(*job.Picture));
        return;
    }
    auto reduced = std::static_pointer_cast<TReducedStep>(std::move(job.Between));
    job.Optimized = std::make_unique<TOptimizedFrame>(sequence_.Place(*reduced));
    job.Picture.reset();
}

} // namespace framolo
