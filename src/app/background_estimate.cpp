#include "app/background_estimate.h"

#include "convert/size_estimate.h"

#include <exception>
#include <utility>

namespace framolo {

TBackgroundEstimate::TBackgroundEstimate() {
    timer_.setSingleShot(true);
    timer_.setInterval(kQuietMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { Start(); });
}

TBackgroundEstimate::~TBackgroundEstimate() {
    ++generation_;
    for (TWorker& worker : workers_)
        worker.Thread.join();
}

void TBackgroundEstimate::Request(const std::string& clipFile, const TFrameParams& params) {
    ++generation_;
    clipFile_ = clipFile;
    params_ = params;
    timer_.start();
}

void TBackgroundEstimate::Cancel() {
    ++generation_;
    timer_.stop();
}

void TBackgroundEstimate::Start() {
    Reap();
    const std::uint64_t generation = generation_.load();
    auto done = std::make_shared<std::atomic<bool>>(false);
    ++started_;
    ++running_;
    // The destructor joins every worker before the generation goes.
    std::thread thread([this, generation, done, clip = clipFile_, params = params_] {
        std::int64_t bytes = 0;
        try {
            // Out of date as soon as another request or a cancel comes.
            const TSampleControl control{
                [this, generation] { return generation_.load() != generation; }, [] {}};
            bytes = TSizeSampler(clip, control, 1).Estimate(params).Bytes;
        } catch (const std::exception&) {
            bytes = 0;
        }
        // Posted to this object: when it is destroyed first, its destructor
        // has waited for this thread, and Qt drops the posted call with it.
        QMetaObject::invokeMethod(
            this, [this, generation, bytes] { Deliver(generation, bytes); }, Qt::QueuedConnection);
        done->store(true);
    });
    workers_.push_back({std::move(thread), std::move(done)});
}

void TBackgroundEstimate::Deliver(std::uint64_t generation, std::int64_t bytes) {
    --running_;
    Reap();
    if (generation != generation_.load()) {
        ++dropped_;
        return;
    }
    emit Ready(bytes);
}

void TBackgroundEstimate::Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->Done->load()) {
            it->Thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace framolo
