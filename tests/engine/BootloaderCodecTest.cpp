#include "engine/BootloaderCodec.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace pellion {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const Frame& frame) {
    return Bytes(frame.bytes.begin(), frame.bytes.begin() + frame.length);
}

DeviceGeometry geometry64KiB() {
    return {64, 4, 1024, 64, 0};
}
DeviceGeometry geometry1MiB() {
    return {1024, 2, 2048, 384, 1};
}

std::uint8_t xorAll(const Bytes& bytes, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum ^= bytes[i];
    return sum;
}

TEST(BootloaderCodec, CommandAddressAndCountFrames) {
    Frame frame;
    MakeCommandFrame(0x44, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x44, 0xBB}));
    MakeCommandFrame(BootloaderCommand::GetDeviceCode, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x06, 0xF9}));
    MakeCommandFrame(BootloaderCommand::ReadoutUnprotect, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x92, 0x6D}));

    MakeAddressFrame(kOptionBytesAddress, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x1F, 0xFF, 0xF8, 0x00, 0x18}));
    MakeAddressFrame(kFlashBase, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x08, 0x00, 0x00, 0x00, 0x08}));
    MakeAddressFrame(0x12345678, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x12, 0x34, 0x56, 0x78, 0x12 ^ 0x34 ^ 0x56 ^ 0x78}));

    MakeReadCountFrame(16, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x0F, 0xF0}));
    MakeReadCountFrame(256, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0xFF, 0x00}));
    MakeReadCountFrame(1, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x00, 0xFF}));
}

TEST(BootloaderCodec, PageListAndStandardEraseOfASmallImage) {
    std::array<std::uint16_t, kMaxPageListSize> pages{};
    const auto result = BuildPageList(geometry64KiB(), kFlashBase, 3000, pages);
    EXPECT_EQ(result.pageCount, 3);
    EXPECT_EQ(result.endAddress, kFlashBase + 0xBB7);
    EXPECT_TRUE(result.fitsList);
    EXPECT_EQ(pages[0], 0);
    EXPECT_EQ(pages[2], 2);

    Frame frame;
    MakeEraseFrame(BootloaderCommand::Erase, pages, result.pageCount, frame);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x02, 0x00, 0x01, 0x02, 0x01}));
}

TEST(BootloaderCodec, PageListAcrossTheUniformPageBoundaryAndExtendedErase) {
    std::array<std::uint16_t, kMaxPageListSize> pages{};
    const auto result = BuildPageList(geometry1MiB(), kFlashBase, 600 * 1024, pages);
    EXPECT_EQ(result.pageCount, 278);
    EXPECT_EQ(result.endAddress, kFlashBase + 600 * 1024 - 1);
    EXPECT_EQ(pages[255], 255);
    EXPECT_EQ(pages[256], 256);
    EXPECT_EQ(pages[277], 277);

    Frame frame;
    MakeEraseFrame(BootloaderCommand::ExtendedErase, pages, result.pageCount, frame);
    ASSERT_EQ(frame.length, 559);
    const Bytes bytes = bytesOf(frame);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), (Bytes{0x01, 0x15, 0x00, 0x00, 0x00, 0x01}));
    // Page 277 = 0x0115, last before the checksum.
    EXPECT_EQ(bytes[556], 0x01);
    EXPECT_EQ(bytes[557], 0x15);
    EXPECT_EQ(bytes[558], xorAll(bytes, 558));
}

TEST(BootloaderCodec, PageListOfAnImageLongerThanTheFlashIsClippedAndUnalignedStartsCount) {
    std::array<std::uint16_t, kMaxPageListSize> pages{};
    const auto geometry = geometry64KiB();
    auto result = BuildPageList(geometry, kFlashBase, 100 * 1024, pages);
    EXPECT_EQ(result.endAddress, LastFlashAddress(geometry));
    EXPECT_EQ(result.pageCount, geometry.pageCount);
    EXPECT_EQ(pages[result.pageCount - 1], geometry.pageCount - 1);

    // Two bytes straddling a page boundary need both pages.
    result = BuildPageList(geometry, kFlashBase + 1023, 2, pages);
    EXPECT_EQ(result.pageCount, 2);
    EXPECT_EQ(pages[0], 0);
    EXPECT_EQ(pages[1], 1);

    // A list too small for the image says so and stores only what fits.
    std::array<std::uint16_t, 4> shortList{};
    result = BuildPageList(geometry, kFlashBase, 6 * 1024, shortList);
    EXPECT_EQ(result.pageCount, 6);
    EXPECT_FALSE(result.fitsList);
    EXPECT_EQ(shortList[3], 3);
}

