// Chips that stop answering, refuse, vanish or do not fit: every slot ends, with its failure
// named, and the run ends with it.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "engine/BootloaderCodec.h"
#include "support/PtyPair.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(RunFaults, AnAlreadySynchronisedBootloaderIsIdentifiedAgain) {
    // Unticking and ticking again without resetting the chip: the bootloader takes the first
    // SYNC as half of a command (silence), the second completes it (NACK).
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0));
    rig.untick(0);
    EXPECT_EQ(rig.row(0).texts[ColumnInit], "N");
    EXPECT_EQ(rig.row(0).texts[ColumnModel], "");
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "");
    const auto nacksBefore = chip.stats().nacks;
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0));
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_EQ(rig.row(0).texts[ColumnModel], "KTM1RCB-0256");
    EXPECT_GT(chip.stats().nacks, nacksBefore);

    // And it programs.
    const auto image = patternImage(700);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
}

TEST(RunFaults, AStrayByteBeforeTheSyncAnswerIsIgnored) {
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.faults.strayZeroBeforeSyncAck = true;
    auto& chip = rig.addChip(options);
    rig.build();
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0));
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_EQ(chip.stats().strayZeros, 1u);
    EXPECT_EQ(chip.stats().syncs, 1u);  // no second SYNC was needed
}

TEST(RunFaults, NobodyBehindThePortEndsIdentificationAfterBoundedSyncs) {
    PtyPair line;
    ASSERT_TRUE(line.ok()) << line.error();
    EngineRig rig;
    rig.timing.answerMargin = 30ms;
    rig.timing.maxRepeats = 4;
    rig.extraDevices = {line.slavePath()};
    rig.build();
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0, 10s));
    EXPECT_EQ(rig.slot(0).cycle.state, Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "初始化失败,芯片无应答");
    EXPECT_TRUE(rig.remarked(0, "正在初始化,请稍后....."));
    // The first SYNC and four repeats, nothing else.
    const auto sent = line.readUntilQuiet(100ms, 2s);
    EXPECT_EQ(sent, std::vector<std::uint8_t>(5, SYNC));
    EXPECT_TRUE(rig.slot(0).ports.IsOpen());
}

TEST(RunFaults, ASilentChipFailsItsSlotAndTheOthersFinish) {
    EngineRig rig;
    sim::ChipOptions silent;
    silent.code = DeviceCode("1RCB");
    silent.faults.silentAfterCommands = 4;  // identification, then a few run commands
    rig.addChip(silent);
    auto& good = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(5000);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.slot(0).cycle.state, Failed);
    EXPECT_TRUE(endsWith(rig.row(0).texts[ColumnRemark], "芯片无应答"))
        << rig.row(0).texts[ColumnRemark];
    EXPECT_TRUE(rig.slot(0).ports.IsOpen());  // the port stays open
    EXPECT_EQ(rig.slot(1).result.outcome, SlotOutcome::Succeeded);
    EXPECT_EQ(good.readFlash(kFlashBase, image.size()), image);
    EXPECT_TRUE(rig.host->okEnabled);
}

TEST(RunFaults, AChipThatKeepsRefusingFailsAfterBoundedRepeats) {
    EngineRig rig;
    sim::ChipOptions refusing;
    refusing.code = DeviceCode("1RCB");
    refusing.faults.nackProbability = 1.0;
    auto& chip = rig.addChip(refusing);
    rig.build();
    rig.tickAllAndIdentify();
    // Its device code is refused as well: the operator names the model.
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "请手动为该芯片选择正确的型号");
    rig.row(0).texts[ColumnModel] = "KTM1RCB-0256";
    rig.setImage(patternImage(100));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "去除读保护失败,芯片多次拒绝");
    // One readout unprotect and at most maxRepeats repeats of it.
    EXPECT_EQ(chip.stats().commandsNamed("readoutUnprotect"),
              std::uint64_t(rig.timing.maxRepeats) + 1);
    EXPECT_TRUE(rig.host->okEnabled);
}

TEST(RunFaults, ARefusedDataBlockFailsTheSlotAndEndsTheRun) {
    // The chip's pages are half the size its code says: the erase leaves old data behind the
    // first 2 KiB, and the chip refuses to write over it.
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.geometry = DeviceGeometry{256, 4, 1024, 256, 0};
    options.initialFlash = std::vector<std::uint8_t>(4096, 0x00);
    rig.addChip(options);
    rig.build();
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(3000));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载失败,地址0x080007D0的数据被拒绝");
    EXPECT_TRUE(rig.host->okEnabled);
}

