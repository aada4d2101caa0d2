#pragma once

#include <cstdint>
#include <optional>

#include "serial/PortTable.h"
#include "serial/SerialOwner.h"

namespace pellion {

enum class SlotOpenResult {
    Opened,
    Busy,          // held by another opener
    Absent,        // no such device
    NotATerminal,  // the path is no serial line
    Denied,        // the user may not open it
    NoMonitor,     // opened, but its monitor thread could not start; closed again
};

// The time-outs a slot's port reads and writes with once it is open, in every field.
inline constexpr std::uint32_t kSlotPortTimeoutMs = 5;

// Opens a slot's port as a tick of its row does: the busy test, the port at `baud` with the
// download interval as write pause, the slot's short time-outs, and the monitor thread. The
// caller starts the chip's identification on success. `idleLines`: DTR and RTS right after the
// open (none: as the port's own opening leaves them).
SlotOpenResult OpenSlotPort(PortSlot& slot, SerialOwner& owner, std::uint32_t baud,
                            std::uint32_t writePauseMs,
                            const std::optional<LineLevels>& idleLines = std::nullopt);

// Closes a slot's port as an untick does; safe on a port that was never opened.
void CloseSlotPort(PortSlot& slot);

}  // namespace pellion
