#include "convert/gif_frame_pipeline.h"

#include "convert/avi_frame_source.h"
#include "gif/gif_document.h"
#include "gif/optimized_frames.h"

#include <algorithm>
#include <stdexcept>

namespace framolo {

namespace {

// The frame's bytes, its number and the GIF version it needs.
void SaveFrame(TEncodedFrame& encoded, TGIFSubImage& frame, int index) {
    TMemoryStream bytes;
    frame.SaveToStream(bytes);
    encoded.Index = index;
    encoded.Bytes = bytes.TakeData();
    encoded.Version = frame.Version();
}

TEncodedFrame EncodeOptimizedFrame(TFrameJob& job, const TGIFFrameSettings& settings,
                                   const std::function<int(TParamField)>& field) {
    TOptimizedFrame& optimized = *job.Optimized;
    TFrameOptimizer::ChooseTransparency(optimized);
    TGIFDocument document;
    document.SetDataCoding(settings.DataCoding);
    TEncodedFrame encoded;
    if (optimized.UsesGlobalTable) {
        document.GlobalColorMap().SetColors(optimized.Colors);
        if (job.Index == 0)
            encoded.GlobalColors = optimized.Colors;
    } else if (job.Index == 0) {
        throw GIFException(gifmsg::NoColorTable);
    }
    encoded.BitsPerPixel = BitsForColors(static_cast<int>(optimized.Colors.size()));
    const int index = AddOptimizedFrame(document, std::move(optimized));
    job.Optimized.reset();
    SaveFrame(encoded, *CompleteJobFrame(document, index, job.Index == 0, field), job.Index);
    return encoded;
}

} // namespace

TEncodedFrame EncodeJobFrame(TFrameJob& job, const TGIFFrameSettings& settings,
                             TFrameTransform* transform) {
    const auto field = [&job](TParamField f) {
        switch (f) {
        case TParamField::Loop:
            return job.Loop;
        case TParamField::Delay:
            return job.Delay;
        case TParamField::Width:
            return job.Width;
        case TParamField::Height:
            return job.Height;
        default:
            return 0;
        }
    };
    if (job.Optimized)
        return EncodeOptimizedFrame(job, settings, field);

    // A document of its own per frame: the frame's bytes depend on the
    // document's settings only, never on the frames before it, as long as the
    // frame carries its own colour table.
    TGIFDocument document;
    document.SetColorReduction(settings.ColorReduction);
    document.SetDitherMode(settings.DitherMode);
    document.SetQuantizeBits(settings.QuantizeBits);
    document.SetDataCoding(settings.DataCoding);
    TGIFSubImage* frame = AppendJobFrame(document, *job.Picture, job.Index == 0, field);
    if (transform != nullptr)
        transform->Apply(*frame, job);
    job.Picture.reset();
    if (frame->ColorMap().Count() == 0)
        throw GIFException(gifmsg::NoColorTable);

    TEncodedFrame encoded;
    SaveFrame(encoded, *frame, job.Index);
    encoded.BitsPerPixel = frame->ColorMap().BitsPerPixel();
    return encoded;
}

// ---- Pipeline ----

TGIFFramePipeline::TGIFFramePipeline(const TGIFFrameSettings& settings, int threads, TSink sink,
                                     TFrameTransform* transform, TOrderedFrameStage* ordered)
    : settings_(settings), threads_(std::max(1, threads)), sink_(std::move(sink)),
      transform_(transform), ordered_(ordered) {
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
    if (ordered_ != nullptr) {
        bool skip = false;
        {
            std::unique_lock lock(mutex_);
            // Jobs leave the queue in order, so frame k - 1 is already with a
            // worker, or done, when frame k waits here.
            orderedDone_.wait(lock, [&] { return closing_ || nextOrdered_ == job.Index; });
            skip = closing_ || orderedFailed_;
        }
        std::exception_ptr error;
        if (!skip) {
            try {
                ordered_->Run(job);
            } catch (...) {
                error = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex_);
            orderedFailed_ = orderedFailed_ || error != nullptr;
            ++nextOrdered_;
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

// ---- File ----

namespace {
constexpr std::size_t kHeaderBytes = 13;

void Put16(std::uint8_t* p, int v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
} // namespace

TGIFStreamWriter::TGIFStreamWriter(TStream& target) : target_(target), start_(target.Position()) {
    const std::uint8_t placeholder[kHeaderBytes] = {};
    target_.WriteBuffer(placeholder, kHeaderBytes);
}

void TGIFStreamWriter::WriteFrame(const TEncodedFrame& frame) {
    if (frames_ == 0 && !frame.GlobalColors.empty()) {
        TGIFColorMap table;
        table.SetColors(frame.GlobalColors);
        table.SaveToStream(target_);
        globalBits_ = table.BitsPerPixel();
        largestBits_ = std::max(largestBits_, globalBits_);
    }
    target_.WriteBuffer(frame.Bytes.data(), frame.Bytes.size());
    largestBits_ = std::max(largestBits_, frame.BitsPerPixel);
    version_ = std::max(version_, frame.Version);
    ++frames_;
}

std::int64_t TGIFStreamWriter::Finish(int screenWidth, int screenHeight) {
    if (frames_ == 0 || version_ < 1 || version_ > 2)
        throw GIFException(gifmsg::UnsupportedVersion);
    target_.WriteByte(0x3B);
    const std::int64_t end = target_.Position();
    // The colour resolution comes from the deepest table; the size field is
    // the global table's, or without one the deepest local table's.
    const int depth = (largestBits_ - 1) & 7;
    std::uint8_t header[kHeaderBytes] = {
        'G', 'I', 'F', '8', static_cast<std::uint8_t>(version_ == 2 ? '9' : '7'), 'a'};
    Put16(header + 6, screenWidth);
    Put16(header + 8, screenHeight);
    header[10] = static_cast<std::uint8_t>(depth << 4 | depth);
    if (globalBits_ > 0)
        header[10] = static_cast<std::uint8_t>(0x80 | depth << 4 | ((globalBits_ - 1) & 7));
    target_.SetPosition(start_);
    target_.WriteBuffer(header, kHeaderBytes);
    target_.SetPosition(end);
    return end - start_;
}

} // namespace framolo