TEST(RunFaults, TheRunEndsOnlyWhenProtectionIsSet) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(2000));
    rig.host->readProtect = true;
    bool protectedWhenOkCame = false;
    rig.control->StartRun();
    EXPECT_FALSE(rig.host->okEnabled);
    ASSERT_TRUE(rig.runUntil([&] {
        if (rig.host->okEnabled)
            protectedWhenOkCame = chip.readoutProtected();
        return rig.host->okEnabled;
    }));
    EXPECT_TRUE(protectedWhenOkCame);
    EXPECT_EQ(rig.host->runsEnded, 1);
}

TEST(RunFaults, APartialStartStartsTheReadySlotsAndOkComesBack) {
    PtyPair line;
    ASSERT_TRUE(line.ok());
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.extraDevices = {line.slavePath()};
    rig.build();
    rig.tick(0);
    rig.tick(1);  // stays in SyncSent: nobody answers
    ASSERT_TRUE(rig.waitIdentified(0));
    rig.row(1).texts[ColumnModel] = "KTM1RCB-0256";
    const auto image = patternImage(900);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    ASSERT_EQ(rig.host->messages.size(), 1u);
    EXPECT_EQ(rig.host->messages[0].caption, "KT MCU");
    EXPECT_EQ(rig.host->messages[0].text, "COM2芯片初始化失败!");
    EXPECT_EQ(chip.readFlash(kFlashBase, image.size()), image);
    EXPECT_TRUE(rig.host->okEnabled);
    EXPECT_EQ(rig.host->elapsedText, "");  // a partial start shows no clock
}

TEST(RunFaults, ResyncWaitsAreTimersThatStallNoOtherSlot) {
    EngineRig rig;
    rig.timing.resyncDelay = 1500ms;
    sim::ChipOptions protectedChip;
    protectedChip.code = DeviceCode("1RCB");
    protectedChip.writeProtectedRegions = 0x1;
    rig.addChip(protectedChip);
    auto& free = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(2000);
    rig.setImage(image);
    rig.control->StartRun();
    ASSERT_TRUE(rig.runUntil([&] { return rig.slot(1).result.outcome == SlotOutcome::Succeeded; }));
    // The other chip was written while this one waited to resynchronise.
    EXPECT_EQ(rig.slot(0).cycle.state, ResyncAfterWriteUnprotect);
    EXPECT_EQ(free.readFlash(kFlashBase, image.size()), image);
    ASSERT_TRUE(rig.runUntil([&] { return rig.host->runsEnded == 1; }));
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
}

TEST(RunFaults, ImagesThatDoNotFitAreRefusedBeforeAnythingIsSent) {
    EngineRig rig;
    auto& small = rig.addChip("1C8A");  // 64 KiB
    auto& big = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto commandsBefore = small.stats().commandCount() + big.stats().commandCount();

    rig.setImage(patternImage(100 * 1024));
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 1u);
    EXPECT_EQ(rig.host->messages[0].text,
              "COM1: 下载文件结束于0x08018FFF,超出芯片闪存末地址0x0800FFFF\n"
              "下载文件与芯片不符,未开始下载!");

    rig.setImage(patternImage(64), 0x20000000);
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 2u);
    EXPECT_NE(rig.host->messages[1].text.find("COM2: 起始地址0x20000000不在芯片闪存范围"),
              std::string::npos);

    rig.setImage(patternImage(8), kOptionBytesAddress);
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 3u);
    EXPECT_NE(rig.host->messages[2].text.find("选项字节文件必须从0x1FFFF800开始"),
              std::string::npos)
        << rig.host->messages[2].text;

    // The chip takes writes at word addresses only: refused before a page is erased.
    rig.setImage(patternImage(201), kFlashBase + 0x101);
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 4u);
    EXPECT_EQ(rig.host->messages[3].text,
              "COM1: 起始地址0x08000101不是4字节对齐的地址,芯片无法写入\n"
              "COM2: 起始地址0x08000101不是4字节对齐的地址,芯片无法写入\n"
              "下载文件与芯片不符,未开始下载!");
    EXPECT_EQ(
        rig.host->messages[3].said.words(OperatorLanguage::English),
        "COM1: Start address 0x08000101 is not aligned to 4 bytes; the chip cannot write there\n"
        "COM2: Start address 0x08000101 is not aligned to 4 bytes; the chip cannot write there\n"
        "The download file does not fit the chips; nothing was programmed.");

    rig.serveFor(100ms);
    EXPECT_EQ(small.stats().commandCount() + big.stats().commandCount(), commandsBefore);
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_TRUE(rig.host->okEnabled);
}

