#include <filesystem>
#include <fstream>
#include <iterator>

#include "ChipProtocolTest.h"
#include "sim/ChipDump.h"
#include "sim/ChipSummary.h"

namespace pellion::test {
namespace {

constexpr std::uint32_t kFlash = 0x08000000;

Bytes fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ChipSummaryTest : public ChipProtocolTest {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/pellion-sim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(ChipSummaryTest, SummaryIsOneLineWithStateCommandsBusyTimeAndFaults) {
    sim::ChipOptions options;
    options.faults.badCellProbability = 1.0;
    options.writeProtectedRegions = 0x4;
    start(options);
    synchronise();
    exchange(command(0x02), 5);
    ASSERT_EQ(writeMemory(kFlash, pattern(8)), kAck);
    const std::string json = sim::summaryJson(chip(), 3);
    const auto stats = chip().stats();
    ASSERT_EQ(stats.flippedBits.size(), 1u);

    EXPECT_EQ(json.find('\n'), std::string::npos);
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.back(), '}');
    char flipped[64];
    std::snprintf(flipped, sizeof flipped, "\"flippedBits\":[{\"address\":\"0x%08X\",\"bit\":%d}]",
                  stats.flippedBits[0].address, stats.flippedBits[0].bit);
    const long long busy =
        std::chrono::duration_cast<std::chrono::microseconds>(stats.busy.total()).count();
    for (const std::string& part :
         {std::string("\"chip\":3"), "\"device\":\"" + chip().devicePath() + "\"",
          std::string("\"code\":\"1RCB\""), std::string("\"state\":\"synchronised\""),
          std::string("\"readoutProtected\":false"),
          std::string("\"writeProtection\":\"0xFFFFFFFB\""),
          std::string("\"commands\":{\"getId\":1,\"writeMemory\":1}"),
          std::string("\"commandCount\":2"), "\"total\":" + std::to_string(busy),
          std::string(flipped), std::string("\"disconnected\":false")}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n in " << json;
    }
}

TEST_F(ChipSummaryTest, DumpWritesFlashOptionBytesAndSummary) {
    start();
    synchronise();
    ASSERT_EQ(writeMemory(kFlash + 0x40, pattern(16)), kAck);
    const auto dumpDir = dir_ / "nested" / "dump";
    ASSERT_EQ(sim::writeChipDump(dumpDir.string(), chip(), 2), "");
    EXPECT_EQ(fileBytes(dumpDir / "chip2.flash.bin"), chip().flash());
    const auto options = chip().optionBytes();
    EXPECT_EQ(fileBytes(dumpDir / "chip2.option.bin"), Bytes(options.begin(), options.end()));
    const Bytes json = fileBytes(dumpDir / "chip2.json");
    EXPECT_EQ(std::string(json.begin(), json.end()), sim::summaryJson(chip(), 2) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dumpDir / "chip2.flash.bin.part"));
}

TEST_F(ChipSummaryTest, DumpIntoAFileFailsWithAReason) {
    start();
    const auto blocker = dir_ / "not-a-directory";
    std::ofstream(blocker) << "x";
    const std::string error = sim::writeChipDump(blocker.string(), chip(), 0);
    EXPECT_NE(error.find(blocker.string()), std::string::npos) << error;
}

}  // namespace
}  // namespace pellion::test
