#pragma once

#include "sim/mcu/ClockController.h"

namespace pellion::sim::mcu {

inline constexpr std::uint32_t kSystemControlBase = 0xE000E000;

// The core's own system timer (polled, no interrupt) and the system control block's reset
// request. A write of the key with SYSRESETREQ to AIRCR resets the whole chip.
class SystemControl : public Peripheral {
  public:
    SystemControl(McuContext& context, const ClockController& clocks);

    const char* name() const override { return "system control"; }
    std::optional<std::uint32_t> read(std::uint32_t offset) override;
    bool write(std::uint32_t offset, std::uint32_t value) override;
    bool isStatus(std::uint32_t offset) const override { return offset == 0x10; }
    std::optional<McuTime> nextEvent() const override;

    bool resetRequested() const { return resetRequested_; }

  private:
    std::uint64_t ticksSinceStart() const;
    std::uint64_t wraps() const;
    double tickHz() const;
    void restart();

    McuContext& context_;
    const ClockController& clocks_;
    std::uint32_t csr_ = 0, reload_ = 0, vtor_ = 0;
    McuTime started_{};
    std::uint64_t wrapsSeen_ = 0;
    bool resetRequested_ = false;
};

}  // namespace pellion::sim::mcu
