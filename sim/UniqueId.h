#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pellion::sim {

// The 96-bit identity a chip carries in system memory (0x1FFFF7E8), laid out as on real parts:
// wafer X and Y coordinates (bytes 0..3), wafer number (byte 4), lot number in ASCII (5..11).
using UniqueId = std::array<std::uint8_t, 12>;

// The id of the `sequence`-th chip (0 for the first) that sits in the socket with number
// `socketNumber`. The same three values always give the same id; within one seed, different
// sockets or sequences never share an id (up to 2^11 sockets and 2^24 chips per socket).
UniqueId makeUniqueId(std::uint64_t seed, std::uint32_t socketNumber, std::uint32_t sequence);

// 24 hexadecimal digits, the byte at the lowest address first.
std::string uniqueIdText(const UniqueId& id);

}  // namespace pellion::sim