TEST(BootloaderCodec, WriteBlocksCutAndPadTheImage) {
    Bytes image(401);
    std::iota(image.begin(), image.end(), std::uint8_t{0});
    const std::uint32_t end = kFlashBase + 400;
    Frame frame;

    int consumed = MakeNextWriteBlock(image, kFlashBase, end, frame);
    ASSERT_EQ(consumed, 200);
    ASSERT_EQ(frame.length, 202);
    Bytes bytes = bytesOf(frame);
    EXPECT_EQ(bytes[0], 0xC7);
    EXPECT_EQ(bytes[1], image[0]);
    EXPECT_EQ(bytes[200], image[199]);
    EXPECT_EQ(bytes[201], xorAll(bytes, 201));

    consumed = MakeNextWriteBlock(std::span(image).subspan(200), kFlashBase + 200, end, frame);
    ASSERT_EQ(consumed, 201);
    ASSERT_EQ(frame.length, 206);  // 204 data bytes
    bytes = bytesOf(frame);
    EXPECT_EQ(bytes[0], 203);
    EXPECT_EQ(bytes[201], image[400]);
    EXPECT_EQ(bytes[202], 0xFF);
    EXPECT_EQ(bytes[204], 0xFF);
    EXPECT_EQ(bytes[205], xorAll(bytes, 205));

    // Exactly 200 bytes: one last block (remaining 199 is not above 200).
    consumed = MakeNextWriteBlock(std::span(image).first(200), kFlashBase, kFlashBase + 199, frame);
    EXPECT_EQ(consumed, 200);
    EXPECT_EQ(frame.length, 202);
    EXPECT_EQ(frame.bytes[0], 199);
}

TEST(BootloaderCodec, OneByteImageIsPaddedToFourBytes) {
    const Bytes image{0x5A};
    Frame frame;
    EXPECT_EQ(MakeNextWriteBlock(image, kFlashBase, kFlashBase, frame), 1);
    EXPECT_EQ(bytesOf(frame), (Bytes{0x03, 0x5A, 0xFF, 0xFF, 0xFF,
                                     std::uint8_t(0x03 ^ 0x5A ^ 0xFF ^ 0xFF ^ 0xFF)}));
}

TEST(BootloaderCodec, WriteBlockNeverReadsPastTheImage) {
    const Bytes image(10, 0x11);
    Frame frame;
    // An end address beyond the image (a caller's mistake) still takes only the 10 bytes.
    EXPECT_EQ(MakeNextWriteBlock(image, kFlashBase, kFlashBase + 5000, frame), 10);
    EXPECT_EQ(frame.length, 14);
    EXPECT_EQ(MakeNextWriteBlock({}, kFlashBase, kFlashBase + 5, frame), 0);
    EXPECT_EQ(frame.length, 0);
}

TEST(BootloaderCodec, OptionByteFrames) {
    OptionBytes allFF;
    allFF.fill(0xFF);
    Frame frame;
    MakeReadProtectFrame(allFF, frame);
    Bytes expected(18, 0xFF);  // m-1, FF 00, the other 14 kept, checksum
    expected[0] = 0x0F;
    expected[2] = 0x00;
    expected[17] = 0xF0;
    EXPECT_EQ(bytesOf(frame), expected);

    OptionBytes image{};
    std::iota(image.begin(), image.end(), std::uint8_t{0xA0});
    MakeOptionBytesFrame(image, frame);
    ASSERT_EQ(frame.length, 18);
    EXPECT_EQ(frame.bytes[0], 0x0F);
    EXPECT_EQ(frame.bytes[1], 0xA0);
    EXPECT_EQ(frame.bytes[16], 0xAF);
    EXPECT_EQ(frame.bytes[17], xorAll(bytesOf(frame), 17));

    // Readout protection keeps the write-protection bytes that were read.
    image[8] = 0x12;
    MakeReadProtectFrame(image, frame);
    EXPECT_EQ(frame.bytes[1], 0xFF);
    EXPECT_EQ(frame.bytes[2], 0x00);
    EXPECT_EQ(frame.bytes[9], 0x12);
}

