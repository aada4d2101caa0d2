#include "image/HexImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/HexFixtures.h"

namespace pellion {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::hexRecordLine;

std::string fixtureText(const std::string& name) {
    Bytes bytes = test::readFileBytes(test::fixturePath(name));
    return std::string(bytes.begin(), bytes.end());
}

Bytes rangeOf(const FirmwareImage& image, std::uint32_t address, std::size_t count) {
    std::size_t offset = address - image.startAddress;
    return Bytes(image.imageBytes.begin() + offset, image.imageBytes.begin() + offset + count);
}

const std::string kLinear0800 = hexRecordLine(kHexExtendedLinear, 0, {0x08, 0x00});
const std::string kEnd = hexRecordLine(kHexEndOfFile, 0, {});

std::string lines(const std::vector<std::string>& records, const std::string& end = "\r\n") {
    std::string text;
    for (const auto& r : records)
        text += r + end;
    return text;
}

// Files as toolchains write them, kept under tests/fixtures.
TEST(HexImageTest, TwoSectionsWithAGapLandAtTheirAddresses) {
    auto image = hexToImage(fixtureText("two_sections_gap.hex"));
    ASSERT_TRUE(image) << image.error();
    const FirmwareImage& im = image.value();
    EXPECT_EQ(im.startAddress, 0x08000000u);
    ASSERT_EQ(im.imageSize, 0x400u + 40u);
    EXPECT_EQ(im.imageBytes.size(), im.imageSize);
    for (std::uint32_t i = 0; i < 300; ++i)
        ASSERT_EQ(im.imageBytes[i], i & 0xFF) << i;
    for (std::uint32_t i = 300; i < 0x400; ++i)
        ASSERT_EQ(im.imageBytes[i], 0xFF) << i;
    for (std::uint32_t i = 0; i < 40; ++i)
        ASSERT_EQ(im.imageBytes[0x400 + i], 0xA0 + i) << i;
}

TEST(HexImageTest, ThirtyTwoByteRecordsWithLfAcrossA64KiBBoundary) {
    auto image = hexToImage(fixtureText("records32_lf_cross64k.hex"));
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().startAddress, 0x0800FFC0u);
    ASSERT_EQ(image.value().imageSize, 128u);
    for (std::uint32_t i = 0; i < 128; ++i) {
        ASSERT_EQ(image.value().imageBytes[i], (i * 3) & 0xFF) << i;
    }
}

TEST(HexImageTest, SegmentRecordAddsToTheLinearBase) {
    auto image = hexToImage(fixtureText("segment02_on_linear04.hex"));
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().startAddress, 0x08010000u);
    ASSERT_EQ(image.value().imageSize, 64u);
    EXPECT_EQ(image.value().imageBytes[0], 0x55);
    EXPECT_EQ(image.value().imageBytes[63], 0x55 ^ 63);
}

TEST(HexImageTest, FinalEndRecordWithoutLineEnd) {
    auto image = hexToImage(fixtureText("no_final_newline.hex"));
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().startAddress, 0x08000000u);
    ASSERT_EQ(image.value().imageSize, 48u);
    EXPECT_EQ(image.value().imageBytes[47], 0xF0 - 47);
}

TEST(HexImageTest, RecordsOutOfOrderAreSortedByAddress) {
    auto image = hexToImage(fixtureText("out_of_order.hex"));
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().startAddress, 0x08000000u);
    Bytes expected(64);
    for (int i = 0; i < 64; ++i)
        expected[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(image.value().imageBytes, expected);
    EXPECT_EQ(hexStartAddress(fixtureText("out_of_order.hex")).value(), 0x08000000u);
}

TEST(HexImageTest, OptionBytesAlone) {
    auto image = hexToImage(fixtureText("option_bytes.hex"));
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().startAddress, kOptionBytesAddress);
    ASSERT_EQ(image.value().imageSize, 16u);
    EXPECT_EQ(image.value().imageBytes[0], 0xA5);
    EXPECT_EQ(image.value().imageBytes[1], 0x5A);
}

