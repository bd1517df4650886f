#pragma once

// Helpers of the painter tests: a clock that only moves when told or when the
// painter waits, and a loop that plays the GUI thread's part.

#include "gif/animation/gif_painter.h"
#include "gif/animation/painter_registry.h"
#include "gif/animation/painter_support.h"
#include "gif/gif_document.h"
#include "gif_test_util.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace framolo::test {

// Time passes only through the painter's own waits and Advance. A wait on the
// wake event ends early when the event is already set; an endless wait blocks
// for real until it is set.
class TFakeClock : public TPainterClock {
public:
    std::int64_t Now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    bool WaitFor(TAutoResetEvent& event, std::int64_t ms) override {
        if (ms < 0)
            return event.Wait(-1);
        if (event.Wait(0))
            return true;
        std::lock_guard lock(mutex_);
        now_ += ms;
        waits_.push_back(ms);
        return false;
    }
    void Sleep(std::int64_t ms) override {
        std::lock_guard lock(mutex_);
        now_ += ms;
        sleeps_.push_back(ms);
    }
    void Advance(std::int64_t ms) {
        std::lock_guard lock(mutex_);
        now_ += ms;
    }
    std::vector<std::int64_t> Waits() {
        std::lock_guard lock(mutex_);
        return waits_;
    }
    std::vector<std::int64_t> Sleeps() {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }

private:
    std::mutex mutex_;
    std::int64_t now_ = 1000000;
    std::vector<std::int64_t> waits_;
    std::vector<std::int64_t> sleeps_;
};

// Installs a clock for the scope of a test.
class TClockScope {
public:
    explicit TClockScope(TPainterClock& clock) { SetPainterClock(&clock); }
    ~TClockScope() { SetPainterClock(nullptr); }
    TClockScope(const TClockScope&) = delete;
    TClockScope& operator=(const TClockScope&) = delete;
};

// Runs the GUI thread's share (queued painter steps) until pred holds; false
// when it does not within the time limit.
template <class Pred> bool PumpUntil(Pred&& pred, int limitMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        TMainThreadCalls::Instance().WaitAndPump(2);
    }
    return true;
}

// Waits until every threaded painter has been joined and freed.
inline bool PumpUntilNoPainters() {
    return PumpUntil([] { return TGIFPainter::LiveCount() == 0; });
}

inline std::string PainterDataPath(const std::string& name) {
    return std::string(FRAMOLO_TEST_DATA_DIR) + "/gif/" + name;
}

} // namespace framolo::test

namespace framolo {
// The pieces every painter test builds its documents and clocks with.
using test::AddGraphicControl;
using test::AddIndexedFrame;
using test::TClockScope;
using test::TFakeClock;
} // namespace framolo
