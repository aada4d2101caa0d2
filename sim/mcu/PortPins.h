#pragma once

#include "sim/mcu/ClockController.h"

namespace pellion::sim::mcu {

inline constexpr std::uint32_t kPortABase = 0x40010800;

// Port A's configuration, as far as the serial line needs it: pin 9 carries USART1's output
// only as an alternate-function output, pin 10 its input only as an input.
class PortPins : public Peripheral {
  public:
    PortPins(McuContext& context, const ClockController& clocks);

    const char* name() const override { return "port A"; }
    std::optional<std::uint32_t> read(std::uint32_t offset) override;
    bool write(std::uint32_t offset, std::uint32_t value) override;
    void reset();

    bool transmitPinConnected() const;
    bool receivePinIsInput() const;

  private:
    bool clocked();

    McuContext& context_;
    const ClockController& clocks_;
    std::uint32_t crl_ = 0, crh_ = 0, odr_ = 0;
};

}  // namespace pellion::sim::mcu