TEST(HexImageTest, GeneratedImagesRoundTripInEveryRecordSizeAndLineEnd) {
    Bytes data = test::patternBytes(70000);  // crosses a 64 KiB boundary
    for (int recordSize : {1, 16, 32, 255}) {
        for (const char* end : {"\r\n", "\n"}) {
            auto image = hexToImage(test::makeHexText(0x0800F000, data, recordSize, end));
            ASSERT_TRUE(image) << image.error();
            EXPECT_EQ(image.value().startAddress, 0x0800F000u);
            EXPECT_EQ(image.value().imageBytes, data) << recordSize;
        }
    }
}

TEST(HexImageTest, RecordsApartAreNotConcatenated) {
    // 16 bytes at 0x0000 and 16 at 0x0100: the second block belongs 0x100 bytes further on.
    Bytes a(16, 0x11), b(16, 0x22);
    std::string text =
        lines({kLinear0800, hexRecordLine(0, 0x0000, a), hexRecordLine(0, 0x0100, b), kEnd});
    auto image = hexToImage(text);
    ASSERT_TRUE(image) << image.error();
    ASSERT_EQ(image.value().imageSize, 0x110u);
    EXPECT_EQ(rangeOf(image.value(), 0x08000000, 16), a);
    EXPECT_EQ(rangeOf(image.value(), 0x08000010, 0xF0), Bytes(0xF0, 0xFF));
    EXPECT_EQ(rangeOf(image.value(), 0x08000100, 16), b);
}

TEST(HexImageTest, LaterAddressRecordsMoveOnlyTheRecordsAfterThem) {
    std::string text = lines({kLinear0800, hexRecordLine(0, 0xFFF0, Bytes(16, 1)),
                              hexRecordLine(kHexExtendedLinear, 0, {0x08, 0x01}),
                              hexRecordLine(0, 0x0000, Bytes(16, 2)), kEnd});
    auto image = hexToImage(text);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().startAddress, 0x0800FFF0u);
    EXPECT_EQ(image.value().imageSize, 32u);
    EXPECT_EQ(image.value().imageBytes[16], 2);
}

TEST(HexImageTest, EndRecordEndsTheData) {
    std::string text = lines({kLinear0800, hexRecordLine(0, 0, Bytes(4, 7)), kEnd}) +
                       "anything at all after the end\r\n" + hexRecordLine(0, 0x10, Bytes(4, 9));
    auto image = hexToImage(text);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().imageBytes, Bytes(4, 7));
}

TEST(HexImageTest, BlankLinesAndTrailingBlanksAreTolerated) {
    std::string text = "\r\n" + kLinear0800 + "  \r\n\r\n" + hexRecordLine(0, 0, Bytes(4, 7)) +
                       "\t\n" + kEnd + "\r\n\r\n";
    auto image = hexToImage(text);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().imageBytes, Bytes(4, 7));
}

TEST(HexImageTest, BadLinesAreRefusedNamingTheLine) {
    std::string good = hexRecordLine(0, 0, Bytes(16, 3));
    std::string badChecksum = good;
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    std::string badDigit = good;
    badDigit[12] = 'x';
    struct Case {
        std::string line;
        const char* words;
    } cases[] = {
        {badChecksum, "第3行校验和错误"},
        {badDigit, "第3行含有非十六进制字符"},
        {good.substr(0, good.size() - 6), "第3行的长度与字节数不符"},
        {"; a comment", "第3行不是有效的记录"},
        {hexRecordLine(0x07, 0, {}), "第3行的记录类型07无法识别"},
    };
    for (const auto& c : cases) {
        for (const char* end : {"\r\n", "\n"}) {
            // Line 2 is blank so that the count cannot simply be the record index.
            std::string text = kLinear0800 + end + end + c.line + end + kEnd + end;
            auto image = hexToImage(text);
            ASSERT_FALSE(image) << c.line;
            EXPECT_NE(image.error().find(c.words), std::string::npos) << image.error();
        }
    }
}

