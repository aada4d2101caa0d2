// Whole runs against virtual chips: the oracle is what ends up in each chip's flash and
// option bytes, not the texts the host showed itself.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "engine/BootloaderCodec.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;

TEST(ProgrammingRun, IdentifiesErasesWritesAndStartsTheChip) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0));
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_EQ(rig.row(0).texts[ColumnInit], "Y");
    EXPECT_EQ(rig.row(0).texts[ColumnModel], "KTM1RCB-0256");
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "识别设备成功,可以进行下一步操作");
    EXPECT_TRUE(rig.remarked(0, "正在读取芯片信息,请稍后...."));

    const auto image = patternImage(3000);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
    // Beyond the image the page stays erased.
    EXPECT_EQ(rig.flashOf(0, kFlashBase + 3000, 4), std::vector<std::uint8_t>(4, 0xFF));
    EXPECT_EQ(chip.state(), sim::ChipState::Application);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    for (const char* text : {"正在擦除芯片,请稍后.....", "擦除成功", "正在下载.....", "下载完成"})
        EXPECT_TRUE(rig.remarked(0, text)) << text;
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成后成功跳转");
    EXPECT_TRUE(rig.host->okEnabled);
    EXPECT_TRUE(rig.host->messages.empty());
    // The bar reaches its end: position past the maximum of end - start.
    EXPECT_EQ(rig.row(0).progressMaximum, 2999);
    EXPECT_EQ(rig.row(0).progressPosition, 3000);
    EXPECT_EQ(rig.host->elapsedText.size(), 8u);
}

TEST(ProgrammingRun, ImagesOfEveryBlockShapeArriveWhole) {
    // 1 byte (padded), 200 (one last block), 201, 401 (last block padded), a full 64 KiB chip.
    for (std::size_t size : {1u, 200u, 201u, 401u, 65536u}) {
        EngineRig rig;
        rig.addChip("1C8A");
        rig.build();
        rig.tickAllAndIdentify();
        const auto image = patternImage(size, std::uint8_t(size));
        rig.setImage(image);
        ASSERT_TRUE(rig.run(60s)) << size;
        EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded) << size;
        EXPECT_EQ(rig.flashOf(0, kFlashBase, size), image) << size;
        if (size < 65536) {
            // The pads of a last block are 0xFF: what follows the image stays erased.
            EXPECT_EQ(rig.flashOf(0, kFlashBase + size, 1)[0], 0xFF) << size;
        }
    }
}

TEST(ProgrammingRun, StandardAndExtendedEraseFollowTheChip) {
    EngineRig rig;
    rig.addChip("1C8A");  // one-byte page numbers
    rig.addChip("1RGB");  // 1 MiB: two-byte page numbers
    rig.addChip("5R8B");  // 2 KiB pages, extended erase
    rig.build();
    // Old contents that the erase must clear.
    for (std::size_t i = 0; i < 3; ++i)
        rig.chips.chip(i).loadFlash(kFlashBase, std::vector<std::uint8_t>(8192, 0x00));
    rig.tickAllAndIdentify();
    EXPECT_EQ(rig.slot(0).chip.eraseCommand, BootloaderCommand::Erase);
    EXPECT_EQ(rig.slot(1).chip.eraseCommand, BootloaderCommand::ExtendedErase);
    EXPECT_EQ(rig.slot(2).chip.eraseCommand, BootloaderCommand::ExtendedErase);
    const auto image = patternImage(5000);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.flashOf(i, kFlashBase, image.size()), image) << i;
        // Pages the image covers were erased whole: the tail of the last page is 0xFF.
        EXPECT_EQ(rig.flashOf(i, kFlashBase + 5000, 100), std::vector<std::uint8_t>(100, 0xFF))
            << i;
    }
    EXPECT_EQ(rig.chips.chip(0).stats().commandsNamed("erase"), 1u);
    EXPECT_EQ(rig.chips.chip(1).stats().commandsNamed("extendedErase"), 1u);
    EXPECT_EQ(rig.chips.chip(2).stats().commandsNamed("extendedErase"), 1u);
}

