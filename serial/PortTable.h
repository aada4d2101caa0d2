#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CycleResult.h"
#include "engine/SlotChip.h"
#include "engine/SlotCycle.h"
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

// One port's slot: row i of the port list. Its parts last as long as they should: the port as
// long as the table, what is known of the chip until the next identification, the state
// machine's scratch and the cycle's result for one cycle each, so a cycle starts cleanly.
struct PortSlot {
    std::string portName;        // the text of the port column
    std::string devicePath;      // what the port is opened by
    CSerialPort ports;           // the slot's serial port, constructed closed
    std::int32_t comNumber = 0;  // ParseComNumber(portName); shown in texts, never a key

    SlotChip chip;       // the chip in the socket (engine/SlotChip.h)
    SlotCycle cycle;     // the state machine's scratch (engine/SlotCycle.h)
    CycleResult result;  // what the cycle came to (engine/CycleResult.h)
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
