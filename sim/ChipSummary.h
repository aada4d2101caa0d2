#pragma once

#include <cstddef>
#include <string>

#include "sim/VirtualChip.h"

namespace pellion::sim {

// One line of JSON about a chip: its state, protections, the commands it saw, its modelled busy
// time (microseconds) and the faults that happened.
std::string summaryJson(const VirtualChip& chip, std::size_t index);

}  // namespace pellion::sim