TEST(BootloaderCodec, DeviceCodeIsTakenFromBytesTwoToFive) {
    const std::uint8_t answer[7] = {ACK, 0x03, '1', 'R', 'C', 'B', ACK};
    EXPECT_EQ(ParseDeviceCode(answer), DeviceCode("1RCB"));
    const std::uint8_t onlyAck[7] = {ACK};
    EXPECT_EQ(ParseDeviceCode(onlyAck).text(), std::string(4, '\0'));
}

TEST(BootloaderCodec, WriteProtectionOfStartAndOfEveryRegionTheImageCovers) {
    OptionBytes option;
    option.fill(0xFF);
    EXPECT_FALSE(IsStartWriteProtected(option, kFlashBase));
    EXPECT_FALSE(IsRangeWriteProtected(option, kFlashBase, kFlashBase + 0x1FFFF));

    option[8] = 0xFE;  // bit 0: first 4 KiB
    EXPECT_TRUE(IsStartWriteProtected(option, kFlashBase));
    EXPECT_FALSE(IsStartWriteProtected(option, kFlashBase + 0x1000));

    option[8] = 0xFF;
    option[10] = 0xFB;  // bit 10: 0x0800A000..0x0800AFFF
    EXPECT_FALSE(IsStartWriteProtected(option, kFlashBase));
    EXPECT_TRUE(IsRangeWriteProtected(option, kFlashBase, kFlashBase + 0xA000));
    EXPECT_FALSE(IsRangeWriteProtected(option, kFlashBase, kFlashBase + 0x9FFF));
    EXPECT_TRUE(IsStartWriteProtected(option, kFlashBase + 0xAFFF));
    EXPECT_FALSE(IsRangeWriteProtected(option, kFlashBase + 0xB000, kFlashBase + 0xFFFF));

    option[10] = 0xFF;
    option[14] = 0x7F;  // bit 31 covers the rest of a large chip
    EXPECT_TRUE(IsStartWriteProtected(option, kFlashBase + 31 * 4096));
    EXPECT_TRUE(IsStartWriteProtected(option, kFlashBase + 512 * 1024));
    EXPECT_FALSE(IsRangeWriteProtected(option, kFlashBase, kFlashBase + 31 * 4096 - 1));

    // The option-byte area is covered by no bit.
    option[8] = 0x00;
    EXPECT_FALSE(IsStartWriteProtected(option, kOptionBytesAddress));
    EXPECT_EQ(WriteProtectionWord(option), 0x7FFFFF00u);
}

TEST(BootloaderCodec, BlockSizesAreMultiplesOfFourUpToTheFrameLimit) {
    for (int bytes : {4, 200, 252, 256})
        EXPECT_TRUE(IsValidWriteBlockSize(bytes)) << bytes;
    for (int bytes : {0, 2, 201, 260, -4})
        EXPECT_FALSE(IsValidWriteBlockSize(bytes)) << bytes;
    // 257 bytes at 256: the last block cannot join its neighbour, as it does at 200.
    const Bytes image(257, 0x22);
    Frame frame;
    EXPECT_EQ(MakeNextWriteBlock(image, kFlashBase, kFlashBase + 256, frame, 256), 256);
    EXPECT_EQ(frame.bytes[0], 255);
    EXPECT_EQ(NextWriteBlockLength(std::span(image).subspan(256), kFlashBase + 256,
                                   kFlashBase + 256, 256),
              1);
    EXPECT_TRUE(IsBlank(Bytes(7, 0xFF)));
    EXPECT_FALSE(IsBlank(Bytes{0xFF, 0xFE}));
}

}  // namespace
}  // namespace pellion
