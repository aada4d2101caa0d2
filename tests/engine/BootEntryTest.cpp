// Chips on fixture boards that power up in their application: DTR and RTS must bring them into
// the bootloader and start them afterwards. The oracle is the boards' lines and the chips'
// flash and mode.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "engine/BootSequence.h"
#include "engine/BootloaderCodec.h"
#include "support/PtyPair.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;

BootSequences sequences(const char* entry, const char* exit) {
    BootSequences boot;
    boot.entry = ParseBootSequence(entry, BootRole::Entry).steps;
    const auto parsedExit = ParseBootSequence(exit, BootRole::Exit);
    if (!parsedExit.go)
        boot.exit = parsedExit.steps;
    return boot;
}

void addAppChips(EngineRig& rig, sim::Wiring wiring, int count) {
    for (int i = 0; i < count; ++i) {
        sim::ChipOptions options;
        options.wiring = wiring;
        options.startInApplication = true;
        options.serialNumber = std::uint32_t(i + 1);
        rig.addChip(options);
    }
}

struct Station {
    sim::Wiring wiring;
    const char* entry;
    const char* exit;
};

class BootEntryRun : public ::testing::TestWithParam<Station> {};

// The right preset, or a custom sequence equal to it: every chip is programmed and its new
// program runs, its lines at rest.
TEST_P(BootEntryRun, BringsApplicationChipsIntoTheBootloaderAndStartsThemAfterwards) {
    EngineRig rig;
    addAppChips(rig, GetParam().wiring, 2);
    rig.build();
    rig.host->boot = sequences(GetParam().entry, GetParam().exit);
    rig.tickAllAndIdentify();
    const auto image = patternImage(2048);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    for (std::int32_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(rig.remarked(i, "正在进入下载模式,请稍后....."));
        EXPECT_EQ(rig.slot(i).result.outcome, SlotOutcome::Succeeded)
            << rig.row(i).texts[ColumnRemark];
        EXPECT_EQ(rig.row(i).texts[ColumnRemark], "下载完成后成功复位运行");
        EXPECT_EQ(rig.flashOf(std::size_t(i), kFlashBase, image.size()), image);
        const auto board = rig.chips.chip(std::size_t(i)).board();
        EXPECT_STREQ(board.mode, "application");
        EXPECT_FALSE(board.resetHeld || board.boot0High);
        // Go was never needed: the reset started the program.
        EXPECT_EQ(rig.chips.chip(std::size_t(i)).stats().commandsNamed("go"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Wirings, BootEntryRun,
                         ::testing::Values(Station{sim::Wiring::DtrReset, "dtr-reset", "dtr-reset"},
                                           Station{sim::Wiring::RtsReset, "rts-reset", "rts-reset"},
                                           Station{sim::Wiring::DtrReset, "R1|D1|W20|D0|W50",
                                                   "B01|B11|W20|B00"}));

// A chip set to readout protection resets itself, as without an exit, and the exit then
// starts its program.
TEST(BootEntry, AProtectedChipGetsTheExitAfterItsOwnReset) {
    EngineRig rig;
    addAppChips(rig, sim::Wiring::DtrReset, 1);
    rig.build();
    rig.host->readProtect = true;
    rig.host->boot = sequences("dtr-reset", "dtr-reset");
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(1024));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成，设置读保护成功");
    EXPECT_TRUE(rig.chips.chip(0).readoutProtected());
    EXPECT_STREQ(rig.chips.chip(0).board().mode, "application");
}

// Nothing toggled, or the other wiring's preset: no chip answers, each slot fails in bounded
// time naming the missing answer, and none is left in reset.
TEST(BootEntry, WithoutTheRightSequenceEverySlotFailsAndNoChipStaysInReset) {
    for (const char* entry : {"none", "rts-reset"}) {
        EngineRig rig;
        rig.timing.maxRepeats = 2;
        addAppChips(rig, sim::Wiring::DtrReset, 2);
        rig.build();
        rig.host->boot = sequences(entry, "go");
        rig.tickAllAndIdentify();
        for (std::int32_t i = 0; i < 2; ++i) {
            EXPECT_EQ(rig.slot(i).cycle.state, Failed) << entry;
            EXPECT_EQ(rig.row(i).texts[ColumnRemark], "初始化失败,芯片无应答") << entry;
            const auto board = rig.chips.chip(std::size_t(i)).board();
            EXPECT_FALSE(board.resetHeld) << entry;
            EXPECT_STREQ(board.mode, "application") << entry;
        }
    }
}

// An interruption never cuts a sequence short: the slot ends once its lines are back at rest,
// the chip out of reset.
TEST(BootEntry, AnInterruptionLetsTheEntryFinishAndReleasesTheLines) {
    EngineRig rig;
    addAppChips(rig, sim::Wiring::DtrReset, 1);
    rig.build();
    rig.host->boot = sequences("R1|D1|W1000|D0|W50", "go");
    const auto start = std::chrono::steady_clock::now();
    rig.tick(0);
    rig.serveFor(50ms);
    ASSERT_TRUE(rig.chips.chip(0).board().resetHeld);
    rig.control->InterruptRun();
    ASSERT_TRUE(rig.waitIdentified(0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1050ms);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "进入下载模式失败,操作被中断");
    EXPECT_TRUE(rig.slot(0).result.interrupted);
    const auto board = rig.chips.chip(0).board();
    EXPECT_FALSE(board.resetHeld || board.boot0High);
}

// A port whose lines cannot be driven fails its slot saying so; the chips beside it go on.
TEST(BootEntry, APortWithoutLinesFailsItsSlotSayingSo) {
    PtyPair plain;
    ASSERT_TRUE(plain.ok());
    EngineRig rig;
    addAppChips(rig, sim::Wiring::DtrReset, 1);
    rig.extraDevices.push_back(plain.slavePath());
    rig.build();
    rig.host->boot = sequences("dtr-reset", "go");
    rig.tickAllAndIdentify();
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_EQ(rig.slot(1).cycle.state, Failed);
    EXPECT_EQ(rig.row(1).texts[ColumnRemark], "进入下载模式失败,串口无法控制DTR/RTS");
    EXPECT_EQ(rig.slot(1).result.failedStep, SlotStep::BootEntry);
    EXPECT_STREQ(StepIdentifier(rig.slot(1).result.failedStep), "boot_entry");
}

}  // namespace
}  // namespace pellion::test
