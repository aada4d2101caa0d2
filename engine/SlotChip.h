#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/DeviceCatalogue.h"
#include "engine/BootloaderCodec.h"
#include "engine/SlotEvents.h"

namespace pellion {

// What is known of the chip in a slot's socket: what its identification found, or the model
// the operator chose for it. It starts afresh with every identification, so a chip that takes
// another's place inherits nothing of it.
struct SlotChip {
    DeviceGeometry geometry{};  // all 0 until identified or chosen
    std::string partName;       // empty until identified or chosen
    std::uint8_t eraseCommand = BootloaderCommand::Erase;
    std::string deviceCode;      // as reported, when it was
    bool namedItself = false;    // its device code is in the catalogue: never re-geometried
    bool awaitingModel = false;  // identification ended without a usable code
    bool unknownDevice = false;  // awaiting a model after a code the catalogue does not know
    // Asked for by the cycle's inputs (SlotInputs::readUniqueId).
    std::optional<ChipUniqueId> uniqueId;
    bool uniqueIdRefused = false;  // refused in a row: the chip is readout-protected
    // A readout unprotect erased the whole chip once: never again on it.
    bool readUnprotectAllowed = true;
    // A boot sequence holds its board's DTR and RTS away from rest (BOOT0 raised).
    bool linesDriven = false;
};

}  // namespace pellion
