#pragma once

#include <cstddef>
#include <string>

#include "sim/VirtualChip.h"

namespace pellion::sim {

// Writes chipK.flash.bin, chipK.option.bin and chipK.json (the one-line summary) into `dir`,
// creating the directory if needed. Returns an error text, empty on success.
std::string writeChipDump(const std::string& dir, const VirtualChip& chip, std::size_t index);

}  // namespace pellion::sim
