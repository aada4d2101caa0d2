#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/LoopSync.h"

namespace pellion {

using Task = std::function<void()>;
using TimerId = std::uint64_t;
using SteadyClock = std::chrono::steady_clock;

// The owner thread's event loop. The engine's data is touched on this thread only;
// monitor threads hand it work, synchronously (call) or not (post). Timers replace every
// delay: nothing sleeps on the owner thread.
//
// Three ways to drive it: run()/quit() on a thread of its own, runUntil() in tests and on
// the command line, or processDue() from another event loop (the window) that is woken
// through setWakeHandler().
class OwnerLoop {
  public:
    OwnerLoop();  // the constructing thread becomes the owner thread
    ~OwnerLoop();
    OwnerLoop(const OwnerLoop&) = delete;
    OwnerLoop& operator=(const OwnerLoop&) = delete;

    void bindToCurrentThread();
    bool isOwnerThread() const;

    // Any thread. Runs the task later on the owner thread; false once the loop has closed.
    bool post(Task task);
    // Any thread. Returns when the owner thread has run the task (runs it directly when
    // called on the owner thread). False, without running it, once the loop has closed.
    bool call(Task task);

    // Owner thread. The first expiry is one interval from now.
    TimerId startTimer(std::chrono::milliseconds interval, bool periodic, Task task);
    void stopTimer(TimerId id);
    bool isTimerActive(TimerId id) const;

    // Owner thread: waits until done() holds, meanwhile running the work that other threads
    // hand in (not the timers), so a thread blocked in call() can always finish.
    // Wakes on handed-in work, on wake(), and every few milliseconds to test done().
    void serveUntil(const std::function<bool()>& done);

    // Owner thread: runs work and timers until done() holds or the time-out passes.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Owner thread: runs work and timers until quit().
    void run();
    void quit();  // any thread

    // Any thread: wakes a waiting serveUntil/runUntil/run so it re-tests its condition.
    void wake();

    // For an embedding event loop: called (from any thread) whenever processDue() should run
    // soon, because work was handed in or the timers changed.
    void setWakeHandler(std::function<void()> handler);
    // Owner thread: runs the handed-in work and the due timers; returns the next deadline.
    std::optional<SteadyClock::time_point> processDue();

    // Ends the loop for good: later post()/call() return false, waiting callers are released.
    void close();

  private:
    struct Pending {
        Task task;
        std::shared_ptr<struct CallState> callState;  // set for call()
    };
    struct Timer {
        SteadyClock::time_point deadline;
        std::chrono::milliseconds interval;
        bool periodic;
        std::shared_ptr<Task> task;
    };

    bool runOnePending();
    void runDueTimers();
    std::optional<SteadyClock::time_point> nextDeadline() const;
    void notifyWakeHandler();

    std::thread::id ownerThread_;
    mutable LoopMutex mutex_;
    LoopCondition wakeup_;
    std::deque<Pending> pending_;
    bool closed_ = false;
    bool quit_ = false;
    std::uint64_t wakeCount_ = 0;
    std::function<void()> wakeHandler_;

    // Owner thread only.
    std::map<TimerId, Timer> timers_;
    TimerId nextTimerId_ = 1;
};

}  // namespace pellion
