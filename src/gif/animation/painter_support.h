#pragma once

// What a painter thread needs besides the document: an auto-reset event, a
// clock it can be given for tests, and the queue through which it asks the GUI
// thread to run a step.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace framolo {

// Wakes one waiter and resets itself.
class TAutoResetEvent {
public:
    void Set();
    // Waits up to ms milliseconds (negative: without end). True when the event
    // was signalled, which resets it; false on time-out.
    bool Wait(std::int64_t ms);

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    bool signalled_ = false;
};

// The painter's sense of time, in milliseconds.
class TPainterClock {
public:
    virtual ~TPainterClock() = default;
    virtual std::int64_t Now() = 0;
    // Waits on event for at most ms (negative: until signalled); true when the
    // event ended the wait.
    virtual bool WaitFor(TAutoResetEvent& event, std::int64_t ms) = 0;
    virtual void Sleep(std::int64_t ms) = 0;
};

// The steady clock of the machine.
TPainterClock& SystemPainterClock();
// The clock new painters use; null restores the system clock.
void SetPainterClock(TPainterClock* clock);
TPainterClock& CurrentPainterClock();

// Steps that threads ask the GUI thread to run. A caller blocks until its step
// has run (or is cancelled); the GUI thread runs them from its event loop and
// also whenever it waits for painters, so a waiting painter always gets its
// step done.
class TMainThreadCalls {
public:
    static TMainThreadCalls& Instance();

    // Runs step on the GUI thread and waits for it. False when the step was
    // cancelled before it ran. An exception of the step is raised again here.
    bool Call(const void* owner, std::function<void()> step);
    // Queues step without waiting; it cannot be cancelled and its errors are
    // dropped.
    void Post(std::function<void()> step);
    // Drops the owner's queued steps; their callers return false.
    void Cancel(const void* owner);
    // Runs every queued step, on the calling (GUI) thread.
    void Pump();
    // Waits up to ms for a step to be queued, then pumps; true when one ran.
    bool WaitAndPump(std::int64_t ms);
    // Number of queued steps.
    std::size_t Pending();
    // Called on the queuing thread whenever a step is queued, so that an event
    // loop can schedule a Pump. Runs under the queue's lock: it must not call
    // back into the queue.
    void SetOnPosted(std::function<void()> hook);

private:
    struct TState {
        bool Done = false;
        bool Cancelled = false;
        std::exception_ptr Error;
    };
    struct TItem {
        const void* Owner = nullptr;
        std::function<void()> Step;
        std::shared_ptr<TState> State;
    };
    void Enqueue(TItem item);

    std::mutex mutex_;
    std::condition_variable posted_;
    std::condition_variable finished_;
    std::deque<TItem> items_;
    std::function<void()> onPosted_;
};

} // namespace framolo
