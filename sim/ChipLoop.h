#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
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

  private:
    void run();

    int wakeFd_ = -1;
    std::mutex mutex_;
    std::vector<std::shared_ptr<VirtualChip>> chips_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace pellion::sim
