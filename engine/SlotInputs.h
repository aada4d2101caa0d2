#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/BootSequence.h"
#include "engine/SerialBlock.h"
#include "engine/WritePlan.h"
#include "image/FirmwareImage.h"

namespace pellion {

// What a slot's cycle needs from the operator, taken as values when the cycle starts: the
// engine never reads the surface's controls while it runs. The image is shared by the cycles
// of one run and never changes under them.
struct SlotInputs {
    std::uint32_t baud = 57600;
    std::uint32_t writePauseMs = 0;  // the download interval
    std::string model;               // chosen by hand; empty when none was
    std::shared_ptr<const FirmwareImage> image;
    bool verify = false;
    bool protect = false;  // readout protection once the image is on the chip
    WritePlan write;       // the station's block size and blank blocks
    // Read the chip's unique ID when it names itself (for records); normal mode does not.
    bool readUniqueId = false;
    // DTR and RTS: the entry before SYNC when the port opens, the exit in place of Go.
    BootSequences boot;
    // A per-chip block (a serial number) written after the image; its bytes come from the
    // machine's serial source when the cycle starts.
    std::optional<SerialBlockPlan> serial;
};

}  // namespace pellion
