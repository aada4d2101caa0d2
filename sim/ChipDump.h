#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/ChipSnapshot.h"
#include "sim/VirtualChip.h"

namespace pellion::sim {

// The name a chip's dump files start with: "chipK" for the first chip of socket K, "chipK-N"
// for the chip with sequence number N that came after it.
std::string chipDumpName(std::size_t index, std::uint32_t sequence);

// Writes NAME.flash.bin, NAME.option.bin and NAME.json (the one-line summary) into `dir`,
// creating the directory if needed; an empty socket writes nothing. Returns an error text,
// empty on success.
std::string writeChipDump(const std::string& dir, const ChipSnapshot& chip, std::size_t index);
// The chip now in socket `index`.
std::string writeChipDump(const std::string& dir, const VirtualChip& chip, std::size_t index);
// Every chip that passed through the socket: those that left it, then the one in it.
std::string writeSocketDumps(const std::string& dir, const VirtualChip& chip, std::size_t index);

}  // namespace pellion::sim
