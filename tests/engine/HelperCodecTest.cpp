#include <gtest/gtest.h>

#include "engine/HelperCodec.h"
#include "engine/HelperImage.h"

namespace pellion {
namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
           std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
}

TEST(HelperCodecTest, ImageIsLinkedWhereItIsLoadedAndCarriesTheLineSpeed) {
    if (!HelperAvailable())
        GTEST_SKIP() << "built without the cross compiler";
    const auto image = HelperImageFor(460800, false);
    ASSERT_EQ(image.size() % 4, 0u);
    const std::uint32_t stack = le32(image, 0), entry = le32(image, 4);
    EXPECT_GT(stack, kHelperLoadAddress + image.size()) << "stack above code and data";
    EXPECT_LE(stack, kHelperLoadAddress + HELPER_RAM_BYTES);
    EXPECT_EQ(entry & 1u, 1u) << "a Thumb entry";
    EXPECT_GE(entry, kHelperLoadAddress);
    EXPECT_LT(entry, kHelperLoadAddress + image.size());
    EXPECT_EQ(le32(image, HELPER_PARAM_MAGIC_OFFSET), HELPER_PARAM_MAGIC);
    EXPECT_EQ(le32(image, HELPER_PARAM_BAUD_OFFSET), 460800u);
    EXPECT_EQ(le32(image, HELPER_PARAM_FLAGS_OFFSET), 0u);
    EXPECT_EQ(le32(HelperImageFor(115200), HELPER_PARAM_FLAGS_OFFSET), HELPER_FLAG_PLL);
}

TEST(HelperCodecTest, PagesFramesAndDamagedAnswers) {
    const DeviceGeometry small{256, 2, 2048, 128, 0};
    EXPECT_EQ(HelperErasePages(small, 0x08000100, 0x1000),
              (std::vector<std::uint32_t>{0x08000000, 0x08000800, 0x08001000}));
    const DeviceGeometry large{1024, 2, 2048, 384, 2};  // 4 KiB pages from 512 KiB on
    EXPECT_EQ(HelperErasePages(large, 0x0807F800, 0x2000),
              (std::vector<std::uint32_t>{0x0807F800, 0x08080000, 0x08081000}));
    EXPECT_TRUE(HelperErasePages(small, 0x08000000, 0).empty());

    Frame frame;
    const std::vector<std::uint8_t> data(kHelperChunkBytes + 2, 0x5A);
    EXPECT_EQ(MakeHelperWriteFrame(0x08000000, data, frame), 0) << "larger than a chunk";
    EXPECT_EQ(MakeHelperWriteFrame(0x08000000, std::span(data).first(3), frame), 0) << "odd";
    EXPECT_EQ(MakeHelperWriteFrame(0x08000001, std::span(data).first(4), frame), 0)
        << "odd address";
    EXPECT_EQ(MakeHelperWriteFrame(0x08000000, std::span(data).first(kHelperChunkBytes), frame),
              kHelperChunkBytes);
    EXPECT_EQ(frame.length, int(HELPER_HEADER_BYTES + 4 + kHelperChunkBytes + HELPER_CRC_BYTES));

    // An answer as the helper sends it: Ok to Write at 0x08000200, then one bit off anywhere.
    const std::vector<std::uint8_t> answer = {0x5A, 0x00, 0x03, 0x00, 0x02, 0x00,
                                              0x08, 0x2F, 0x87, 0x3D, 0xFB};
    const auto parsed = ParseHelperAnswer(answer);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->status, HelperStatus::Ok);
    EXPECT_EQ(parsed->command, HELPER_CMD_WRITE);
    EXPECT_EQ(parsed->value, 0x08000200u);
    for (std::size_t i = 0; i < answer.size(); ++i) {
        auto damaged = answer;
        damaged[i] ^= 0x04;
        EXPECT_FALSE(ParseHelperAnswer(damaged)) << "byte " << i;
    }
    EXPECT_FALSE(ParseHelperAnswer(std::span(answer).first(10)));
}

}  // namespace
}  // namespace pellion
