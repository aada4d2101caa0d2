// Bytes corrupted on the line and chips that refuse: nothing a chip sends is trusted blindly,
// and nothing is erased beyond the image on the strength of one refusal.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "engine/BootloaderCodec.h"

namespace pellion::test {
namespace {

// Answer bytes between the run's start and the option bytes: the ACKs of the command, the
// address and the count.
constexpr std::uint64_t kAcksBeforeOptionBytes = 3;

TEST(LineFaults, WriteProtectionHiddenByACorruptedOptionByteIsNotBelieved) {
    // Region 0 is protected: option byte 8 is FE, its complement 01. The line flips byte 8 to
    // FF once. Believed, the chip would acknowledge every write without effect and, without
    // read-back, be reported programmed.
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.writeProtectedRegions = 0x1;
    auto& chip = rig.addChip(options);
    rig.build();
    rig.tickAllAndIdentify();
    const std::uint64_t at = chip.stats().bytesSent + kAcksBeforeOptionBytes + 8;
    chip.configure([&](sim::ChipOptions& o) { o.faults.corruptAnswerByteAt = std::int64_t(at); });
    const auto image = patternImage(3000);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(chip.stats().corruptedBytes, 1u);
    EXPECT_EQ(chip.stats().commandsNamed("readMemory"), 2u);  // read again, then believed
    EXPECT_EQ(chip.writeProtectionWord(), 0xFFFFFFFFu);
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
}

TEST(LineFaults, ARefusedEraseOnAReadableChipNeverErasesTheWholeChip) {
    // The chip refuses every erase command (it knows only the other erase). Its option bytes
    // were read, so it is not readout-protected: a readout unprotect would erase the
    // calibration page far outside the image.
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.geometry = DeviceGeometry{256, 2, 2048, 128, 1};
    auto& chip = rig.addChip(options);
    rig.build();
    rig.tickAllAndIdentify();
    const std::vector<std::uint8_t> calibration{0xCA, 0x11, 0xB0, 0x0B};
    const std::uint32_t calibrationAddress = kFlashBase + 100 * 2048;
    chip.loadFlash(calibrationAddress, calibration);
    rig.setImage(patternImage(3000));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "擦除失败,芯片多次拒绝");
    EXPECT_EQ(chip.stats().commandsNamed("readoutUnprotect"), 0u);
    EXPECT_EQ(chip.stats().commandsNamed("writeUnprotect"),
              std::uint64_t(rig.timing.maxUnprotectRounds));
    EXPECT_EQ(rig.flashOf(0, calibrationAddress, calibration.size()), calibration);
    EXPECT_FALSE(rig.slot(0).result.massErased);
}

TEST(LineFaults, ACorruptedReadBackIsReadAgainAndACorruptedAnswerIsNamedSo) {
    EngineRig rig;
    auto& verified = rig.addChip("1RCB");
    auto& garbled = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    // Chip 1: the ACK of the erase command arrives corrupted.
    const std::uint64_t eraseAck =
        garbled.stats().bytesSent + kAcksBeforeOptionBytes + kOptionByteCount;
    garbled.configure(
        [&](sim::ChipOptions& o) { o.faults.corruptAnswerByteAt = std::int64_t(eraseAck); });
    // Chip 0: a byte of its first read-back chunk arrives corrupted.
    rig.host->onRowChanged = [&](std::int32_t slot, std::int32_t column) {
        if (slot == 0 && column == ColumnRemark &&
            rig.row(0).texts[ColumnRemark] == "正在校验,请稍后.....") {
            const auto at = verified.stats().bytesSent + kAcksBeforeOptionBytes + 10;
            verified.configure(
                [&](sim::ChipOptions& o) { o.faults.corruptAnswerByteAt = std::int64_t(at); });
        }
    };
    const auto image = patternImage(1000);
    rig.setImage(image);
    rig.host->verify = true;
    ASSERT_TRUE(rig.run());

    EXPECT_EQ(verified.stats().corruptedBytes, 1u);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_TRUE(rig.slot(0).result.verified);
    EXPECT_EQ(verified.stats().commandsNamed("readMemory"), 1u + 4u + 1u);  // one chunk again

    EXPECT_EQ(garbled.stats().corruptedBytes, 1u);
    EXPECT_EQ(rig.slot(1).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(1).texts[ColumnRemark], "擦除失败,芯片应答错误");
}

}  // namespace
}  // namespace pellion::test
