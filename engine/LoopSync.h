#pragma once

// The lock and condition variable with which work is handed to the owner loop and back. On
// POSIX they are the standard ones. On Windows they are the system's slim reader/writer lock
// and condition variable: MinGW's standard ones go through winpthreads, whose semaphores and
// events are kernel objects, so every hand-over would cost several system calls (and, under
// Wine, as many round trips to its server: a few hundred microseconds each on a busy machine).

#if defined(_WIN32)

#include <algorithm>
#include <chrono>
#include <mutex>

namespace pellion {

class LoopMutex {
  public:
    LoopMutex();
    LoopMutex(const LoopMutex&) = delete;
    LoopMutex& operator=(const LoopMutex&) = delete;

    void lock();
    void unlock();
    bool try_lock();
    void* native() { return storage_; }

  private:
    alignas(void*) unsigned char storage_[sizeof(void*)];
};

class LoopCondition {
  public:
    using Clock = std::chrono::steady_clock;

    LoopCondition();
    LoopCondition(const LoopCondition&) = delete;
    LoopCondition& operator=(const LoopCondition&) = delete;

    void notify_one();
    void notify_all();

    template <typename Predicate>
    void wait(std::unique_lock<LoopMutex>& lock, Predicate ready) {
        while (!ready())
            sleep(lock, -1);
    }

    template <typename Predicate>
    bool wait_until(std::unique_lock<LoopMutex>& lock, Clock::time_point deadline,
                    Predicate ready) {
        while (!ready()) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return ready();
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            sleep(lock, static_cast<long>(std::min<long long>(ms, 1 << 30)));
        }
        return true;
    }

    template <typename Rep, typename Period, typename Predicate>
    bool wait_for(std::unique_lock<LoopMutex>& lock, std::chrono::duration<Rep, Period> time,
                  Predicate ready) {
        return wait_until(lock, Clock::now() + time, ready);
    }

  private:
    // Until notified or `ms` milliseconds (< 0: no limit) have passed; wakes may be spurious.
    void sleep(std::unique_lock<LoopMutex>& lock, long ms);

    alignas(void*) unsigned char storage_[sizeof(void*)];
};

}  // namespace pellion

#else

#include <condition_variable>
#include <mutex>

namespace pellion {

using LoopMutex = std::mutex;
using LoopCondition = std::condition_variable;

}  // namespace pellion

#endif
