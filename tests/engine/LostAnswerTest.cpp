// One lost answer byte costs a recovery, not the chip: the line is brought back, and what the
// chip holds decides whether a block is written again, taken as written, or the chip fails.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "engine/BootloaderCodec.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;

// Drops the chip's answer byte `offset` bytes after the moment the slot's remark becomes `text`.
void dropAnswerAfterRemark(EngineRig& rig, sim::VirtualChip& chip, const std::string& text,
                           std::uint64_t offset) {
    rig.host->onRowChanged = [&rig, &chip, text, offset](std::int32_t slot, std::int32_t column) {
        if (slot != 0 || column != ColumnRemark || rig.row(0).texts[ColumnRemark] != text)
            return;
        const auto stats = chip.stats();
        const auto at = std::int64_t(stats.bytesSent + stats.droppedBytes + offset);
        chip.configure([at](sim::ChipOptions& o) { o.faults.dropAnswerByteAt = at; });
        rig.host->onRowChanged = nullptr;
    };
}

// Drops the chip's answer byte `offset` bytes from now.
void dropAnswerFromNow(sim::VirtualChip& chip, std::uint64_t offset) {
    const auto stats = chip.stats();
    const auto at = std::int64_t(stats.bytesSent + stats.droppedBytes + offset);
    chip.configure([at](sim::ChipOptions& o) { o.faults.dropAnswerByteAt = at; });
}

struct Case {
    const char* remark;  // when counting starts; null: as the run starts
    std::uint64_t offset;
    const char* what;
};

TEST(LostAnswer, EveryStepRecoversFromOneLostByteAndTheFlashHoldsTheImage) {
    const Case cases[] = {
        {nullptr, 5, "a byte of the option bytes: read again"},
        {"正在擦除芯片,请稍后.....", 0, "the erase's ACK: erased again"},
        {"正在下载.....", 2, "a written block's ACK: read back, taken as written"},
        {"正在下载.....", 3, "the next Write Memory's ACK: its block written after all"},
        {"正在下载.....", 4, "an address's ACK: the block written after all"},
        {"正在校验,请稍后.....", 10, "a byte of a read-back chunk: read again"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRig rig;
        auto& chip = rig.addChip("1RCB");
        rig.build();
        rig.tickAllAndIdentify();
        if (c.remark)
            dropAnswerAfterRemark(rig, chip, c.remark, c.offset);
        else
            dropAnswerFromNow(chip, c.offset);
        const auto image = patternImage(1000);
        rig.setImage(image);
        rig.host->verify = true;
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(chip.stats().droppedBytes, 1u);
        EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded)
            << rig.row(0).texts[ColumnRemark];
        EXPECT_EQ(rig.slot(0).result.recoveries, 1);
        EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
    }
}

// A block that holds neither the image nor erased bytes after a lost acknowledgement is never
// taken for written; and recoveries are bounded.
TEST(LostAnswer, ABlockHoldingSomethingElseFailsAndASilentChipFailsInBoundedTime) {
    EngineRig rig;
    auto& damaged = rig.addChip("1RCB");
    auto& silent = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    // Chip 0 flips a bit of every write: its first block's ACK is lost, and the block read back
    // is not the image.
    damaged.configure([](sim::ChipOptions& o) { o.faults.badCellProbability = 1; });
    dropAnswerAfterRemark(rig, damaged, "正在下载.....", 2);
    silent.configure([](sim::ChipOptions& o) { o.faults.silentAfterCommands = 5; });
    rig.setImage(patternImage(1000));
    const auto began = SteadyClock::now();
    ASSERT_TRUE(rig.run(60s));
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark].rfind("下载失败,地址0x0800", 0), 0u)
        << rig.row(0).texts[ColumnRemark];
    EXPECT_NE(rig.row(0).texts[ColumnRemark].find("的内容与下载文件不同"), std::string::npos);
    EXPECT_EQ(rig.slot(1).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(1).texts[ColumnRemark], "下载失败,芯片无应答");
    EXPECT_LT(SteadyClock::now() - began, 30s);
}

// A byte of the device code lost on the line is not an unknown device: the code is asked for
// again.
TEST(LostAnswer, ALostByteOfTheDeviceCodeIsAskedForAgain) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    dropAnswerFromNow(chip, 3);  // SYNC's ACK, the command's ACK, the length, then the code
    rig.tickAllAndIdentify();
    EXPECT_EQ(chip.stats().droppedBytes, 1u);
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "识别设备成功,可以进行下一步操作");
}

TEST(LostAnswer, AnAdapterWithoutParityIsNamedInTheRemark) {
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.faults.parityBlindAdapter = true;
    rig.addChip(options);
    rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    EXPECT_EQ(rig.slot(0).cycle.state, Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark],
              "读取芯片信息失败,芯片无应答,串口适配器可能不支持偶校验");
    EXPECT_EQ(rig.slot(1).cycle.state, Ready);
}

}  // namespace
}  // namespace pellion::test
