#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/ChipMemory.h"
#include "sim/ChipOptions.h"
#include "sim/ChipStats.h"
#include "sim/FaultInjector.h"

namespace pellion::sim::mcu {

using McuClock = std::chrono::steady_clock;
using McuTime = McuClock::time_point;
using std::chrono::nanoseconds;

// What the peripheral models of one emulated chip share: the chip's memory, options, faults and
// counters, the machine's modelled time, and the first error a program made.
struct McuContext {
    ChipMemory& memory;
    const ChipOptions& options;
    FaultInjector& faults;
    ChipStats& stats;
    McuTime now{};
    std::string error;

    bool timed() const { return options.timing.enabled; }
    // How long something takes in the model's time: as configured with timing on, nothing
    // without (busy time is accounted either way).
    nanoseconds lasting(nanoseconds duration) const { return timed() ? duration : nanoseconds(0); }
    void fail(const std::string& message) {
        if (error.empty())
            error = message;
    }
    bool failed() const { return !error.empty(); }
};

std::string hexWord(std::uint32_t value);

// The earlier of two optional moments.
inline std::optional<McuTime> earliest(std::optional<McuTime> a, std::optional<McuTime> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

// A moment that is still ahead of `now`, else none.
inline std::optional<McuTime> ahead(McuTime at, McuTime now) {
    return at > now ? std::optional<McuTime>(at) : std::nullopt;
}

// One peripheral's registers, seen through 32-bit accesses at offsets from its base.
class Peripheral {
  public:
    virtual ~Peripheral() = default;
    virtual const char* name() const = 0;
    // None: no such register (the machine stops with an error naming it).
    virtual std::optional<std::uint32_t> read(std::uint32_t offset) = 0;
    virtual bool write(std::uint32_t offset, std::uint32_t value) = 0;
    // A register programs poll, waiting for it to change: status and ready flags.
    virtual bool isStatus(std::uint32_t) const { return false; }
    // The next moment after now at which something this model reports changes by itself.
    virtual std::optional<McuTime> nextEvent() const { return std::nullopt; }
};

}  // namespace pellion::sim::mcu