TEST(RunFaults, AVanishedPortFailsItsSlotAndTheOthersGoOn) {
    EngineRig rig;
    sim::ChipOptions unplugged;
    unplugged.code = DeviceCode("1RCB");
    unplugged.faults.disconnectAfterBytes = 3000;  // in the middle of writing
    rig.addChip(unplugged);
    auto& good = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(8000);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载失败,串口已断开");
    EXPECT_EQ(rig.slot(1).result.outcome, SlotOutcome::Succeeded);
    EXPECT_EQ(good.readFlash(kFlashBase, image.size()), image);
}

TEST(RunFaults, StoppingOrUntickingARunningSlotLetsTheRunEnd) {
    EngineRig rig;
    rig.timing.answerMargin = 5s;  // the chip would hold the run for a long time
    sim::ChipOptions silent;
    silent.code = DeviceCode("1RCB");
    silent.faults.silentAfterCommands = 2;
    rig.addChip(silent);
    rig.addChip(silent);
    rig.build();
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(100));
    rig.control->StartRun();
    rig.serveFor(100ms);
    EXPECT_FALSE(rig.host->okEnabled);
    rig.untick(0);
    rig.control->StopSlot(1);
    ASSERT_TRUE(rig.runUntil([&] { return rig.host->runsEnded == 1; }, 2s));
    EXPECT_TRUE(rig.host->okEnabled);
    EXPECT_FALSE(rig.row(1).ticked);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Cancelled);
    EXPECT_FALSE(rig.slot(1).ports.IsOpen());
}

TEST(RunFaults, RebuildingTheTableMidRunForgetsTheOldSlotsSafely) {
    EngineRig rig;
    rig.timing.answerMargin = 200ms;
    sim::ChipOptions silent;
    silent.code = DeviceCode("1RCB");
    silent.faults.silentAfterCommands = 2;
    rig.addChip(silent);
    auto& second = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(100));
    rig.control->StartRun();
    rig.serveFor(20ms);
    ASSERT_TRUE(rig.control->IsRunning());
    // The list is refreshed: every port closes, the table is built anew with one slot.
    rig.control->ShutdownPorts();
    rig.table.BuildPortTable(std::vector<PortIdentity>{{"COM9", second.devicePath()}});
    rig.control->OnPortTableRebuilt();
    EXPECT_FALSE(rig.control->IsRunning());
    EXPECT_TRUE(rig.host->okEnabled);
    // The old slots' time-outs come due and find nothing of theirs.
    rig.serveFor(800ms);
    EXPECT_EQ(rig.slot(0).cycle.state, SyncSent);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Idle);
    EXPECT_FALSE(rig.slot(0).ports.IsOpen());
}

TEST(RunFaults, OkWithoutTickedRowsOnlyRunsOneTick) {
    EngineRig rig;
    rig.addChip("1RCB");
    rig.build();
    rig.setImage(patternImage(10));
    ASSERT_TRUE(rig.run(2s));
    EXPECT_TRUE(rig.host->messages.empty());
    EXPECT_TRUE(rig.host->okEnabled);
    EXPECT_FALSE(rig.control->IsRunning());
}

TEST(RunFaults, MissingModelsAndFilesAreNamedAndNothingStarts) {
    EngineRig rig;
    auto& a = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto commandsBefore = a.stats().commandCount();

    rig.host->downloadFilePath = "";
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 1u);
    EXPECT_EQ(rig.host->messages[0].text, "请选择下载文件!");

    rig.setImage({});
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 2u);
    EXPECT_EQ(rig.host->messages[1].text, "您选择的下载文件为空文件!");

    rig.setImage(patternImage(10));
    rig.row(0).texts[ColumnModel] = "";
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 3u);
    EXPECT_EQ(rig.host->messages[2].text, "COM1芯片请选择型号!");
    // The host words what the engine tells in its own language.
    rig.host->language = OperatorLanguage::English;
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 4u);
    EXPECT_EQ(rig.host->messages[3].said.id(), TextId::NoModel);
    EXPECT_EQ(rig.host->messages[3].text, "Choose the model of the chip on COM1.");
    rig.serveFor(50ms);
    EXPECT_EQ(a.stats().commandCount(), commandsBefore);
    EXPECT_FALSE(rig.control->IsRunning());
}

TEST(RunFaults, ABusyPortIsReportedAndUnticked) {
    EngineRig rig;
    rig.addChip("1RCB");
    rig.build();
    CSerialPort other;
    ASSERT_TRUE(other.OpenPort(rig.control.get(), rig.slot(0).devicePath, 1, 57600, 0));
    rig.tick(0);
    ASSERT_EQ(rig.host->messages.size(), 1u);
    EXPECT_EQ(rig.host->messages[0].text, "串口被占用!");
    EXPECT_FALSE(rig.row(0).ticked);
    EXPECT_FALSE(rig.slot(0).ports.IsOpen());
    other.StopAndClose();
}

}  // namespace
}  // namespace pellion::test
