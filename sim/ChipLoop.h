#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include <time.h>
#include <vector>

#include "sim/VirtualChip.h"

namespace pellion::sim {

// One thread that serves any number of chips: it sleeps in ppoll until a line has bytes or a
// chip's next modelled moment comes, so idle chips cost no CPU.
class ChipLoop {
  public:
    ChipLoop();
    ~ChipLoop();  // stops the thread
    ChipLoop(const ChipLoop&) = delete;
    ChipLoop& operator=(const ChipLoop&) = delete;

    void add(std::shared_ptr<VirtualChip> chip);  // any thread
    void wake();                                  // any thread
    void stop();                                  // any thread; idempotent
    // CPU time the loop's thread has used so far.
    std::chrono::nanoseconds cpuTime() const;

  private:
    void run();

    int wakeFd_ = -1;
    std::mutex mutex_;
    std::vector<std::shared_ptr<VirtualChip>> chips_;
    std::atomic<std::uint64_t> chipsVersion_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    clockid_t cpuClock_{};
    std::atomic<bool> haveCpuClock_{false};
    std::atomic<std::int64_t> finalCpuNanos_{-1};
};

}  // namespace pellion::sim
