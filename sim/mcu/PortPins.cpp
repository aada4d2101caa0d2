#include "sim/mcu/PortPins.h"

namespace pellion::sim::mcu {

namespace {

std::uint32_t pinNibble(std::uint32_t crh, int pin) {
    return (crh >> (4 * (pin - 8))) & 0xFu;
}

}  // namespace

PortPins::PortPins(McuContext& context, const ClockController& clocks)
    : context_(context), clocks_(clocks) {
    reset();
}

void PortPins::reset() {
    crl_ = crh_ = 0x44444444;  // every pin a floating input
    odr_ = 0;
}

bool PortPins::clocked() {
    if (clocks_.enabled(kApb2PortA))
        return true;
    context_.fail("touches port A while its clock is off");
    return false;
}

std::optional<std::uint32_t> PortPins::read(std::uint32_t offset) {
    if (!clocked())
        return 0;
    switch (offset) {
        case 0x00:
            return crl_;
        case 0x04:
            return crh_;
        case 0x08:
            return 0xFFFF;  // an idle line and pulled-up pins read high
        case 0x0C:
            return odr_;
        default:
            return std::nullopt;
    }
}

bool PortPins::write(std::uint32_t offset, std::uint32_t value) {
    if (!clocked())
        return true;
    switch (offset) {
        case 0x00:
            crl_ = value;
            return true;
        case 0x04:
            crh_ = value;
            return true;
        case 0x0C:
            odr_ = value & 0xFFFF;
            return true;
        case 0x10:
            odr_ = (odr_ | (value & 0xFFFF)) & ~(value >> 16);
            return true;
        case 0x14:
            odr_ &= ~(value & 0xFFFF);
            return true;
        default:
            return false;
    }
}

bool PortPins::transmitPinConnected() const {
    const std::uint32_t pin9 = pinNibble(crh_, 9);
    return (pin9 & 3u) != 0 && (pin9 >> 2) == 2u;  // an output, alternate function push-pull
}

bool PortPins::receivePinIsInput() const {
    const std::uint32_t pin10 = pinNibble(crh_, 10);
    return (pin10 & 3u) == 0 && ((pin10 >> 2) == 1u || (pin10 >> 2) == 2u);
}

}  // namespace pellion::sim::mcu
