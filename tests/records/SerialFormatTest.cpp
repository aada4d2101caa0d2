#include <gtest/gtest.h>

#include "records/SerialFormat.h"

namespace pellion::records {
namespace {

std::string text(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

SerialFormat parsed(std::string_view text) {
    auto p = ParseSerialFormat(text);
    EXPECT_TRUE(p.format.has_value()) << text << ": " << p.problem;
    return p.format.value_or(SerialFormat{});
}

TEST(SerialFormatTest, WritesTheNumberInEachFormat) {
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(SerialBytes(parsed(""), 0x12345678), (Bytes{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(SerialBytes(parsed("u32le"), 0x12345678), (Bytes{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(SerialBytes(parsed("u32be"), 0x12345678), (Bytes{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(text(SerialBytes(parsed("ascii:PLN-%06u"), 42)), "PLN-000042");
    EXPECT_EQ(text(SerialBytes(parsed("ascii:PLN-%06u"), 4294967295u)), "PLN-4294967295");
    EXPECT_EQ(text(SerialBytes(parsed("ascii:%u%%/序号"), 7)), "7%/序号");
    EXPECT_EQ(text(SerialBytes(parsed("ascii:SN%08X."), 0xBEEF)), "SN0000BEEF.");
    EXPECT_EQ(text(SerialBytes(parsed("ascii:[%-4x]"), 0xa)), "[a   ]");

    // The block is whole words, padded as erased flash.
    EXPECT_EQ(text(SerialBlock(parsed("ascii:PLN-%06u"), 42)), "PLN-000042\xFF\xFF");
    EXPECT_EQ(SerialBlock(parsed("u32be"), 1).size(), 4u);
    // The longest block covers the widest number: "PLN-" and ten digits, in four words.
    EXPECT_EQ(LongestSerialBlock(parsed("ascii:PLN-%06u")), 16u);
    EXPECT_EQ(LongestSerialBlock(parsed("ascii:%20u")), 20u);
    EXPECT_EQ(LongestSerialBlock(parsed("u32le")), 4u);
}

TEST(SerialFormatTest, RefusesAnythingElseNamingWhere) {
    const struct {
        const char* text;
        std::size_t position;
    } cases[] = {
        {"u16le", 1},            // no such format
        {"ASCII:%u", 1},         // names are lower case
        {"ascii:PLN-%06d", 14},  // signed field
        {"ascii:PLN-%lu", 12},   // length modifiers are not ours
        {"ascii:%u-%u", 10},     // a second field
        {"ascii:PLN-", 11},      // no field at all
        {"ascii:PLN-%", 12},     // a field cut short
        {"ascii:%s", 8},         // not a number
        {"ascii:A\tB%u", 8},     // control character
        {"ascii:%099u", 10},     // wider than a block allows
    };
    for (const auto& c : cases) {
        auto p = ParseSerialFormat(c.text);
        EXPECT_FALSE(p.format.has_value()) << c.text;
        EXPECT_EQ(p.position, c.position) << c.text << ": " << p.problem;
        EXPECT_NE(p.problem.find("第" + std::to_string(c.position) + "个字符"), std::string::npos)
            << p.problem;
    }
    EXPECT_FALSE(ParseSerialFormat("ascii:" + std::string(250, 'A') + "%u").format.has_value());
}

}  // namespace
}  // namespace pellion::records
