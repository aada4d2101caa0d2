#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pellion {

// The RAM helper's machine code, built from helper/ with the cross compiler. Write Memory loads
// it at kHelperLoadAddress (engine/HelperCodec.h) and Go at that same address starts it.

// False when the build had no cross compiler: fast programming is then unavailable.
bool HelperAvailable();
// As linked: vector table, parameter block (defaults 115200 baud, PLL on), code.
std::span<const std::uint8_t> HelperImageAsBuilt();
// The image for a line at `baud` (the speed the bootloader was synchronised at), the core on
// the 64 MHz PLL or on its 8 MHz oscillator. A multiple of 4 bytes; empty when unavailable.
std::vector<std::uint8_t> HelperImageFor(std::uint32_t baud, bool usePll = true);

}  // namespace pellion
