#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellion {

// A per-chip block (a serial number) written after the image, at an address of its own, in one
// Write Memory frame; read back with the image. The image stays the same for every chip.
struct SerialBlockPlan {
    std::uint32_t address = 0;
    // The longest block any chip can get: the pages it may touch are erased with the image's.
    std::uint32_t reservedBytes = 0;
};

// A cycle's block as its source answered: the bytes (a whole number of words), or why there
// are none, in the operator's words.
struct SerialBlockAnswer {
    std::vector<std::uint8_t> bytes;
    std::string problem;
};

}  // namespace pellion
