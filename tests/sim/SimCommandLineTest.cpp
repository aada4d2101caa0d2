#include "sim/SimCommandLine.h"

#include <gtest/gtest.h>

namespace pellion::sim {
namespace {

using std::chrono::microseconds;

TEST(SimCommandLineTest, DefaultsModelTimingAndFollowTheHostsLineSpeed) {
    const auto parsed = parseSimCommandLine({});
    ASSERT_EQ(parsed.error, "");
    EXPECT_FALSE(parsed.help);
    const SimSettings& s = parsed.settings;
    EXPECT_EQ(s.chips, 1);
    EXPECT_EQ(s.chip.code, DeviceCode("1RCB"));
    EXPECT_EQ(s.chip.productId, 0x0410);
    EXPECT_TRUE(s.chip.timing.enabled);
    EXPECT_EQ(s.chip.timing.baud, 0u);
    EXPECT_EQ(s.chip.timing.halfWordProgram, microseconds(52));
    EXPECT_FALSE(s.chip.faults.any());
    EXPECT_FALSE(s.loopPerChip);
    EXPECT_EQ(s.chip.wiring, Wiring::DtrReset);
    EXPECT_FALSE(s.chip.startInApplication);
    EXPECT_FALSE(s.chip.replaceAfterGo);
}

TEST(SimCommandLineTest, TakesEveryOption) {
    const auto parsed = parseSimCommandLine({"--chips",
                                             "8",
                                             "--code",
                                             "1RGB",
                                             "--pid",
                                             "0x0414",
                                             "--baud=115200",
                                             "--no-timing",
                                             "--program-us",
                                             "60",
                                             "--page-erase-ms",
                                             "25.5",
                                             "--mass-erase-ms",
                                             "40",
                                             "--startup-ms",
                                             "2",
                                             "--latency-ms",
                                             "16",
                                             "--write-protect",
                                             "0,2-3",
                                             "--protected-writes",
                                             "nack",
                                             "--readout-protected",
                                             "--no-device-code",
                                             "--flash",
                                             "image.bin",
                                             "--app-text",
                                             "hello",
                                             "--app-interval-ms",
                                             "20",
                                             "--seed",
                                             "5",
                                             "--stray-zero",
                                             "--nack-probability",
                                             "0.25",
                                             "--drop-probability",
                                             "0.5",
                                             "--corrupt-probability",
                                             "0.125",
                                             "--bad-cell-probability",
                                             "1",
                                             "--silent-after",
                                             "7",
                                             "--disconnect-after",
                                             "100",
                                             "--fault-chips",
                                             "1,3",
                                             "--link-dir",
                                             "links",
                                             "--link-prefix",
                                             "big",
                                             "--dump-dir",
                                             "dumps",
                                             "--loop-per-chip",
                                             "--wiring",
                                             "rts-reset",
                                             "--start-in-app",
                                             "--replace-after-go",
                                             "250",
                                             "--parity-blind-adapter",
                                             "--control",
                                             "ctl"});
    ASSERT_EQ(parsed.error, "");
    const SimSettings& s = parsed.settings;
    const ChipOptions& c = s.chip;
    EXPECT_EQ(s.chips, 8);
    EXPECT_EQ(c.code, DeviceCode("1RGB"));
    EXPECT_EQ(c.productId, 0x0414);
    EXPECT_EQ(c.timing.baud, 115200u);
    EXPECT_FALSE(c.timing.enabled);
    EXPECT_EQ(c.timing.halfWordProgram, microseconds(60));
    EXPECT_EQ(c.timing.pageErase, microseconds(25500));
    EXPECT_EQ(c.timing.massErase, microseconds(40000));
    EXPECT_EQ(c.timing.startup, microseconds(2000));
    EXPECT_EQ(c.timing.adapterLatency, microseconds(16000));
    EXPECT_EQ(c.writeProtectedRegions, 0b1101u);
    EXPECT_EQ(c.protectedWrites, ProtectedWritePolicy::Nack);
    EXPECT_TRUE(c.readoutProtected);
    EXPECT_FALSE(c.deviceCodeCommand);
    EXPECT_EQ(s.flashFile, "image.bin");
    EXPECT_EQ(c.applicationText, "hello");
    EXPECT_EQ(c.applicationInterval, std::chrono::milliseconds(20));
    EXPECT_EQ(c.faults.seed, 5u);
    EXPECT_TRUE(c.faults.strayZeroBeforeSyncAck);
    EXPECT_DOUBLE_EQ(c.faults.nackProbability, 0.25);
    EXPECT_DOUBLE_EQ(c.faults.dropAnswerByteProbability, 0.5);
    EXPECT_DOUBLE_EQ(c.faults.corruptAnswerByteProbability, 0.125);
    EXPECT_DOUBLE_EQ(c.faults.badCellProbability, 1.0);
    EXPECT_EQ(c.faults.silentAfterCommands, 7);
    EXPECT_EQ(c.faults.disconnectAfterBytes, 100);
    EXPECT_EQ(s.faultChips, (std::vector<int>{1, 3}));
    EXPECT_EQ(s.linkDir, "links");
    EXPECT_EQ(s.linkPrefix, "big");
    EXPECT_EQ(parseSimCommandLine({}).settings.linkPrefix, "chip");
    EXPECT_EQ(s.dumpDir, "dumps");
    EXPECT_TRUE(s.loopPerChip);
    EXPECT_EQ(c.wiring, Wiring::RtsReset);
    EXPECT_TRUE(c.startInApplication);
    EXPECT_EQ(c.replaceAfterGo, std::chrono::milliseconds(250));
    EXPECT_TRUE(c.faults.parityBlindAdapter);
    EXPECT_EQ(c.uniqueIdSeed, 5u);
    EXPECT_EQ(s.controlPath, "ctl");
}

TEST(SimCommandLineTest, RefusesWhatItDoesNotUnderstand) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},
        {"--chips"},
        {"--chips", "0"},
        {"--chips", "many"},
        {"--code", "1RC"},
        {"--pid", "0x10000"},
        {"--baud", "fast"},
        {"--nack-probability", "1.5"},
        {"--drop-probability", "-0.1"},
        {"--write-protect", "32"},
        {"--write-protect", "3-1"},
        {"--protected-writes", "maybe"},
        {"--silent-after", "-1"},
        {"--page-erase-ms", "soon"},
        {"--chips", "2", "--fault-chips", "2"},
        {"--no-timing=1"},
        {"--wiring", "dtr"},
        {"--replace-after-go", "-5"},
        {"--link-prefix", "a/b"},
    };
    for (const auto& arguments : bad) {
        const auto parsed = parseSimCommandLine(arguments);
        EXPECT_NE(parsed.error, "") << arguments[0];
    }
    EXPECT_NE(parseSimCommandLine({"--chips", "0"}).error.find("--chips"), std::string::npos);
}

