#include "sim/mcu/SerialPeripheral.h"

#include <bit>
#include <cmath>

#include "sim/ChipTiming.h"

namespace pellion::sim::mcu {

namespace {

constexpr double kBaudTolerance = 0.03;
constexpr std::uint32_t kFormatBits = 0x1600;  // nine bits, parity on, odd parity
constexpr std::uint32_t kFormat8E1 = 0x1400;
// Interrupt enables, send break, receiver wake-up: the helper uses none of them.
constexpr std::uint32_t kUnmodelledControl1 = 0x09F3;

std::uint8_t garble(std::uint8_t value) {
    return std::uint8_t((value >> 1) | 0x80) ^ 0x24;
}

}  // namespace

SerialPeripheral::SerialPeripheral(McuContext& context, const ClockController& clocks,
                                   const PortPins& pins)
    : context_(context), clocks_(clocks), pins_(pins) {}

void SerialPeripheral::reset() {
    brr_ = cr1_ = cr2_ = cr3_ = gtpr_ = 0;
    full_ = overrun_ = framingError_ = false;
    arrivals_.clear();
}

std::uint32_t SerialPeripheral::baud() const {
    return brr_ >= 16 ? clocks_.apb2Hz() / brr_ : 0;
}

nanoseconds SerialPeripheral::byteTime() const {
    return ChipTiming::byteTime(baud());
}

bool SerialPeripheral::matches(std::uint32_t hostBaud) const {
    if ((cr1_ & kFormatBits) != kFormat8E1 || (cr2_ & 0x3000) != 0 || baud() == 0)
        return false;
    const double host = hostBaud ? hostBaud : ChipTiming::kFallbackBaud;
    return std::abs(double(baud()) - host) <= host * kBaudTolerance;
}

bool SerialPeripheral::clocked() {
    if (clocks_.enabled(kApb2Usart1))
        return true;
    context_.fail("touches USART1 while its clock is off");
    return false;
}

void SerialPeripheral::receive(std::uint8_t value, McuTime arrival, std::uint32_t hostBaud) {
    arrivals_.push_back({arrival, value, hostBaud});
}

bool SerialPeripheral::waitingForHost() const {
    return receiving() && arrivals_.empty() && !full_;
}

// Moves the bytes that have arrived by now into the data register.
bool SerialPeripheral::settle() {
    const std::uint32_t before = status();
    while (!arrivals_.empty() && arrivals_.front().at <= context_.now) {
        if (full_ && !context_.timed())
            break;  // without timing the line waits for the program
        const Arrival arrival = arrivals_.front();
        arrivals_.pop_front();
        if (!receiving())
            continue;  // nobody listens: the byte is gone
        if (!pins_.receivePinIsInput()) {
            context_.fail("receives while port A pin 10 is not an input");
            continue;
        }
        if (full_) {
            overrun_ = true;
            continue;
        }
        const bool good = matches(arrival.hostBaud);
        data_ = good ? arrival.value : garble(arrival.value);
        framingError_ = !good;
        full_ = true;
    }
    return status() != before;
}

std::uint32_t SerialPeripheral::status() const {
    const McuTime now = context_.now;
    return (now >= lastStart_ ? 0x80u : 0u) | (now >= lastEnd_ ? 0x40u : 0u) |
           (full_ ? 0x20u : 0u) | (overrun_ ? 0x08u : 0u) | (framingError_ ? 0x02u : 0u);
}

std::optional<std::uint32_t> SerialPeripheral::read(std::uint32_t offset) {
    if (!clocked())
        return 0;
    switch (offset) {
        case 0x00:
            settle();
            return status();
        case 0x04: {
            settle();
            const bool parity = std::popcount(unsigned(data_)) % 2 != 0;  // even parity's bit
            const std::uint32_t value = data_ | (cr1_ & (1u << 12) && parity ? 0x100u : 0u);
            full_ = overrun_ = framingError_ = false;
            return value;
        }
        case 0x08:
            return brr_;
        case 0x0C:
            return cr1_;
        case 0x10:
            return cr2_;
        case 0x14:
            return cr3_;
        case 0x18:
            return gtpr_;
        default:
            return std::nullopt;
    }
}

bool SerialPeripheral::write(std::uint32_t offset, std::uint32_t value) {
    if (!clocked())
        return true;
    switch (offset) {
        case 0x00:
            return true;  // flags clear by reading; writes change nothing the helper uses
        case 0x04:
            return writeData(value);
        case 0x08:
            if (context_.now < lastEnd_)
                context_.fail("changes the baud rate while a byte is still being sent");
            brr_ = value & 0xFFFF;
            return true;
        case 0x0C:
            return writeControl1(value);
        case 0x10:
            cr2_ = value;
            return true;
        case 0x14:
            if (value != 0)
                context_.fail("sets USART1 CR3 to " + hexWord(value) +
                              ": flow control and DMA are not modelled");
            cr3_ = value;
            return true;
        case 0x18:
            gtpr_ = value;
            return true;
        default:
            return false;
    }
}

bool SerialPeripheral::writeControl1(std::uint32_t value) {
    if (value & kUnmodelledControl1)
        context_.fail("sets USART1 CR1 bits " + hexWord(value & kUnmodelledControl1) +
                      " (interrupts, break, wake-up), which the helper must not use");
    if ((cr1_ & kEnable) && !(value & kEnable))
        full_ = overrun_ = framingError_ = false;
    cr1_ = value & 0x3FFF;
    return true;
}

bool SerialPeripheral::writeData(std::uint32_t value) {
    if ((cr1_ & (kEnable | kTransmit)) != (kEnable | kTransmit)) {
        context_.fail("writes USART1's data register with the transmitter off");
        return true;
    }
    if (!pins_.transmitPinConnected()) {
        context_.fail("sends while port A pin 9 is not USART1's alternate-function output");
        return true;
    }
    if (context_.now < lastStart_) {
        context_.fail("writes USART1's data register while it is still full");
        return true;
    }
    const McuTime start = std::max(context_.now, lastEnd_);
    lastStart_ = start;
    lastEnd_ = start + context_.lasting(byteTime());
    sent_.push_back({start, std::uint8_t(value), byteTime(), !matches(hostBaud_)});
    return true;
}

std::optional<McuTime> SerialPeripheral::nextEvent() const {
    std::optional<McuTime> next;
    if (!arrivals_.empty())
        next = ahead(arrivals_.front().at, context_.now);
    next = earliest(next, ahead(lastStart_, context_.now));
    return earliest(next, ahead(lastEnd_, context_.now));
}

std::optional<McuTime> SerialPeripheral::nextArrival() const {
    if (arrivals_.empty())
        return std::nullopt;
    return arrivals_.front().at;
}

std::vector<SerialPeripheral::Sent> SerialPeripheral::takeSent() {
    std::vector<Sent> out;
    out.swap(sent_);
    return out;
}

}  // namespace pellion::sim::mcu
