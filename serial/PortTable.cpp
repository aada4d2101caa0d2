#include "serial/PortTable.h"

#include <cassert>

namespace pellion {

std::int32_t ParseComNumber(std::string_view portName) {
    // Only the two characters after "COM" count, as leading decimal digits.
    std::int32_t number = 0;
    for (std::size_t i = 3; i < 5 && i < portName.size(); ++i) {
        char c = portName[i];
        if (c < '0' || c > '9')
            break;
        number = number * 10 + (c - '0');
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
    image.release();
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
