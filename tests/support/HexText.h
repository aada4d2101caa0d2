#pragma once

// Writing Intel HEX text. Header-only so that the benchmarks and fuzz targets, which do not
// link the test support library, write it the same way the tests do.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace pellion::test {

// One Intel HEX record line (without line end), checksum included.
inline std::string hexRecordLine(std::uint8_t type, std::uint16_t address, const std::uint8_t* data,
                                 std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string line = ":";
    line.reserve(11 + 2 * size);
    std::uint8_t sum = 0;
    auto put = [&](std::uint8_t b) {
        sum = static_cast<std::uint8_t>(sum + b);
        line += digits[b >> 4];
        line += digits[b & 15];
    };
    put(static_cast<std::uint8_t>(size));
    put(static_cast<std::uint8_t>(address >> 8));
    put(static_cast<std::uint8_t>(address));
    put(type);
    for (std::size_t i = 0; i < size; ++i) {
        put(data[i]);
    }
    put(static_cast<std::uint8_t>(-sum));
    return line;
}

inline std::string hexRecordLine(std::uint8_t type, std::uint16_t address,
                                 const std::vector<std::uint8_t>& data) {
    return hexRecordLine(type, address, data.data(), data.size());
}

// HEX text for `bytes` at `startAddress`, the way linkers write it: a type-04 record whenever
// the upper address half changes, `recordSize` data bytes a line, an end-of-file record.
inline std::string makeHexText(std::uint32_t startAddress, const std::vector<std::uint8_t>& bytes,
                               int recordSize = 16, const std::string& lineEnd = "\r\n") {
    std::string text;
    long upper = -1;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        std::uint32_t address = startAddress + static_cast<std::uint32_t>(offset);
        if (static_cast<long>(address >> 16) != upper) {
            upper = address >> 16;
            const std::uint8_t base[2] = {static_cast<std::uint8_t>(upper >> 8),
                                          static_cast<std::uint8_t>(upper)};
            text += hexRecordLine(4, 0, base, 2) + lineEnd;
        }
        std::size_t room = 0x10000 - (address & 0xFFFF);
        std::size_t n =
            std::min({static_cast<std::size_t>(recordSize), bytes.size() - offset, room});
        text += hexRecordLine(0, static_cast<std::uint16_t>(address), bytes.data() + offset, n) +
                lineEnd;
        offset += n;
    }
    return text + hexRecordLine(1, 0, nullptr, 0) + lineEnd;
}

}  // namespace pellion::test
