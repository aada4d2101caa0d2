#include "image/AddressText.h"

#include <cstdio>

namespace pellion {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::uint32_t parseAddressText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // "0x" is a prefix only when a hex digit follows; otherwise the 0 is the number.
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexValue(text[i + 2]) >= 0) {
        i += 2;
    }
    const std::int64_t limit = negative ? 0x80000000LL : 0x7FFFFFFFLL;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        int digit = hexValue(text[i]);
        if (digit < 0)
            break;
        magnitude = magnitude * 16 + digit;
        if (magnitude > limit)
            magnitude = limit;  // saturate, keep consuming digits
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

std::optional<std::uint32_t> parseStrictAddress(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    while (text.size() > 1 && text.front() == '0')
        text.remove_prefix(1);
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit = hexValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::string formatAddressText(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", address);
    return text;
}

}  // namespace pellion
