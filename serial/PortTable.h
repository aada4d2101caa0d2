#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "engine/SlotRun.h"
#include "serial/CSerialPort.h"

namespace pellion {

// The number of a port name, shown in serial error texts: the decimal digits that end the name
// (COM12, ttyUSB12, /tmp/chips/chip12 give 12); 0 when the name does not end in a digit.
std::int32_t ParseComNumber(std::string_view portName);

// A port as the list shows it (name) and as it is opened (device path).
struct PortIdentity {
    std::string portName;
    std::string devicePath;
};

// Everything known about one port. Slot i is row i of the port list.
struct PortSlot {
    static constexpr int kPageListSize = 2000;
    static constexpr std::uint8_t kEraseCommand = 0x43;
    static constexpr std::uint8_t kExtendedEraseCommand = 0x44;

    std::string portName;    // the text of the port column
    std::string devicePath;  // what the port is opened by

    CSerialPort ports;           // the slot's serial port, constructed closed
    std::int32_t comNumber = 0;  // ParseComNumber(portName); shown in texts, never a key
    std::int32_t state = 0;      // the slot's state machine state (engine's PortState)
    DeviceGeometry geometry{};   // identified or chosen device; all 0 until then
    std::string partName;        // identified or chosen device; empty until then
    std::array<std::uint8_t, 16> optionBytes{};
    std::uint8_t eraseCommand = kEraseCommand;
    std::array<std::uint16_t, kPageListSize> pageList{};
    std::uint32_t writeAddress = 0;  // target of the next write block
    std::uint32_t imageCursor = 0;   // offset of the next byte to send in the cycle's image
    std::int32_t readUnprotectAllowed = 1;

    // Engine-only per-slot fields may be added below this line.
    SlotRun run;
};

// The per-port table. Owner thread only; no locks.
class PortTable {
  public:
    PortTable() = default;
    ~PortTable();
    PortTable(const PortTable&) = delete;
    PortTable& operator=(const PortTable&) = delete;

    // Creates one slot per port, in the given order, with its initial values. Frees a table
    // that still exists first (its ports are closed).
    void BuildPortTable(const std::vector<std::string>& portNames);  // paths = names
    void BuildPortTable(const std::vector<PortIdentity>& ports);
    // Closes every port and destroys every slot, with the images their cycles held. A second
    // call does nothing.
    void FreePortTable();

    bool built() const { return slots_ != nullptr; }
    std::int32_t slotCount() const { return slotCount_; }
    PortSlot& slot(std::int32_t index);
    const PortSlot& slot(std::int32_t index) const;

    // The slot whose port is `port` (by identity), or none. This is how a delivery finds its
    // slot: two ports whose names parse to the same COM number are never confused.
    std::optional<std::int32_t> slotOf(const CSerialPort& port) const;

  private:
    std::unique_ptr<PortSlot[]> slots_;
    std::int32_t slotCount_ = 0;
};

}  // namespace pellion
