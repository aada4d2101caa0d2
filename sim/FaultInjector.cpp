#include "sim/FaultInjector.h"

namespace pellion::sim {

FaultInjector::FaultInjector(const FaultOptions& options)
    : options_(options), random_(options.seed) {}

void FaultInjector::setOptions(const FaultOptions& options) {
    options_ = options;
    random_.seed(options.seed);
}

bool FaultInjector::chance(double probability) {
    if (probability <= 0)
        return false;
    if (probability >= 1)
        return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < probability;
}

std::uint8_t FaultInjector::corruptionMask() {
    return std::uint8_t(1 + pick(255));
}

std::uint32_t FaultInjector::pick(std::uint32_t bound) {
    if (bound <= 1)
        return 0;
    return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(random_);
}

}  // namespace pellion::sim
