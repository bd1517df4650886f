#pragma once

#include "convert/frame_params.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace framolo {

// The size a GIF of the window's settings would make, estimated on worker
// threads from a sample of the clip (see TSizeSampler), each on its own file
// handle. Requests that follow each other within the quiet time start one
// estimate, for the last of them; a new request or Cancel stops the estimate
// under way, and its result is never delivered. Results come back on the
// thread that owns the object, through its event loop.
class TBackgroundEstimate : public QObject {
    Q_OBJECT
public:
    static constexpr int kQuietMilliseconds = 300;

    TBackgroundEstimate();
    // Stops the estimates under way and waits for their threads.
    ~TBackgroundEstimate() override;

    void Request(const std::string& clipFile, const TFrameParams& params);
    void Cancel();
    // Estimates started on a worker, and those whose result was dropped.
    int Started() const { return started_; }
    int Dropped() const { return dropped_; }
    // An estimate is waiting for the quiet time or running.
    bool Busy() const { return timer_.isActive() || running_ > 0; }

signals:
    // The bytes of the latest request's estimate (0 when it failed), unless
    // another request or Cancel came after it.
    void Ready(std::int64_t bytes);

private:
    struct TWorker {
        std::thread Thread;
        std::shared_ptr<std::atomic<bool>> Done;
    };
    void Start();
    void Deliver(std::uint64_t generation, std::int64_t bytes);
    // Joins the threads that have ended.
    void Reap();

    QTimer timer_;
    std::string clipFile_;
    TFrameParams params_;
    // Raised by every request and cancel: a worker whose generation is no
    // longer the current one stops at its next frame.
    std::atomic<std::uint64_t> generation_{0};
    std::vector<TWorker> workers_;
    int started_ = 0;
    int dropped_ = 0;
    int running_ = 0;
};

} // namespace framolo