TEST(ProgrammingRun, OptionByteDownloadWritesTheSixteenBytesWithoutErasing) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto option = unprotectedOptionBytes(0x3C);
    rig.setImage(option, kOptionBytesAddress);
    ASSERT_TRUE(rig.run());
    const auto written = chip.optionBytes();
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), option);
    EXPECT_EQ(chip.stats().commandsNamed("erase"), 0u);
    EXPECT_EQ(chip.stats().commandsNamed("go"), 0u);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_TRUE(rig.remarked(0, "擦除成功"));
    EXPECT_EQ(rig.row(0).progressMaximum, 15);
}

TEST(ProgrammingRun, ReadProtectionAfterDownloadLeavesTheChipProtected) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(1024);
    rig.setImage(image);
    rig.host->readProtect = true;
    ASSERT_TRUE(rig.run());
    EXPECT_TRUE(chip.readoutProtected());
    EXPECT_EQ(chip.stats().commandsNamed("go"), 0u);
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成，设置读保护成功");
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
}

TEST(ProgrammingRun, ProtectedChipsAreUnprotectedThenProgrammed) {
    EngineRig rig;
    sim::ChipOptions readout;
    readout.code = DeviceCode("1RCB");
    readout.readoutProtected = true;
    readout.initialFlash = std::vector<std::uint8_t>(4096, 0x00);
    auto& readoutChip = rig.addChip(readout);
    sim::ChipOptions write;
    write.code = DeviceCode("1RCB");
    write.writeProtectedRegions = 0x1;  // the start's 4 KiB
    auto& writeChip = rig.addChip(write);
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(6000);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());

    EXPECT_FALSE(readoutChip.readoutProtected());
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
    EXPECT_TRUE(rig.remarked(0, "去除读保护成功"));
    // Protection is concluded from refusals in a row; the option bytes are read again after
    // the readout unprotect, and the final remark says the chip was erased as a whole.
    EXPECT_EQ(readoutChip.stats().commandsNamed("readoutUnprotect"), 1u);
    EXPECT_EQ(readoutChip.stats().commandsNamed("readMemory"),
              std::uint64_t(rig.timing.refusalsToConcludeProtection) + 1);
    EXPECT_TRUE(rig.slot(0).result.massErased);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成后成功跳转,去除读保护时芯片已整片擦除");
    EXPECT_FALSE(rig.slot(1).result.massErased);

    EXPECT_EQ(writeChip.writeProtectionWord(), 0xFFFFFFFFu);
    EXPECT_EQ(rig.flashOf(1, kFlashBase, image.size()), image);
    EXPECT_TRUE(rig.remarked(1, "去除写保护成功"));
    // After the write unprotect and the new SYNC comes the erase, not a new option read.
    EXPECT_EQ(writeChip.stats().commandsNamed("writeUnprotect"), 1u);
    EXPECT_EQ(writeChip.stats().commandsNamed("readMemory"), 1u);
    EXPECT_EQ(rig.slot(1).result.outcome, SlotOutcome::Succeeded);
}

TEST(ProgrammingRun, ProtectionFurtherInsideTheImageIsRemovedToo) {
    // The start is free; region 3 (12..16 KiB) is protected. A chip acknowledges writes to it
    // without effect, so a test of the start alone would report a half-written chip.
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.writeProtectedRegions = 1u << 3;
    auto& chip = rig.addChip(options);
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(20 * 1024);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(chip.writeProtectionWord(), 0xFFFFFFFFu);
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
}

