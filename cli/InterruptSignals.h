#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "engine/OwnerLoop.h"

namespace pellion::cli {

// Takes SIGINT and SIGTERM out of the default "die at once" for the whole process. Call it on
// the main thread before any other thread starts (threads inherit the mask), so that no
// thread is ever killed by them; an InterruptWatcher then receives them.
void BlockInterruptSignals();

// While it lives, every SIGINT or SIGTERM runs `onSignal(count)` on the loop's owner thread,
// with the number of signals received so far.
class InterruptWatcher {
  public:
    InterruptWatcher(OwnerLoop& loop, std::function<void(int count)> onSignal);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    int count() const { return count_.load(); }

  private:
    void watch();

    OwnerLoop& loop_;
    std::function<void(int)> onSignal_;
    std::atomic<bool> stop_{false};
    std::atomic<int> count_{0};
    std::thread thread_;
};

// The exit status of a command ended by an interruption, as shells report one.
inline constexpr int kExitInterrupted = 130;

}  // namespace pellion::cli
