#pragma once

#include <cstdint>
#include <random>

#include "sim/FaultOptions.h"

namespace pellion::sim {

// The random side of fault injection: one seeded generator per chip, so the same seed gives
// the same faults at the same places.
class FaultInjector {
  public:
    explicit FaultInjector(const FaultOptions& options);

    const FaultOptions& options() const { return options_; }
    void setOptions(const FaultOptions& options);

    bool injectNack() { return chance(options_.nackProbability); }
    bool dropAnswerByte() { return chance(options_.dropAnswerByteProbability); }
    bool corruptAnswerByte() { return chance(options_.corruptAnswerByteProbability); }
    bool badCell() { return chance(options_.badCellProbability); }
    // A value that turns a byte into a different one when XORed with it.
    std::uint8_t corruptionMask();
    // 0 <= result < bound.
    std::uint32_t pick(std::uint32_t bound);

  private:
    bool chance(double probability);

    FaultOptions options_;
    std::mt19937_64 random_;
};

}  // namespace pellion::sim
