#pragma once

#include <cstddef>
#include <cstdint>

namespace pellion {

// The common CRC-32 (reflected polynomial 0xEDB88320, initial and final XOR 0xFFFFFFFF), so an
// image's figure can be compared with what everyday tools print for the same bytes.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t previous = 0);

}  // namespace pellion