TEST(SimCommandLineTest, HelpDocumentsTheTimingDefaults) {
    EXPECT_TRUE(parseSimCommandLine({"--help"}).help);
    const std::string help = simHelpText();
    for (const char* text : {"--chips", "--code", "--baud", "--link-dir", "--dump-dir",
                             "(default 52)", "(default 30)", "(default 10)", "--latency-ms",
                             "11 bits per byte", "--bad-cell-probability", "SIGUSR1"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

TEST(SimCommandLineTest, EachChipGetsItsOwnSeedAndOnlyFaultChipsMisbehave) {
    auto parsed = parseSimCommandLine(
        {"--chips", "4", "--seed", "10", "--nack-probability", "0.5", "--fault-chips", "1,3"});
    ASSERT_EQ(parsed.error, "");
    const ChipOptions chip0 = optionsForChip(parsed.settings, 0);
    const ChipOptions chip1 = optionsForChip(parsed.settings, 1);
    const ChipOptions chip3 = optionsForChip(parsed.settings, 3);
    EXPECT_FALSE(chip0.faults.any());
    EXPECT_DOUBLE_EQ(chip1.faults.nackProbability, 0.5);
    EXPECT_EQ(chip1.faults.seed, 11u);
    EXPECT_EQ(chip3.faults.seed, 13u);
    EXPECT_NE(chip0.serialNumber, chip1.serialNumber);

    parsed = parseSimCommandLine({"--chips", "2", "--stray-zero"});
    EXPECT_TRUE(optionsForChip(parsed.settings, 0).faults.strayZeroBeforeSyncAck);
    EXPECT_TRUE(optionsForChip(parsed.settings, 1).faults.strayZeroBeforeSyncAck);
}

TEST(SimCommandLineTest, IndexLists) {
    std::vector<int> out;
    ASSERT_TRUE(parseIndexList("0,1,4-7", out));
    EXPECT_EQ(out, (std::vector<int>{0, 1, 4, 5, 6, 7}));
    for (const char* bad : {"", ",", "a", "1-", "-1", "5-2", "1,,2"})
        EXPECT_FALSE(parseIndexList(bad, out)) << bad;
}

}  // namespace
}  // namespace pellion::sim
