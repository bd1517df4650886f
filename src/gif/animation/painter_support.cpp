#include "gif/animation/painter_support.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace framolo {

// ---- TAutoResetEvent ----

void TAutoResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    signal_.notify_one();
}

bool TAutoResetEvent::Wait(std::int64_t ms) {
    std::unique_lock lock(mutex_);
    if (ms < 0)
        signal_.wait(lock, [this] { return signalled_; });
    else if (!signal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; }))
        return false;
    signalled_ = false;
    return true;
}

// ---- Clocks ----

namespace {

class TSystemPainterClock : public TPainterClock {
public:
    std::int64_t Now() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    bool WaitFor(TAutoResetEvent& event, std::int64_t ms) override { return event.Wait(ms); }
    void Sleep(std::int64_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

std::atomic<TPainterClock*> painterClock{nullptr};

} // namespace

TPainterClock& SystemPainterClock() {
    static TSystemPainterClock clock;
    return clock;
}

void SetPainterClock(TPainterClock* clock) {
    painterClock.store(clock);
}

TPainterClock& CurrentPainterClock() {
    TPainterClock* clock = painterClock.load();
    return clock != nullptr ? *clock : SystemPainterClock();
}

// ---- TMainThreadCalls ----

TMainThreadCalls& TMainThreadCalls::Instance() {
    static TMainThreadCalls calls;
    return calls;
}

void TMainThreadCalls::Enqueue(TItem item) {
    // Under the lock, so that the hook's owner can remove it safely.
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
    posted_.notify_all();
    if (onPosted_)
        onPosted_();
}

bool TMainThreadCalls::Call(const void* owner, std::function<void()> step) {
    auto state = std::make_shared<TState>();
    Enqueue(TItem{owner, std::move(step), state});
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return state->Done || state->Cancelled; });
    if (state->Cancelled)
        return false;
    if (state->Error)
        std::rethrow_exception(state->Error);
    return true;
}

void TMainThreadCalls::Post(std::function<void()> step) {
    Enqueue(TItem{nullptr, std::move(step), nullptr});
}

void TMainThreadCalls::Cancel(const void* owner) {
    if (owner == nullptr)
        return;
    std::lock_guard lock(mutex_);
    for (auto it = items_.begin(); it != items_.end();) {
        if (it->Owner == owner) {
            if (it->State)
                it->State->Cancelled = true;
            it = items_.erase(it);
        } else {
            ++it;
        }
    }
    finished_.notify_all();
}

void TMainThreadCalls::Pump() {
    // One step at a time: a step may pump again itself (a handler that stops
    // painters), and steps queued meanwhile run in this same call.
    for (;;) {
        TItem item;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty())
                return;
            item = std::move(items_.front());
            items_.pop_front();
        }
        std::exception_ptr error;
        try {
            item.Step();
        } catch (...) {
            error = std::current_exception();
        }
        if (item.State) {
            std::lock_guard lock(mutex_);
            item.State->Error = error;
            item.State->Done = true;
            finished_.notify_all();
        }
    }
}

bool TMainThreadCalls::WaitAndPump(std::int64_t ms) {
    {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return !items_.empty(); }))
            return false;
    }
    Pump();
    return true;
}

std::size_t TMainThreadCalls::Pending() {
    std::lock_guard lock(mutex_);
    return items_.size();
}

void TMainThreadCalls::SetOnPosted(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    onPosted_ = std::move(hook);
}

} // namespace framolo
