// Runs the built pellion-sim: device lines, links, dumps on SIGUSR1, clean exit on SIGTERM.
#ifdef PELLION_SIM_PATH

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "ChipProtocolTest.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// pellion-sim as a child process with its output on pipes.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& arguments) {
        int out[2];
        int err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::close(out[0]);
            ::close(err[0]);
            std::vector<char*> argv{const_cast<char*>(PELLION_SIM_PATH)};
            for (const auto& a : arguments)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(PELLION_SIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // The next line of standard output (without its newline), or "" after `timeout`.
    std::string readLine(milliseconds timeout = milliseconds(5000)) {
        const auto deadline = SteadyClock::now() + timeout;
        while (true) {
            if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count();
            pollfd p{out_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
                return "";
            char chunk[1024];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0)
                return "";
            buffer_.append(chunk, std::size_t(n));
        }
    }
    std::string readAllErrors() {
        std::string all;
        char chunk[1024];
        ssize_t n;
        while ((n = ::read(err_, chunk, sizeof chunk)) > 0)
            all.append(chunk, std::size_t(n));
        return all;
    }
    void signal(int number) { ::kill(pid_, number); }
    // The exit code, or -1 when it did not exit normally within `timeout`.
    int wait(milliseconds timeout = milliseconds(10000)) {
        const auto deadline = SteadyClock::now() + timeout;
        int status = 0;
        while (SteadyClock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

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
    SimProcess sim({"--chips", "2", "--code", "1RGB", "--no-timing", "--link-dir", links.string(),
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
    SimProcess sim({"--flash", image.string(), "--write-protect", "0", "--no-timing"});
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
    SimProcess sim({"--chips", "two"});
    EXPECT_EQ(sim.wait(), 2);
    EXPECT_NE(sim.readAllErrors().find("--chips"), std::string::npos);

    SimProcess unknown({"--code", "9XYZ"});
    EXPECT_EQ(unknown.wait(), 1);
    EXPECT_NE(unknown.readAllErrors().find("9XYZ"), std::string::npos);

    SimProcess missing({"--flash", (dir_ / "absent.bin").string()});
    EXPECT_EQ(missing.wait(), 1);
    EXPECT_NE(missing.readAllErrors().find("absent.bin"), std::string::npos);

    SimProcess help({"--help"});
    EXPECT_EQ(help.readLine(), "Usage: pellion-sim [options]");
    EXPECT_EQ(help.wait(), 0);
}

}  // namespace
}  // namespace pellion::test

#endif  // PELLION_SIM_PATH
