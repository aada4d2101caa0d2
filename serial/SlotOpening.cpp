#include "serial/SlotOpening.h"

namespace pellion {

SlotOpenResult OpenSlotPort(PortSlot& slot, SerialOwner& owner, std::uint32_t baud,
                            std::uint32_t writePauseMs) {
    CSerialPort& port = slot.ports;
    switch (CSerialPort::ProbePort(slot.devicePath)) {
        case PortAccess::Free:
            break;
        case PortAccess::Busy:
            return SlotOpenResult::Busy;
        case PortAccess::Absent:
            return SlotOpenResult::Absent;
        case PortAccess::NotATerminal:
            return SlotOpenResult::NotATerminal;
        case PortAccess::Denied:
            return SlotOpenResult::Denied;
    }
    // Another opener may take the port between the test and the open: that is busy too.
    if (!port.OpenPort(&owner, slot.devicePath, std::uint32_t(slot.comNumber), baud,
                       writePauseMs)) {
        return SlotOpenResult::Busy;
    }
    port.SetTimeouts(CommTimeouts::uniform(kSlotPortTimeoutMs));
    if (!port.StartMonitor()) {
        port.StopAndClose();
        return SlotOpenResult::NoMonitor;
    }
    return SlotOpenResult::Opened;
}

void CloseSlotPort(PortSlot& slot) {
    slot.ports.StopAndClose();
}

}  // namespace pellion