TEST(HexImageTest, IncompleteOrEmptyFilesAreRefused) {
    std::string data = hexRecordLine(0, 0, Bytes(16, 3));
    auto noEnd = hexToImage(lines({kLinear0800, data}));
    ASSERT_FALSE(noEnd);
    EXPECT_NE(noEnd.error().find("缺少结束记录"), std::string::npos);

    auto noLinear = hexToImage(lines({data, kEnd}));
    ASSERT_FALSE(noLinear);
    EXPECT_NE(noLinear.error().find("扩展线性地址"), std::string::npos);

    auto noData = hexToImage(lines({kLinear0800, kEnd}));
    ASSERT_FALSE(noData);
    EXPECT_NE(noData.error().find("没有数据记录"), std::string::npos);

    EXPECT_FALSE(hexToImage(""));
    EXPECT_FALSE(hexToImage("\r\n\r\n"));
    EXPECT_FALSE(hexStartAddress(lines({kLinear0800, kEnd})));
}

TEST(HexImageTest, SpanLimitIsTheLargestFlash) {
    // First and last byte exactly 3 MiB apart end to end: accepted, padded with 0xFF.
    std::uint32_t lastByte = 0x08000000 + kMaxImageSpan - 1;
    std::string fits = lines({kLinear0800, hexRecordLine(0, 0, {0xAB}),
                              hexRecordLine(kHexExtendedLinear, 0, {0x08, 0x2F}),
                              hexRecordLine(0, lastByte & 0xFFFF, {0xCD}), kEnd});
    auto image = hexToImage(fits);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image.value().imageSize, kMaxImageSpan);
    EXPECT_EQ(image.value().imageBytes.front(), 0xAB);
    EXPECT_EQ(image.value().imageBytes.back(), 0xCD);
    EXPECT_EQ(image.value().imageBytes[1], 0xFF);

    // One byte further is refused, naming both ends.
    std::string tooWide = lines({kLinear0800, hexRecordLine(0, 0, {0xAB}),
                                 hexRecordLine(kHexExtendedLinear, 0, {0x08, 0x30}),
                                 hexRecordLine(0, 0x0000, {0xCD}), kEnd});
    auto refused = hexToImage(tooWide);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("0x08000000"), std::string::npos) << refused.error();
    EXPECT_NE(refused.error().find("0x08300000"), std::string::npos) << refused.error();

    // Far-apart sections fail at once, without allocating the span.
    std::string far =
        lines({kLinear0800, hexRecordLine(0, 0, {1}),
               hexRecordLine(kHexExtendedLinear, 0, {0xF0, 0x00}), hexRecordLine(0, 0, {2}), kEnd});
    EXPECT_FALSE(hexToImage(far));
}

TEST(HexImageTest, OptionBytesMixedWithOtherDataAreRefused) {
    std::string options = hexRecordLine(kHexExtendedLinear, 0, {0x1F, 0xFF}) + "\r\n" +
                          hexRecordLine(0, 0xF800, Bytes(16, 0xFF)) + "\r\n";
    auto withFlash = hexToImage(kLinear0800 + "\r\n" + hexRecordLine(0, 0, Bytes(16, 1)) + "\r\n" +
                                options + kEnd + "\r\n");
    ASSERT_FALSE(withFlash);
    EXPECT_NE(withFlash.error().find("0x1FFFF800"), std::string::npos) << withFlash.error();
    EXPECT_NE(withFlash.error().find("0x08000000"), std::string::npos) << withFlash.error();

    // Near neighbours of the option bytes count as other data too.
    auto withNeighbour =
        hexToImage(options + hexRecordLine(0, 0xF810, Bytes(4, 1)) + "\r\n" + kEnd + "\r\n");
    ASSERT_FALSE(withNeighbour);
    EXPECT_NE(withNeighbour.error().find("选项字节"), std::string::npos);
    auto around = hexToImage(options + hexRecordLine(0, 0xF000, Bytes(4, 1)) + "\r\n" +
                             hexRecordLine(0, 0xF900, Bytes(4, 1)) + "\r\n" + kEnd + "\r\n");
    ASSERT_FALSE(around);
    EXPECT_NE(around.error().find("选项字节"), std::string::npos);
}

