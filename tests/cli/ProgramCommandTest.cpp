// The program and demo verbs, run as an operator runs them, against virtual chips served by
// this test process. The oracle is the chips' flash.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "support/VirtualChipFixture.h"

namespace pellion {
namespace {

using test::runCli;

constexpr std::uint32_t kFlashBase = 0x08000000;

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t((i * 31 + 7) % 251);
    return bytes;
}

class TempFile {
  public:
    explicit TempFile(const std::string& suffix) {
        path = "/tmp/pellion-cli-test-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + suffix;
    }
    ~TempFile() { std::remove(path.c_str()); }
    void write(const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string read() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string path;

  private:
    static inline int counter = 0;
};

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(ProgramCommand, ProgramsEveryPortAndReportsInJson) {
    test::VirtualChipFixture chips(2);
    ASSERT_TRUE(chips.ok()) << chips.error();
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(3333);
    image.write(bytes);

    const auto run =
        runCli({"program", "--file", image.path, "--port", chips.devicePath(0), "--port",
                chips.devicePath(1), "--baud", "115200", "--verify", "--json", report.path});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(chips.chip(i).readFlash(kFlashBase, bytes.size()), bytes) << i;

    // Not a terminal: plain lines, one per remark.
    EXPECT_NE(run.out.find(chips.devicePath(0) + ": 正在下载....."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(chips.devicePath(1) + ": 下载完成后成功跳转"), std::string::npos);
    EXPECT_EQ(run.out.find("\x1b["), std::string::npos);  // no cursor movements

    const std::string json = report.read();
    EXPECT_EQ(countOf(json, "\"result\": \"succeeded\""), 2u) << json;
    EXPECT_EQ(countOf(json, "\"deviceCode\": \"1RCB\""), 2u);
    EXPECT_EQ(countOf(json, "\"partName\": \"KTM1RCB-0256\""), 2u);
    EXPECT_EQ(countOf(json, "\"bytesWritten\": 3333"), 2u);
    EXPECT_EQ(countOf(json, "\"verified\": true"), 2u);
    EXPECT_NE(json.find("\"allSucceeded\": true"), std::string::npos);
}

TEST(ProgramCommand, AFailingChipMakesTheExitStatusNonZeroAndIsNamed) {
    test::VirtualChipFixture chips(2, [](std::size_t i) {
        sim::ChipOptions options;
        if (i == 1)
            options.faults.silentAfterCommands = 3;
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(2000);
    image.write(bytes);
    const auto run = runCli({"program", "--file", image.path, "--port", chips.devicePath(0),
                             "--port", chips.devicePath(1), "--json", report.path});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, bytes.size()), bytes);
    EXPECT_NE(run.out.find("FAILED  " + chips.devicePath(1)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("芯片无应答"), std::string::npos);
    const std::string json = report.read();
    EXPECT_EQ(countOf(json, "\"result\": \"succeeded\""), 1u) << json;
    EXPECT_EQ(countOf(json, "\"result\": \"failed\""), 1u);
    EXPECT_NE(json.find("\"allSucceeded\": false"), std::string::npos);
}

TEST(ProgramCommand, TheReportCountsOnlyTheBytesTheChipTook) {
    test::VirtualChipFixture chips(1, [](std::size_t) {
        sim::ChipOptions options;
        options.faults.disconnectAfterBytes = 1000;  // while the fifth block is on its way
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(3000);
    image.write(bytes);
    const auto run = runCli(
        {"program", "--file", image.path, "--port", chips.devicePath(0), "--json", report.path});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::string json = report.read();
    const auto at = json.find("\"bytesWritten\": ");
    ASSERT_NE(at, std::string::npos) << json;
    const std::size_t written = std::stoul(json.substr(at + 16));
    EXPECT_GT(written, 0u) << json;
    EXPECT_LT(written, bytes.size());
    // Every byte counted is on the chip; the block in flight when the line went is not counted.
    const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + long(written));
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, written), head) << json;
}

TEST(ProgramCommand, AChipThatFailsIdentificationIsLeftOutAndTheOthersAreProgrammed) {
    test::VirtualChipFixture chips(2, [](std::size_t i) {
        sim::ChipOptions options;
        if (i == 1)
            options.faults.silentAfterCommands = 0;  // answers SYNC, then nothing
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(1000);
    image.write(bytes);
    const auto run = runCli({"program", "--file", image.path, "--port", chips.devicePath(0),
                             "--port", chips.devicePath(1), "--json", report.path});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, bytes.size()), bytes);
    // Named by what went wrong with it, not as a chip without a model.
    EXPECT_EQ(run.err.find("芯片请选择型号!"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("FAILED  " + chips.devicePath(1) + ": 读取芯片信息失败,芯片无应答"),
              std::string::npos)
        << run.out;
    const std::string json = report.read();
    EXPECT_EQ(countOf(json, "\"result\": \"succeeded\""), 1u) << json;
    EXPECT_EQ(countOf(json, "\"result\": \"failed\""), 1u);
    EXPECT_NE(json.find("\"refused\": \"\""), std::string::npos);
}

TEST(ProgramCommand, ModelProtectAndOptionsReachTheChips) {
    test::VirtualChipFixture chips(1, [](std::size_t) {
        sim::ChipOptions options;
        options.code = DeviceCode("5RCB");
        options.deviceCodeCommand = false;  // identified only by the model given
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin");
    const auto bytes = pattern(1500);
    image.write(bytes);

    const auto withoutModel =
        runCli({"program", "--file", image.path, "--port", chips.devicePath(0)});
    EXPECT_EQ(withoutModel.exitCode, 1);
    EXPECT_NE(withoutModel.err.find("芯片请选择型号!"), std::string::npos) << withoutModel.err;

    const auto run =
        runCli({"program", "--file", image.path, "--port", chips.devicePath(0), "--model",
                "KTM5RCB-0256", "--protect", "--interval", "1", "--address", "0x08000000"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(chips.chip(0).readoutProtected());
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, bytes.size()), bytes);
    EXPECT_NE(run.out.find("下载完成，设置读保护成功"), std::string::npos);
}

TEST(ProgramCommand, RefusalsAndWrongCommandLines) {
    test::VirtualChipFixture chips(1);
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin");
    image.write(pattern(300 * 1024));  // larger than the 256 KiB chip
    const auto tooBig = runCli({"program", "--file", image.path, "--port", chips.devicePath(0)});
    EXPECT_EQ(tooBig.exitCode, 1);
    EXPECT_NE(tooBig.err.find("超出芯片闪存末地址"), std::string::npos) << tooBig.err;
    EXPECT_EQ(chips.chip(0).stats().commandsNamed("erase"), 0u);

    // The identified chip's remark ("ready for the next step") does not stand as the failure.
    EXPECT_NE(tooBig.out.find("FAILED  " + chips.devicePath(0) +
                              " (KTM1RCB-0256): not started, the run was refused"),
              std::string::npos)
        << tooBig.out;
    const auto missing =
        runCli({"program", "--file", image.path + ".none", "--port", chips.devicePath(0)});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("不存在!"), std::string::npos) << missing.err;
    EXPECT_NE(missing.out.find("not started, the run was refused"), std::string::npos);

    // A model that names no part is a mistake of the command line: no chip is touched.
    const auto syncsBefore = chips.chip(0).stats().syncs;
    const auto badModel = runCli(
        {"program", "--file", image.path, "--port", chips.devicePath(0), "--model", "KTM-NONE"});
    EXPECT_EQ(badModel.exitCode, 2);
    EXPECT_NE(badModel.err.find("--model 'KTM-NONE' is no known part name"), std::string::npos)
        << badModel.err;
    EXPECT_EQ(chips.chip(0).stats().syncs, syncsBefore);

    const auto absent = runCli({"program", "--file", image.path, "--port", "/dev/pellion-none"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_NE(absent.err.find("串口被占用!"), std::string::npos) << absent.err;

    EXPECT_EQ(runCli({"program", "--port", chips.devicePath(0)}).exitCode, 2);
    EXPECT_EQ(runCli({"program", "--file", image.path}).exitCode, 2);
    EXPECT_EQ(runCli({"program", "--file", image.path, "--port", "x", "--baud", "fast"}).exitCode,
              2);
    EXPECT_EQ(runCli({"program", "--file", image.path, "--port", "x", "--bogus"}).exitCode, 2);
    const auto help = runCli({"program", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--json FILE"), std::string::npos);
}

TEST(DemoCommand, ProgramsAndChecksVirtualChips) {
    const auto run = runCli({"demo", "--chips", "3", "--baud", "230400"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(countOf(run.out, "flash holds the image, 5420 bytes, verified by the engine"), 3u)
        << run.out;
    EXPECT_NE(run.out.find("All 3 of 3 chips hold the image."), std::string::npos);
    EXPECT_EQ(runCli({"demo", "--chips", "0"}).exitCode, 2);
}

}  // namespace
}  // namespace pellion

namespace pellion {
namespace {

// Runs pellion-cli with its standard output on a terminal (a pseudo-terminal here).
std::string runCliOnTerminal(const std::vector<std::string>& args, int& exitCode) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    const std::string slavePath = ::ptsname(master);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int slave = ::open(slavePath.c_str(), O_RDWR);
        ::dup2(slave, STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(PELLION_CLI_PATH)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(PELLION_CLI_PATH, argv.data());
        ::_exit(127);
    }
    std::string out;
    char buffer[4096];
    int status = 0;
    while (true) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                out.append(buffer, std::size_t(n));
            if (n > 0)
                continue;
        }
        if (::waitpid(pid, &status, WNOHANG) == pid)
            break;
    }
    // What was written last, after the child ended.
    for (pollfd p{master, POLLIN, 0}; ::poll(&p, 1, 50) > 0;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, std::size_t(n));
    }
    ::close(master);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(ProgramCommand, OnATerminalTheRowsAreRedrawnInPlace) {
    test::VirtualChipFixture chips(2, [](std::size_t) {
        sim::ChipOptions options;
        options.timing.enabled = true;  // a run long enough for several drawings
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin");
    image.write(pattern(4000));
    int exitCode = -1;
    const std::string out = runCliOnTerminal({"program", "--file", image.path, "--port",
                                              chips.devicePath(0), "--port", chips.devicePath(1)},
                                             exitCode);
    EXPECT_EQ(exitCode, 0) << out;
    EXPECT_NE(out.find("\x1b[3A"), std::string::npos) << out;  // header and two rows, redrawn
    EXPECT_NE(out.find("PORT"), std::string::npos);
    EXPECT_GE(countOf(out, "100.00%"), 2u);
    EXPECT_EQ(out.find(chips.devicePath(0) + ": 正在下载....."),
              std::string::npos);  // no plain lines
}

}  // namespace
}  // namespace pellion
