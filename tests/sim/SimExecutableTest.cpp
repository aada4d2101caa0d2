// Runs the built pellion-sim: device lines, links, dumps on SIGUSR1, clean exit on SIGTERM, the
// control endpoint and the options that shape a chip's start.
#ifdef PELLION_SIM_PATH

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "ChipProtocolTest.h"
#include "serial/posix/PtyLineChannel.h"
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

// One command to the control endpoint at `path`; its answer line.
std::string control(const std::filesystem::path& path, const std::string& command) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string answer;
    const std::string line = command + "\n";
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size())) {
        char c;
        while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
            answer += c;
    }
    ::close(fd);
    return answer;
}

// The device of each "chipK DEVICE" line pellion-sim prints at start.
std::vector<std::string> chipDevices(ChildProcess& sim, int count) {
    std::vector<std::string> devices;
    for (int i = 0; i < count; ++i) {
        std::istringstream line(sim.readLine());
        std::string name, device;
        line >> name >> device;
        devices.push_back(device);
    }
    return devices;
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
                      "--link-prefix", "big", "--dump-dir", dumps.string()});
    std::string devices[2];
    for (int i = 0; i < 2; ++i) {
        std::istringstream line(sim.readLine());
        std::string name, device, link;
        line >> name >> device >> link;
        EXPECT_EQ(name, "chip" + std::to_string(i));
        EXPECT_EQ(link, (links / ("big" + std::to_string(i))).string());
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
    EXPECT_FALSE(std::filesystem::exists(links / "big0")) << "links are removed on exit";
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

TEST_F(SimExecutableTest, ControlEndpointSwapsChipsAndEveryChipIsDumped) {
    const auto endpoint = dir_ / "control";
    const auto dumps = dir_ / "dumps";
    ChildProcess sim(PELLION_SIM_PATH, {"--chips", "2", "--no-timing", "--control",
                                        endpoint.string(), "--dump-dir", dumps.string()});
    const auto devices = chipDevices(sim, 2);
    EXPECT_EQ(control(endpoint, "lines 0"), "ok dtr=0 rts=0 reset=0 boot0=1 mode=bootloader");
    posix::PtyLineChannel lines;
    ASSERT_TRUE(lines.open(devices[0]).ok());
    ASSERT_TRUE(lines.setLines(true, std::nullopt).ok());
    EXPECT_EQ(control(endpoint, "lines 0"), "ok dtr=1 rts=0 reset=1 boot0=1 mode=reset");
    ASSERT_TRUE(lines.setLines(false, std::nullopt).ok());
    {
        RawChipLine line(devices[0]);
        line.write({0x7F});
        ASSERT_EQ(line.read(1), Bytes{kAck});
        line.write(command(0x31));
        line.write(addressFrame(0x08000000));
        line.write(dataFrame(pattern(8)));
        ASSERT_EQ(line.read(3), (Bytes{kAck, kAck, kAck}));
    }

    const std::string replaced = control(endpoint, "replace 0");
    ASSERT_EQ(replaced.rfind("ok sequence=1 uid=", 0), 0u) << replaced;
    const std::string uid = replaced.substr(replaced.size() - 24);
    const std::string state = control(endpoint, "state 0");
    EXPECT_EQ(state.rfind("ok {\"chip\":0,", 0), 0u) << state;
    EXPECT_NE(state.find("\"uniqueId\":\"" + uid + "\""), std::string::npos) << state;
    EXPECT_NE(state.find("\"state\":\"awaiting-sync\""), std::string::npos) << state;

    EXPECT_EQ(control(endpoint, "remove 1"), "ok");
    EXPECT_EQ(control(endpoint, "remove 1"), "error: socket 1 is already empty");
    EXPECT_EQ(control(endpoint, "lines 1"), "ok dtr=0 rts=0 reset=0 boot0=1 mode=empty");
    EXPECT_EQ(control(endpoint, "state 1"),
              "ok {\"chip\":1,\"device\":\"" + devices[1] + "\",\"state\":\"empty\"}");
    {
        RawChipLine line(devices[1]);
        line.write({0x7F});
        EXPECT_TRUE(line.read(1, milliseconds(300)).empty()) << "an empty socket";
    }
    EXPECT_EQ(control(endpoint, "insert 1").rfind("ok sequence=1 uid=", 0), 0u);
    EXPECT_EQ(control(endpoint, "insert 1"), "error: socket 1 holds a chip");
    EXPECT_EQ(control(endpoint, "lines 2"), "error: no socket 2 (there are 2)");
    EXPECT_EQ(control(endpoint, "reset 0"), "error: unknown command reset");
    EXPECT_EQ(control(endpoint, "state"), "error: state needs a socket number");

    sim.signal(SIGTERM);
    std::vector<std::string> summaries;
    for (int i = 0; i < 4; ++i)
        summaries.push_back(sim.readLine());
    EXPECT_EQ(sim.wait(), 0);
    EXPECT_EQ(sim.readLine(milliseconds(100)), "") << "one summary per chip";
    EXPECT_NE(summaries[0].find("\"writeMemory\":1"), std::string::npos) << summaries[0];
    EXPECT_NE(summaries[1].find(uid), std::string::npos) << summaries[1];
    EXPECT_NE(summaries[3].find("\"chip\":1,\"device\":\"" + devices[1] + "\",\"sequence\":1"),
              std::string::npos)
        << summaries[3];
    const Bytes first = fileBytes(dumps / "chip0.flash.bin");
    ASSERT_EQ(first.size(), 256u * 1024u);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 8), pattern(8));
    EXPECT_EQ(fileBytes(dumps / "chip0-1.flash.bin"), Bytes(256 * 1024, 0xFF));
    EXPECT_TRUE(std::filesystem::exists(dumps / "chip1-1.json"));
    EXPECT_FALSE(std::filesystem::exists(endpoint)) << "the socket is removed on exit";
}

