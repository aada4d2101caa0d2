#pragma once

#include <cstddef>
#include <string>

#include "sim/VirtualChip.h"

namespace pellion::sim {

// One line of JSON about a chip: its socket index, sequence number and unique id, its state,
// protections, the commands it saw, its modelled busy time (microseconds) and the faults that
// happened. An empty socket gives its index, device and state "empty" alone.
std::string summaryJson(const ChipSnapshot& chip, std::size_t index);
std::string summaryJson(const VirtualChip& chip, std::size_t index);

}  // namespace pellion::sim