// A mixed batch: a chip with an unknown code, one without the code command, and one that names
// itself (1 KiB pages, old data beyond its first page). Models chosen by hand apply to the first
// two; for the third another geometry is refused: taken for a 2 KiB-page part it would have
// only part of its image's pages erased.
TEST(ProgrammingRun, ModelsChosenByHandApplyOnlyToChipsThatDidNotNameThemselves) {
    EngineRig rig;
    sim::ChipOptions unknown;
    unknown.code = DeviceCode("9QQA");
    unknown.geometry = DeviceGeometry{128, 4, 1024, 128, 0};
    rig.addChip(unknown);
    sim::ChipOptions silentCode;
    silentCode.code = DeviceCode("1RDB");
    silentCode.deviceCodeCommand = false;
    rig.addChip(silentCode);
    sim::ChipOptions named;
    named.code = DeviceCode("1C8A");
    named.initialFlash = std::vector<std::uint8_t>(4096, 0x00);
    auto& namedChip = rig.addChip(named);
    rig.build();
    rig.tickAllAndIdentify();

    EXPECT_EQ(rig.slot(0).cycle.state, CodeRequested);
    EXPECT_EQ(rig.row(0).texts[ColumnModel], "未识别的设备");
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "请选择设备型号，否则无法下载");
    EXPECT_EQ(rig.slot(1).cycle.state, CodeRequested);
    EXPECT_EQ(rig.row(1).texts[ColumnRemark], "请手动为该芯片选择正确的型号");
    EXPECT_TRUE(rig.slot(2).chip.namedItself);
    const auto namedGeometry = rig.slot(2).chip.geometry;

    const auto image = patternImage(4000);
    rig.setImage(image);
    // The unrecognised-device text is no part name: named, nothing starts.
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 1u);
    EXPECT_EQ(rig.host->messages[0].text, "COM1,COM2芯片请选择型号!");
    EXPECT_EQ(rig.slot(0).cycle.state, CodeRequested);

    rig.row(0).texts[ColumnModel] = "KTM1CBA-0128";
    rig.row(1).texts[ColumnModel] = "KTM1RDB-0384";  // 2 KiB pages, standard erase
    rig.row(2).texts[ColumnModel] = "KTM1RDB-0384";
    rig.control->StartRun();
    ASSERT_EQ(rig.host->messages.size(), 2u);
    EXPECT_EQ(rig.host->messages[1].caption, "KT MCU");
    EXPECT_EQ(rig.host->messages[1].text, "COM3芯片已识别为KTM1C8A-0064,不能选择其他型号!");
    EXPECT_EQ(rig.slot(2).chip.geometry, namedGeometry);
    EXPECT_EQ(namedChip.stats().commandsNamed("readMemory"), 0u) << "nothing started";

    rig.row(2).texts[ColumnModel] = "KTM1C8A-0064";  // its own name back
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.host->messages.size(), 2u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(rig.flashOf(i, kFlashBase, image.size()), image) << i;
    EXPECT_EQ(rig.slot(1).chip.partName, "KTM1RDB-0384");
    EXPECT_EQ(rig.slot(2).chip.geometry, namedGeometry);
}

TEST(ProgrammingRun, ModelChosenByHandSetsTheEraseCommandOfItsGeometry) {
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("5RCB");  // needs the extended erase
    options.deviceCodeCommand = false;
    auto& chip = rig.addChip(options);
    rig.build();
    rig.tickAllAndIdentify();
    rig.row(0).texts[ColumnModel] = "KTM5RCB-0256";
    const auto image = patternImage(3000);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).chip.eraseCommand, BootloaderCommand::ExtendedErase);
    EXPECT_EQ(chip.stats().commandsNamed("extendedErase"), 1u);
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
}

TEST(ProgrammingRun, SixteenChipsOfMixedSizesAreAllProgrammed) {
    const char* codes[] = {"0C4A", "1C6A", "1C8A", "1CBA", "1RCB", "5R8B", "7RBB", "3REB",
                           "0R4A", "1R6A", "3C8A", "3RBA", "5RCB", "1RGB", "7ICB", "0F6B"};
    EngineRig rig;
    for (const char* code : codes) {
        sim::ChipOptions options;
        options.code = *DeviceCode::fromText(code);
        rig.addChip(options);
    }
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(15 * 1024 + 7);  // fits the smallest (16 KiB)
    rig.setImage(image);
    ASSERT_TRUE(rig.run(60s));
    for (std::int32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(rig.slot(i).result.outcome, SlotOutcome::Succeeded) << codes[i];
        EXPECT_EQ(rig.slot(i).cycle.endAddress, kFlashBase + image.size() - 1) << codes[i];
        EXPECT_EQ(rig.flashOf(std::size_t(i), kFlashBase, image.size()), image) << codes[i];
    }
}

TEST(ProgrammingRun, TwelveHundredBaudIdentificationWithTheChipsTiming) {
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.timing.enabled = true;
    rig.addChip(options);
    rig.build();
    rig.row(0).texts[ColumnBaud] = "1200";
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0, 20s));
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_EQ(rig.slot(0).ports.Baud(), 1200u);
    EXPECT_EQ(rig.row(0).texts[ColumnModel], "KTM1RCB-0256");
}

