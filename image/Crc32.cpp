#include "image/Crc32.h"

#include <array>

namespace pellion {
namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr auto kTable = makeTable();

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t previous) {
    std::uint32_t c = ~previous;
    for (std::size_t i = 0; i < size; ++i)
        c = kTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace pellion
