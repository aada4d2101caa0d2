#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace pellion::records {

// One thread that runs database work in the order it was handed in. When it has nothing to do
// it calls `idle`, which does background work and says how long to rest before the next call
// (kRestUntilWoken: until work arrives or wake()); it is called again after every job.
class StoreWorker {
  public:
    // A job is told whether it runs normally (false) or is being cancelled at shutdown (true).
    using Job = std::function<void(bool cancelled)>;
    using Idle = std::function<std::chrono::milliseconds()>;
    static constexpr std::chrono::milliseconds kRestUntilWoken{-1};

    explicit StoreWorker(Idle idle = {});
    ~StoreWorker();  // stop(true) unless stopped already
    StoreWorker(const StoreWorker&) = delete;
    StoreWorker& operator=(const StoreWorker&) = delete;

    void post(Job job);  // any thread; never waits for the work
    void wake();         // any thread: calls `idle` soon

    // Ends the thread. With runQueued, the jobs already handed in run first; otherwise they
    // are called cancelled.
    void stop(bool runQueued);

  private:
    void loop();

    Idle idle_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool woken_ = true;
    bool stopping_ = false;
    bool runQueued_ = true;
    std::thread thread_;
};

}  // namespace pellion::records
