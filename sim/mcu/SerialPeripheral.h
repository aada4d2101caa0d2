#pragma once

#include <deque>
#include <vector>

#include "sim/mcu/PortPins.h"

namespace pellion::sim::mcu {

inline constexpr std::uint32_t kUsart1Base = 0x40013800;

// USART1: status, data, divider and control registers. The baud rate is the APB2 clock over
// the divider; bytes on the line take 11 bit times at it. A byte sent or received at a rate
// more than 3 % away from the host's, or in another frame format than 8E1, arrives garbled.
// With timing on, a byte that arrives while the last one has not been read is lost (overrun);
// without timing the line waits for the program.
class SerialPeripheral : public Peripheral {
  public:
    SerialPeripheral(McuContext& context, const ClockController& clocks, const PortPins& pins);

    const char* name() const override { return "USART1"; }
    std::optional<std::uint32_t> read(std::uint32_t offset) override;
    bool write(std::uint32_t offset, std::uint32_t value) override;
    bool isStatus(std::uint32_t offset) const override { return offset == 0x00; }
    std::optional<McuTime> nextEvent() const override;
    void reset();

    // A byte the host sent, with the moment its stop bit arrives and the host's rate.
    void receive(std::uint8_t value, McuTime arrival, std::uint32_t hostBaud);
    void setHostBaud(std::uint32_t baud) { hostBaud_ = baud; }
    // Takes in the bytes that have arrived by now, as the hardware does whether or not the
    // program looks: before time jumps ahead, so that a byte never hides the next. True when
    // that changed the status.
    bool settle();

    struct Sent {
        McuTime start;
        std::uint8_t value = 0;
        nanoseconds perByte{0};
        bool garbled = false;
    };
    std::vector<Sent> takeSent();

    bool enabled() const { return (cr1_ & kEnable) != 0; }
    bool waitingForHost() const;
    // When the next host byte not yet taken in arrives.
    std::optional<McuTime> nextArrival() const;
    std::uint32_t baud() const;

  private:
    struct Arrival {
        McuTime at;
        std::uint8_t value;
        std::uint32_t hostBaud;
    };
    static constexpr std::uint32_t kEnable = 1u << 13;
    static constexpr std::uint32_t kTransmit = 1u << 3;
    static constexpr std::uint32_t kReceive = 1u << 2;

    bool clocked();
    bool receiving() const { return (cr1_ & (kEnable | kReceive)) == (kEnable | kReceive); }
    bool matches(std::uint32_t hostBaud) const;
    std::uint32_t status() const;
    bool writeData(std::uint32_t value);
    bool writeControl1(std::uint32_t value);
    nanoseconds byteTime() const;

    McuContext& context_;
    const ClockController& clocks_;
    const PortPins& pins_;
    std::uint32_t brr_ = 0, cr1_ = 0, cr2_ = 0, cr3_ = 0, gtpr_ = 0;
    std::uint32_t hostBaud_ = 0;

    std::deque<Arrival> arrivals_;
    bool full_ = false, overrun_ = false, framingError_ = false;
    std::uint8_t data_ = 0;
    McuTime lastStart_{}, lastEnd_{};
    std::vector<Sent> sent_;
};

}  // namespace pellion::sim::mcu