TEST(ProgrammingRun, TheStartedProgramsOutputReachesNobody) {
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.applicationText = "\x79\x1F application running\r\n";
    options.applicationInterval = 2ms;
    auto& chip = rig.addChip(options);
    rig.build();
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(512));
    ASSERT_TRUE(rig.run());
    ASSERT_EQ(chip.state(), sim::ChipState::Application);
    const auto answers = rig.slot(0).cycle.answers;
    const auto remark = rig.row(0).texts[ColumnRemark];
    rig.serveFor(300ms);
    EXPECT_EQ(rig.slot(0).cycle.answers, answers);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], remark);
    EXPECT_FALSE(rig.slot(0).ports.IsReceiveEnabled());
}

// Blank blocks are left as the erase left them, whatever the block size; the bar and the
// read-back still cover them, and a station that turns skipping off sends every block.
TEST(ProgrammingRun, BlankBlocksAreCountedNotSentAndTheBlockSizeIsTheStations) {
    auto image = patternImage(3000);
    std::fill(image.begin() + 512, image.begin() + 2048, 0xFF);  // blocks 2..7 of 256 bytes
    image[2047] = 0x00;                                          // block 7 is not blank
    for (const bool skip : {true, false}) {
        EngineRig rig;
        auto& chip = rig.addChip("1RCB");
        rig.build();
        chip.loadFlash(kFlashBase, std::vector<std::uint8_t>(4096, 0x00));  // old contents
        rig.host->writePlan = {256, skip};
        rig.tickAllAndIdentify();
        rig.setImage(image);
        rig.host->verify = true;
        ASSERT_TRUE(rig.run()) << skip;
        EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded) << skip;
        EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image) << skip;
        // 12 blocks of 256 bytes (the last 184), 5 of them blank.
        EXPECT_EQ(chip.stats().commandsNamed("writeMemory"), skip ? 7u : 12u) << skip;
        EXPECT_EQ(rig.slot(0).result.blankBytesSkipped, skip ? 5u * 256u : 0u) << skip;
        EXPECT_EQ(chip.stats().commandsNamed("readMemory"), 1u + 12u) << skip;
        EXPECT_EQ(rig.row(0).progressPosition, rig.row(0).progressMaximum + 1) << skip;
    }
}

// A held end (a record being committed) keeps the chip at work, its result untold (the host's
// counts, a station's line), the run open and every late answer ignored, until it is released;
// then it is told once.
TEST(ProgrammingRun, AHeldEndIsToldOnlyOnceReleased) {
    EngineRig rig;
    rig.addChip("1RCB");
    rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    std::vector<Task> releases;
    std::vector<std::int32_t> held;
    rig.control->machine().endHold = [&](const PortSlot& slot, const SlotEnded& ended,
                                         Task release) {
        EXPECT_EQ(ended.result, SlotResult::Succeeded);
        EXPECT_NE(slot.chip.partName, "");
        releases.push_back(std::move(release));
        held.push_back(ended.slot);
    };
    struct Ends : EngineListener {
        int told = 0;
        void OnSlotEnded(const SlotEnded&) override { ++told; }
    } ends;
    rig.control->events().subscribe(ends);
    int counted = 0;
    rig.host->onSlotEnded = [&](std::int32_t, bool succeeded) { counted += succeeded ? 1 : 0; };
    rig.setImage(patternImage(1000));
    rig.control->StartRun();
    ASSERT_TRUE(rig.runUntil([&] { return releases.size() == 2; }));
    rig.serveFor(200ms);
    EXPECT_EQ(ends.told, 0);
    EXPECT_TRUE(rig.control->IsRunning());
    EXPECT_TRUE(rig.control->machine().IsAtWork(held[0]));
    EXPECT_EQ(counted, 0);
    rig.control->InterruptRun();  // an end already reached is not ended again
    releases[0]();
    releases[0]();  // a second release tells nothing more
    EXPECT_EQ(ends.told, 1);
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(rig.slot(held[0]).result.outcome, SlotOutcome::Succeeded);
    EXPECT_FALSE(rig.slot(held[0]).result.interrupted);
    EXPECT_TRUE(rig.control->IsRunning());
    releases[1]();
    EXPECT_EQ(ends.told, 2);
    EXPECT_EQ(rig.slot(held[1]).result.outcome, SlotOutcome::Succeeded);
    EXPECT_FALSE(rig.control->IsRunning());
    rig.control->events().unsubscribe(ends);
}

}  // namespace
}  // namespace pellion::test