TEST_F(SimExecutableTest, FaultChipsAloneGetTheStartState) {
    const auto image = dir_ / "image.bin";
    std::ofstream(image, std::ios::binary) << "old firmware";
    const auto dumps = dir_ / "dumps";
    ChildProcess sim(PELLION_SIM_PATH,
                     {"--chips", "3", "--no-timing", "--flash", image.string(),
                      "--readout-protected", "--write-protect", "0", "--stray-zero",
                      "--fault-chips", "2", "--dump-dir", dumps.string()});
    const auto devices = chipDevices(sim, 3);
    RawChipLine clean(devices[0]);
    clean.write({0x7F});
    EXPECT_EQ(clean.read(1), Bytes{kAck});
    clean.write(command(0x11));
    clean.write(addressFrame(0x08000000));
    clean.write({0x03, 0xFC});
    EXPECT_EQ(clean.read(7), (Bytes{kAck, kAck, kAck, 0xFF, 0xFF, 0xFF, 0xFF}));
    RawChipLine guarded(devices[2]);
    guarded.write({0x7F});
    EXPECT_EQ(guarded.read(2), (Bytes{0x00, kAck}));
    guarded.write(command(0x11));
    EXPECT_EQ(guarded.read(1), Bytes{kNack});

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(), 0);
    const auto json = [&](const char* name) {
        const Bytes bytes = fileBytes(dumps / name);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_NE(
        json("chip1.json").find("\"readoutProtected\":false,\"writeProtection\":\"0xFFFFFFFF\""),
        std::string::npos);
    EXPECT_NE(
        json("chip2.json").find("\"readoutProtected\":true,\"writeProtection\":\"0xFFFFFFFE\""),
        std::string::npos);
    EXPECT_EQ(fileBytes(dumps / "chip1.flash.bin")[0], 0xFF);
    const Bytes flash2 = fileBytes(dumps / "chip2.flash.bin");
    EXPECT_EQ(std::string(flash2.begin(), flash2.begin() + 12), "old firmware");
}

}  // namespace
}  // namespace pellion::test

#endif  // PELLION_SIM_PATH
