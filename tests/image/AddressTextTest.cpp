#include "image/AddressText.h"

#include <gtest/gtest.h>

namespace pellion {
namespace {

TEST(AddressTextTest, SignedHexWithSaturation) {
    struct Case {
        const char* text;
        std::uint32_t value;
    } cases[] = {
        {"8000000", 0x08000000u},
        {"1FFFF800", 0x1FFFF800u},
        {"1ffff800", 0x1FFFF800u},
        {"0x08000000", 0x08000000u},
        {"0X1fffF800", 0x1FFFF800u},
        {"  \t8000000", 0x08000000u},
        {"+ff", 0xFFu},
        {"-1", 0xFFFFFFFFu},
        {"-0x10", 0xFFFFFFF0u},
        {"7FFFFFFF", 0x7FFFFFFFu},
        {"80000000", 0x7FFFFFFFu},  // beyond the signed range: saturates
        {"FFFFFFFFFFFF", 0x7FFFFFFFu},
        {"-80000000", 0x80000000u},
        {"-80000001", 0x80000000u},
        {"-FFFFFFFFFF", 0x80000000u},
        {"8000000 trailing", 0x08000000u},
        {"12g34", 0x12u},
        {"", 0u},
        {"   ", 0u},
        {"zz", 0u},
        {"-", 0u},
        {"0x", 0u},    // the 0 is the number, x stops it
        {"0xg1", 0u},  // likewise
        {"x10", 0u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseAddressText(c.text), c.value) << '"' << c.text << '"';
}

TEST(AddressTextTest, StrictFormRefusesAnythingButOneNumber) {
    EXPECT_EQ(parseStrictAddress("8000000"), 0x08000000u);
    EXPECT_EQ(parseStrictAddress("0x1FFFF800"), 0x1FFFF800u);
    EXPECT_EQ(parseStrictAddress("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parseStrictAddress("0000000008000000"), 0x08000000u);
    EXPECT_EQ(parseStrictAddress("0"), 0u);
    EXPECT_FALSE(parseStrictAddress(""));
    EXPECT_FALSE(parseStrictAddress("0x"));
    EXPECT_FALSE(parseStrictAddress("100000000"));
    EXPECT_FALSE(parseStrictAddress("-1"));
    EXPECT_FALSE(parseStrictAddress(" 8000000"));
    EXPECT_FALSE(parseStrictAddress("8000000h"));
}

TEST(AddressTextTest, FormatsAsTheAddressBoxShowsIt) {
    EXPECT_EQ(formatAddressText(0x08000000u), "8000000");
    EXPECT_EQ(formatAddressText(0x1FFFF800u), "1ffff800");
    EXPECT_EQ(formatAddressText(0u), "0");
    EXPECT_EQ(parseAddressText(formatAddressText(0x0800FFC0u)), 0x0800FFC0u);
}

}  // namespace
}  // namespace pellion
