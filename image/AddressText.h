#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellion {

// The address box's text as a signed 32-bit hexadecimal number: leading blanks, a sign and a
// "0x" prefix are accepted, reading stops at the first non-digit, no digits give 0, a minus
// sign negates (two's complement) and values beyond the signed range saturate.
std::uint32_t parseAddressText(std::string_view text);

// Strict form for typed input (the command line): the whole text must be one unsigned hex
// number of at most 32 bits, with or without "0x".
std::optional<std::uint32_t> parseStrictAddress(std::string_view text);

// Lower-case hexadecimal without prefix or leading zeros, as the address box shows it.
std::string formatAddressText(std::uint32_t address);

}  // namespace pellion
