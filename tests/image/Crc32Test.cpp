#include "image/Crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace pellion {
namespace {

TEST(Crc32Test, KnownValuesAndChaining) {
    const std::string check = "123456789";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(crc32(bytes, check.size()), 0xCBF43926u);
    EXPECT_EQ(crc32(bytes, 0), 0u);
    const std::uint8_t zeros[4] = {};
    EXPECT_EQ(crc32(zeros, 4), 0x2144DF1Cu);
    // Feeding the bytes in two pieces gives the same figure as all at once.
    EXPECT_EQ(crc32(bytes + 4, 5, crc32(bytes, 4)), 0xCBF43926u);
}

}  // namespace
}  // namespace pellion
