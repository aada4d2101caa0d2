#include "serial/SlotOpening.h"

namespace pellion {

SlotOpenResult OpenSlotPort(PortSlot& slot, SerialOwner& owner, std::uint32_t baud,
                            std::uint32_t writePauseMs,
                            const std::optional<LineLevels>& idleLines) {
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
    // The test cannot see every opener, and another may come between the test and the open:
    // the open says why it failed.
    const auto opened = port.OpenPort(&owner, slot.devicePath, std::uint32_t(slot.comNumber), baud,
                                      writePauseMs, idleLines);
    switch (opened.kind) {
        case SerialErrorKind::None:
            break;
        case SerialErrorKind::Absent:
        case SerialErrorKind::Gone:
            return SlotOpenResult::Absent;
        case SerialErrorKind::NotATerminal:
            return SlotOpenResult::NotATerminal;
        case SerialErrorKind::Denied:
            return SlotOpenResult::Denied;
        default:
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
