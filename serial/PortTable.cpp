#include "serial/PortTable.h"

#include <cassert>
#include <cstdint>

namespace pellion {

std::int32_t ParseComNumber(std::string_view portName) {
    // The digits that end the name: COM12, ttyUSB12 and chip12 are all port 12. A name is
    // shown with the number, so an absurdly long run of digits only needs to stay in range.
    std::size_t first = portName.size();
    while (first > 0 && portName[first - 1] >= '0' && portName[first - 1] <= '9')
        --first;
    std::int32_t number = 0;
    for (std::size_t i = first; i < portName.size(); ++i) {
        if (number > (INT32_MAX - 9) / 10)
            return number;
        number = number * 10 + (portName[i] - '0');
    }
    return number;
}

PortTable::~PortTable() {
    FreePortTable();
}

void PortTable::BuildPortTable(const std::vector<std::string>& portNames) {
    std::vector<PortIdentity> ports;
    ports.reserve(portNames.size());
    for (const auto& name : portNames)
        ports.push_back({name, name});
    BuildPortTable(ports);
}

void PortTable::BuildPortTable(const std::vector<PortIdentity>& ports) {
    FreePortTable();
    slotCount_ = static_cast<std::int32_t>(ports.size());
    slots_ = std::make_unique<PortSlot[]>(ports.size());
    for (std::int32_t i = 0; i < slotCount_; ++i) {
        PortSlot& s = slots_[i];
        s.portName = ports[i].portName;
        s.devicePath = ports[i].devicePath;
        s.comNumber = ParseComNumber(s.portName);
    }
}

void PortTable::FreePortTable() {
    if (slots_) {
        // Close every port before any slot goes, so no monitor thread outlives its slot.
        for (std::int32_t i = 0; i < slotCount_; ++i)
            slots_[i].ports.StopAndClose();
        slots_.reset();
    }
    slotCount_ = 0;
}

PortSlot& PortTable::slot(std::int32_t index) {
    assert(index >= 0 && index < slotCount_);
    return slots_[index];
}

const PortSlot& PortTable::slot(std::int32_t index) const {
    assert(index >= 0 && index < slotCount_);
    return slots_[index];
}

std::optional<std::int32_t> PortTable::slotOf(const CSerialPort& port) const {
    for (std::int32_t i = 0; i < slotCount_; ++i) {
        if (&slots_[i].ports == &port)
            return i;
    }
    return std::nullopt;
}

}  // namespace pellion
