#include "convert/gif_frame_pipeline.h"

#include <algorithm>
#include <stdexcept>

namespace framolo {

TEncodedFrame EncodeJobFrame(TFrameJob& job, const TGIFFrameSettings& settings,
                             TFrameTransform* transform) {
    const TFrameTiming timing{job.Index == 0, job.Loop, job.Delay, job.Index};
    if (job.Optimized) {
        TFrameOptimizer::ChooseTransparency(*job.Optimized);
        TEncodedFrame encoded =
            EncodeOptimizedFrame(*job.Optimized, job.Index, timing, settings.DataCoding);
        job.Optimized.reset();
        return encoded;
    }
    // The frame's bytes depend on the settings only, never on the frames
    // before it, as long as it carries its own colour table.
    const std::unique_ptr<TGIFSubImage> frame = ReducePictureToFrame(*job.Picture, settings);
    PlaceTimingExtensions(*frame, timing);
    if (transform != nullptr)
        transform->Apply(*frame, job);
    job.Picture.reset();
    return EncodeFrame(*frame, job.Index, settings.DataCoding);
}

// ---- Pipeline ----

TGIFFramePipeline::TGIFFramePipeline(const TGIFFrameSettings& settings, int threads, TSink sink,
                                     TFrameTransform* transform, TOrderedFrameStage* ordered)
    : settings_(settings), threads_(std::max(1, threads)), sink_(std::move(sink)),
      transform_(transform), ordered_(ordered) {
    if (ordered_ != nullptr)
        nextOrdered_.assign(static_cast<std::size_t>(std::max(1, ordered_->Steps())), 0);
    if (threads_ > 1) {
        workers_.reserve(static_cast<std::size_t>(threads_));
        for (int i = 0; i < threads_; ++i)
            workers_.emplace_back([this] { Work(); });
    }
}

TGIFFramePipeline::~TGIFFramePipeline() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    workReady_.notify_all();
    orderedDone_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void TGIFFramePipeline::Submit(TFrameJob job) {
    job.Index = nextIndex_;
    if (threads_ == 1) {
        ++nextIndex_;
        TEncodedFrame frame = Process(job);
        ++nextToDeliver_;
        sink_(frame);
        return;
    }
    // Room for one more: at most twice as many frames as workers in flight.
    Deliver(static_cast<std::size_t>(2 * threads_ - 1));
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(job));
        ++nextIndex_;
    }
    workReady_.notify_one();
    Deliver(static_cast<std::size_t>(2 * threads_));
}

void TGIFFramePipeline::Finish() {
    if (threads_ > 1)
        Deliver(0);
}

void TGIFFramePipeline::Deliver(std::size_t keep) {
    for (;;) {
        TResult result;
        {
            std::unique_lock lock(mutex_);
            auto ready = done_.find(nextToDeliver_);
            if (ready == done_.end()) {
                if (static_cast<std::size_t>(nextIndex_ - nextToDeliver_) <= keep)
                    return;
                resultReady_.wait(lock, [this] { return done_.count(nextToDeliver_) != 0; });
                ready = done_.find(nextToDeliver_);
            }
            result = std::move(ready->second);
            done_.erase(ready);
            ++nextToDeliver_;
        }
        if (result.Error)
            std::rethrow_exception(result.Error);
        sink_(result.Frame);
    }
}

void TGIFFramePipeline::Work() {
    for (;;) {
        TFrameJob job;
        {
            std::unique_lock lock(mutex_);
            workReady_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            if (closing_)
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        TResult result;
        try {
            result.Frame = Process(job);
        } catch (...) {
            result.Error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            done_.emplace(job.Index, std::move(result));
        }
        resultReady_.notify_all();
    }
}

TEncodedFrame TGIFFramePipeline::Process(TFrameJob& job) {
    for (std::size_t step = 0; step < nextOrdered_.size(); ++step) {
        int& next = nextOrdered_[step];
        bool skip = false;
        {
            std::unique_lock lock(mutex_);
            // Jobs leave the queue in order, so frame k - 1 is already with a
            // worker, or done, when frame k waits here; a frame after a
            // failed one does not wait for it.
            orderedDone_.wait(lock, [&] {
                return closing_ || next == job.Index || job.Index > orderedFailedAt_;
            });
            skip = closing_ || job.Index > orderedFailedAt_;
        }
        std::exception_ptr error;
        if (!skip) {
            try {
                ordered_->RunStep(job, static_cast<int>(step));
            } catch (...) {
                error = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex_);
            if (error)
                orderedFailedAt_ = std::min(orderedFailedAt_, job.Index);
            ++next;
        }
        orderedDone_.notify_all();
        if (error)
            std::rethrow_exception(error);
        // Never delivered: the failed frame before this one is raised first,
        // or the pipeline is going.
        if (skip)
            throw std::runtime_error("frame skipped after an earlier failure");
    }
    return EncodeJobFrame(job, settings_, transform_);
}

} // namespace framolo
