// Compares the address-box parse with the C library's strtol on a 32-bit long, which is what
// the parse is meant to behave like, and checks the strict parse against a formatted value.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/AddressText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);

    // Reference: strtoll reads the same grammar; clamping to the signed 32-bit range gives
    // the saturation of a 32-bit strtol. The text ends at its first NUL for both.
    long long wide = std::strtoll(text.c_str(), nullptr, 16);
    if (wide > INT32_MAX)
        wide = INT32_MAX;
    if (wide < INT32_MIN)
        wide = INT32_MIN;
    auto expected = static_cast<std::uint32_t>(static_cast<std::int32_t>(wide));
    std::uint32_t parsed = pellion::parseAddressText(text.substr(0, text.find('\0')));
    if (parsed != expected) {
        std::fprintf(stderr, "parseAddressText gave %08X, strtol %08X\n", parsed, expected);
        std::abort();
    }

    if (auto strict = pellion::parseStrictAddress(text)) {
        if (pellion::parseStrictAddress(pellion::formatAddressText(*strict)) != strict) {
            std::abort();
        }
    }
    return 0;
}