TEST(HexImageTest, ConflictingOverlapsAndAddressOverflowAreRefused) {
    auto overlap = hexToImage(lines({kLinear0800, hexRecordLine(0, 0x0000, Bytes(16, 1)),
                                     hexRecordLine(0, 0x0008, Bytes(16, 2)), kEnd}));
    ASSERT_FALSE(overlap);
    EXPECT_NE(overlap.error().find("重叠"), std::string::npos);
    EXPECT_NE(overlap.error().find("第3行"), std::string::npos) << overlap.error();
    EXPECT_NE(overlap.error().find("0x08000008"), std::string::npos) << overlap.error();

    // The same bytes again (a repeated record, or one that covers part of another with equal
    // bytes) are harmless; one differing byte inside a repeat is not.
    Bytes data(16);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = std::uint8_t(i);
    const Bytes tail(data.begin() + 8, data.end());
    auto repeated = hexToImage(
        lines({kLinear0800, hexRecordLine(0, 0x0000, data), hexRecordLine(0, 0x0020, data),
               hexRecordLine(0, 0x0000, data), hexRecordLine(0, 0x0008, tail), kEnd}));
    ASSERT_TRUE(repeated) << repeated.error();
    EXPECT_EQ(repeated.value().imageSize, 0x30u);
    EXPECT_EQ(Bytes(repeated.value().imageBytes.begin(), repeated.value().imageBytes.begin() + 16),
              data);
    Bytes changed = data;
    changed[12] ^= 0x40;
    auto conflict = hexToImage(
        lines({kLinear0800, hexRecordLine(0, 0x0000, data), hexRecordLine(0, 0x0020, data),
               hexRecordLine(0, 0x0000, changed), kEnd}));
    ASSERT_FALSE(conflict);
    EXPECT_NE(conflict.error().find("HEX文件第4行的数据与第2行的数据重叠(地址0x0800000C)!"),
              std::string::npos)
        << conflict.error();

    auto wraps = hexToImage(lines({hexRecordLine(kHexExtendedLinear, 0, {0xFF, 0xFF}),
                                   hexRecordLine(0, 0xFFF8, Bytes(16, 1)), kEnd}));
    ASSERT_FALSE(wraps);
    EXPECT_NE(wraps.error().find("第2行"), std::string::npos) << wraps.error();
    // Ending exactly at the top of the address space is fine.
    EXPECT_TRUE(hexToImage(lines({hexRecordLine(kHexExtendedLinear, 0, {0xFF, 0xFF}),
                                  hexRecordLine(0, 0xFFF0, Bytes(16, 1)), kEnd})));
}

TEST(HexImageTest, StartAddressAndRecordLookup) {
    // 0x0800 in the type-04 record and a first record at 0x0000 give 0x08000000.
    std::string text = fixtureText("two_sections_gap.hex");
    auto start = hexStartAddress(text);
    ASSERT_TRUE(start) << start.error();
    EXPECT_EQ(start.value(), 0x08000000u);
    EXPECT_EQ(hexStartAddress(fixtureText("segment02_on_linear04.hex")).value(), 0x08010000u);

    auto linear = findHexRecord(text, kHexExtendedLinear);
    ASSERT_TRUE(linear);
    EXPECT_EQ(linear.value().data[0], 0x08);
    auto data = findHexRecord(text, kHexData);
    ASSERT_TRUE(data);
    EXPECT_EQ(data.value().address, 0x0000);
    EXPECT_FALSE(findHexRecord(text, kHexExtendedSegment));
    // A broken line before the wanted record stops the search with the broken line's number.
    auto broken = findHexRecord("garbage\r\n" + text, kHexData);
    ASSERT_FALSE(broken);
    EXPECT_NE(broken.error().find("第1行"), std::string::npos);
}

}  // namespace
}  // namespace pellion
