#pragma once

#include <functional>

#include "sim/mcu/McuContext.h"

namespace pellion::sim::mcu {

inline constexpr std::uint32_t kClockControllerBase = 0x40021000;
inline constexpr std::uint32_t kApb2PortA = 1u << 2;
inline constexpr std::uint32_t kApb2Usart1 = 1u << 14;

// The clock controller: the internal 8 MHz oscillator, the PLL fed from half of it, the bus
// prescalers and the peripheral clock gates and resets. There is no crystal: a program that
// waits for one spins without progress.
class ClockController : public Peripheral {
  public:
    explicit ClockController(McuContext& context);

    const char* name() const override { return "clock controller"; }
    std::optional<std::uint32_t> read(std::uint32_t offset) override;
    bool write(std::uint32_t offset, std::uint32_t value) override;
    bool isStatus(std::uint32_t offset) const override { return offset <= 0x04; }
    std::optional<McuTime> nextEvent() const override;

    std::uint32_t systemHz() const;
    std::uint32_t coreHz() const;  // the AHB clock
    std::uint32_t apb1Hz() const;
    std::uint32_t apb2Hz() const;
    bool onInternalOscillator() const { return (cfgr_ & 3u) == 0; }
    bool internalOscillatorOn() const { return (cr_ & 1u) != 0; }
    bool enabled(std::uint32_t apb2Bit) const { return (apb2enr_ & apb2Bit) != 0; }
    // Called with the bits a program pulses in the APB2 reset register.
    void onApb2Reset(std::function<void(std::uint32_t)> handler) {
        onApb2Reset_ = std::move(handler);
    }

  private:
    bool pllLocked() const { return (cr_ & kPllOn) && context_.now >= pllLockedAt_; }
    std::uint32_t pllHz() const;
    bool writeControl(std::uint32_t value);
    bool writeConfiguration(std::uint32_t value);
    void checkFrequencies();

    static constexpr std::uint32_t kPllOn = 1u << 24;

    McuContext& context_;
    std::uint32_t cr_ = 0x00000083;  // internal oscillator on and ready, trim 16
    std::uint32_t cfgr_ = 0;
    std::uint32_t apb2rstr_ = 0, apb1rstr_ = 0;
    std::uint32_t ahbenr_ = 0x14, apb2enr_ = 0, apb1enr_ = 0;
    McuTime pllLockedAt_{};
    std::function<void(std::uint32_t)> onApb2Reset_;
};

}  // namespace pellion::sim::mcu
