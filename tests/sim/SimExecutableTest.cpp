// Runs the built pellion-sim: device lines, links, dumps on SIGUSR1, clean exit on SIGTERM.
#ifdef PELLION_SIM_PATH

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "ChipProtocolTest.h"
#include "support/ChildProcess.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

Bytes fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool waitForFile(const std::filesystem::path& path, milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (SteadyClock::now() < deadline) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return false;
}

class SimExecutableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/pellion-sim-exe-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(SimExecutableTest, ServesChipsDumpsOnSignalAndExitsCleanly) {
    const auto links = dir_ / "links";
    const auto dumps = dir_ / "dumps";
    ChildProcess sim(PELLION_SIM_PATH,
                     {"--chips", "2", "--code", "1RGB", "--no-timing", "--link-dir", links.string(),
                      "--dump-dir", dumps.string()});
    std::string devices[2];
    for (int i = 0; i < 2; ++i) {
        std::istringstream line(sim.readLine());
        std::string name, device, link;
        line >> name >> device >> link;
        EXPECT_EQ(name, "chip" + std::to_string(i));
        EXPECT_EQ(link, (links / name).string());
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);
        devices[i] = link;
    }

    {
        RawChipLine line(devices[1]);
        ASSERT_TRUE(line.ok()) << line.error();
        line.write({0x7F});
        ASSERT_EQ(line.read(1), Bytes{kAck});
        line.write(command(0x31));
        ASSERT_EQ(line.read(1), Bytes{kAck});
        line.write(addressFrame(0x08000010));
        ASSERT_EQ(line.read(1), Bytes{kAck});
        line.write(dataFrame(pattern(8)));
        ASSERT_EQ(line.read(1), Bytes{kAck});
    }

    sim.signal(SIGUSR1);
    ASSERT_TRUE(waitForFile(dumps / "chip1.json", milliseconds(5000)));
    const Bytes flash = fileBytes(dumps / "chip1.flash.bin");
    ASSERT_EQ(flash.size(), 1024u * 1024u);
    EXPECT_EQ(Bytes(flash.begin() + 0x10, flash.begin() + 0x18), pattern(8));
    EXPECT_EQ(fileBytes(dumps / "chip0.option.bin").size(), 16u);

    sim.signal(SIGTERM);
    const std::string summary0 = sim.readLine();
    const std::string summary1 = sim.readLine();
    EXPECT_EQ(sim.wait(), 0);
    EXPECT_NE(summary0.find("\"chip\":0"), std::string::npos) << summary0;
    EXPECT_NE(summary1.find("\"writeMemory\":1"), std::string::npos) << summary1;
    EXPECT_FALSE(std::filesystem::exists(links / "chip0")) << "links are removed on exit";
    const Bytes json = fileBytes(dumps / "chip1.json");
    EXPECT_EQ(std::string(json.begin(), json.end()), summary1 + "\n");
}

TEST_F(SimExecutableTest, StartsWithGivenFlashAndProtection) {
    const auto image = dir_ / "image.bin";
    {
        std::ofstream out(image, std::ios::binary);
        const Bytes content = pattern(64, 3);
        out.write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
    }
    ChildProcess sim(PELLION_SIM_PATH,
                     {"--flash", image.string(), "--write-protect", "0", "--no-timing"});
    std::istringstream line(sim.readLine());
    std::string name, device;
    line >> name >> device;
    RawChipLine chipLine(device);
    chipLine.write({0x7F});
    ASSERT_EQ(chipLine.read(1), Bytes{kAck});
    chipLine.write(command(0x11));
    ASSERT_EQ(chipLine.read(1), Bytes{kAck});
    chipLine.write(addressFrame(0x08000000));
    ASSERT_EQ(chipLine.read(1), Bytes{kAck});
    chipLine.write({0x3F, 0xC0});
    EXPECT_EQ(chipLine.read(65), concat({{kAck}, pattern(64, 3)}));
    chipLine.write(command(0x11));
    chipLine.read(1);
    chipLine.write(addressFrame(0x1FFFF808));
    chipLine.read(1);
    chipLine.write({0x01, 0xFE});
    EXPECT_EQ(chipLine.read(3), (Bytes{kAck, 0xFE, 0x01}));
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(), 0);
}

TEST_F(SimExecutableTest, BadCommandLinesAreExplained) {
    ChildProcess sim(PELLION_SIM_PATH, {"--chips", "two"});
    EXPECT_EQ(sim.wait(), 2);
    EXPECT_NE(sim.readAllErrors().find("--chips"), std::string::npos);

    ChildProcess unknown(PELLION_SIM_PATH, {"--code", "9XYZ"});
    EXPECT_EQ(unknown.wait(), 1);
    EXPECT_NE(unknown.readAllErrors().find("9XYZ"), std::string::npos);

    ChildProcess missing(PELLION_SIM_PATH, {"--flash", (dir_ / "absent.bin").string()});
    EXPECT_EQ(missing.wait(), 1);
    EXPECT_NE(missing.readAllErrors().find("absent.bin"), std::string::npos);

    ChildProcess help(PELLION_SIM_PATH, {"--help"});
    EXPECT_EQ(help.readLine(), "Usage: pellion-sim [options]");
    EXPECT_EQ(help.wait(), 0);
}

}  // namespace
}  // namespace pellion::test

#endif  // PELLION_SIM_PATH
