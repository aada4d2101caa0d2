#include "image/HexRecord.h"

#include <gtest/gtest.h>

#include <string>

#include "support/HexFixtures.h"

namespace pellion {
namespace {

TEST(HexRecordTest, ParsesEveryFieldOfADataRecord) {
    HexRecord r;
    ASSERT_EQ(parseHexRecord(":10010000214601360121470136007EFE09D2190140", r), HexLineError::None);
    EXPECT_EQ(r.byteCount, 0x10);
    EXPECT_EQ(r.address, 0x0100);
    EXPECT_EQ(r.type, kHexData);
    EXPECT_EQ(r.data[0], 0x21);
    EXPECT_EQ(r.data[15], 0x01);
    // Lower-case digits are as good as upper-case ones.
    ASSERT_EQ(parseHexRecord(":0400ff00deadbeefc5", r), HexLineError::None);
    EXPECT_EQ(r.address, 0x00FF);
    EXPECT_EQ(r.data[3], 0xEF);
}

TEST(HexRecordTest, RefusesMalformedLines) {
    HexRecord r;
    EXPECT_EQ(parseHexRecord("", r), HexLineError::NotARecord);
    EXPECT_EQ(parseHexRecord(":", r), HexLineError::NotARecord);
    EXPECT_EQ(parseHexRecord("020000040800F2", r), HexLineError::NotARecord);
    EXPECT_EQ(parseHexRecord(" :020000040800F2", r), HexLineError::NotARecord);
    // Checksums count: one changed data digit, or a changed checksum, is refused.
    EXPECT_EQ(parseHexRecord(":10010000214601360121470136007EFE09D2190141", r),
              HexLineError::BadChecksum);
    EXPECT_EQ(parseHexRecord(":10010000214601360121470136007EFE09D3190140", r),
              HexLineError::BadChecksum);
    // Non-hex digits anywhere: count, address, data, checksum.
    EXPECT_EQ(parseHexRecord(":1G010000214601360121470136007EFE09D2190140", r),
              HexLineError::BadDigit);
    EXPECT_EQ(parseHexRecord(":10010Z00214601360121470136007EFE09D2190140", r),
              HexLineError::BadDigit);
    EXPECT_EQ(parseHexRecord(":10010000214601360121470136007EFE09D21901 0", r),
              HexLineError::BadDigit);
    EXPECT_EQ(parseHexRecord(":100100002146013601214701360-7EFE09D2190140", r),
              HexLineError::BadDigit);
    // A byte count larger than the digits present, and digits beyond the byte count.
    EXPECT_EQ(parseHexRecord(":20010000214601360121470136007EFE09D2190140", r),
              HexLineError::LengthMismatch);
    EXPECT_EQ(parseHexRecord(":1001000021460136", r), HexLineError::LengthMismatch);
    EXPECT_EQ(parseHexRecord(":10010000214601360121470136007EFE09D219014000", r),
              HexLineError::LengthMismatch);
    EXPECT_EQ(parseHexRecord(":FF", r), HexLineError::LengthMismatch);
    // Types the format does not define, and address records of the wrong size.
    EXPECT_EQ(parseHexRecord(test::hexRecordLine(0x06, 0, {1, 2}), r), HexLineError::UnknownType);
    EXPECT_EQ(parseHexRecord(test::hexRecordLine(kHexExtendedLinear, 0, {8, 0, 0}), r),
              HexLineError::BadAddressRecord);
    EXPECT_EQ(parseHexRecord(test::hexRecordLine(kHexExtendedSegment, 0, {0x10}), r),
              HexLineError::BadAddressRecord);
}

}  // namespace
}  // namespace pellion
