// Read-back verification: a chip is called programmed only when its flash equals the image.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "EngineRig.h"
#include "engine/BootloaderCodec.h"
#include "support/PtyPair.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

TEST(Verify, AMatchingChipIsVerifiedBeforeItIsStarted) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(1000);  // four reads: 256, 256, 256, 232
    rig.setImage(image);
    rig.host->verify = true;
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_TRUE(rig.slot(0).result.verified);
    EXPECT_TRUE(rig.remarked(0, "正在校验,请稍后....."));
    EXPECT_TRUE(rig.remarked(0, "校验成功"));
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成后成功跳转");
    EXPECT_EQ(chip.state(), sim::ChipState::Application);
    // The option bytes once, then the image in reads of up to 256 bytes.
    EXPECT_EQ(chip.stats().commandsNamed("readMemory"), 1u + 4u);
    // The bar covers writing and reading back.
    EXPECT_EQ(rig.row(0).progressMaximum, 1999);
    EXPECT_EQ(rig.row(0).progressPosition, 2000);
}

TEST(Verify, WithoutVerificationNothingIsReadBack) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(1000));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(chip.stats().commandsNamed("readMemory"), 1u);
    EXPECT_FALSE(rig.slot(0).result.verified);
    EXPECT_FALSE(rig.remarked(0, "正在校验,请稍后....."));
    EXPECT_EQ(rig.row(0).progressMaximum, 999);
}

TEST(Verify, ProtectionAppearingAfterTheOptionBytesWereReadIsCaught) {
    // The chip protects region 3 (0x08003000..) only once its option bytes were read: it then
    // acknowledges the erase and the writes there without effect. Without read-back the chip
    // would be reported as programmed.
    for (bool verify : {false, true}) {
        EngineRig rig;
        auto& chip = rig.addChip("1RCB");
        rig.build();
        rig.tickAllAndIdentify();
        rig.host->onRowChanged = [&](std::int32_t, std::int32_t column) {
            if (column == ColumnRemark &&
                rig.row(0).texts[ColumnRemark] == "正在擦除芯片,请稍后.....")
                chip.setWriteProtectedRegions(1u << 3);
        };
        const auto image = patternImage(20 * 1024);
        rig.setImage(image);
        rig.host->verify = verify;
        ASSERT_TRUE(rig.run());
        EXPECT_NE(rig.flashOf(0, kFlashBase + 0x3000, 16),
                  std::vector<std::uint8_t>(image.begin() + 0x3000, image.begin() + 0x3010));
        if (!verify) {
            EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);  // the hazard
            continue;
        }
        EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
        EXPECT_EQ(rig.row(0).texts[ColumnRemark], "校验失败,地址0x08003000的内容与下载文件不同");
        EXPECT_NE(chip.state(), sim::ChipState::Application);  // nothing was started
        EXPECT_EQ(chip.stats().commandsNamed("go"), 0u);
    }
}

TEST(Verify, ABadFlashCellFailsAtItsAddress) {
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.faults.badCellProbability = 0.2;
    options.faults.seed = 7;
    auto& chip = rig.addChip(options);
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(8000);
    rig.setImage(image);
    rig.host->verify = true;
    ASSERT_TRUE(rig.run());
    const auto flipped = chip.stats().flippedBits;
    ASSERT_FALSE(flipped.empty());
    std::uint32_t first = flipped.front().address;
    for (const auto& bit : flipped)
        first = std::min(first, bit.address);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark],
              "校验失败,地址" + hex32(first) + "的内容与下载文件不同");
    EXPECT_EQ(chip.stats().commandsNamed("go"), 0u);
}

TEST(Verify, ReadProtectionFollowsASuccessfulReadBack) {
    EngineRig rig;
    auto& chip = rig.addChip("5R8B");
    rig.build();
    rig.tickAllAndIdentify();
    const auto image = patternImage(3000);
    rig.setImage(image);
    rig.host->verify = true;
    rig.host->readProtect = true;
    ASSERT_TRUE(rig.run());
    EXPECT_TRUE(chip.readoutProtected());
    EXPECT_TRUE(rig.slot(0).result.verified);
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成，设置读保护成功");
    EXPECT_EQ(rig.flashOf(0, kFlashBase, image.size()), image);
}

TEST(Verify, OptionBytesAreReadBackAfterTheChipRestarted) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto option = unprotectedOptionBytes(0x7C);
    rig.setImage(option, kOptionBytesAddress);
    rig.host->verify = true;
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_TRUE(rig.slot(0).result.verified);
    const auto written = chip.optionBytes();
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), option);
    EXPECT_EQ(rig.row(0).progressMaximum, 31);
}

TEST(Verify, OptionBytesThenReadProtectionKeepTheDownloadedBytes) {
    // The chip restarts after its option bytes are written: it is synchronised again before
    // the protection is written, and the protection goes on top of the downloaded bytes.
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    const auto option = unprotectedOptionBytes(0x7C);
    rig.setImage(option, kOptionBytesAddress);
    rig.host->readProtect = true;
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_TRUE(chip.readoutProtected());
    EXPECT_EQ(chip.optionBytes()[2], 0x7C);  // the downloaded user byte survived
}

TEST(Verify, AnswersArrivingInPiecesAreJoined) {
    // A USB adapter holds bytes back for its latency timer: a 257-byte answer arrives in
    // several deliveries.
    EngineRig rig;
    sim::ChipOptions options;
    options.code = DeviceCode("1RCB");
    options.timing.enabled = true;
    options.timing.adapterLatency = std::chrono::milliseconds(16);
    auto& chip = rig.addChip(options);
    rig.build();
    rig.row(0).texts[ColumnBaud] = "921600";
    rig.tickAllAndIdentify();
    const auto image = patternImage(2048);
    rig.setImage(image);
    rig.host->verify = true;
    ASSERT_TRUE(rig.run(60s));
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded) << rig.row(0).texts[ColumnRemark];
    EXPECT_TRUE(rig.slot(0).result.verified);
    EXPECT_EQ(chip.readFlash(kFlashBase, image.size()), image);
    EXPECT_GT(rig.slot(0).cycle.joinedAnswers, 0u);
}

// Stands between the host and a chip and flips the same bit of two neighbouring bytes in the
// first data frame: the frame's XOR checksum still holds, so the chip programs wrong data.
class CorruptingLine {
  public:
    explicit CorruptingLine(const std::string& chipDevice) {
        chipFd_ = ::open(chipDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios mode{};
        if (chipFd_ >= 0 && ::tcgetattr(chipFd_, &mode) == 0) {
            ::cfmakeraw(&mode);
            ::tcsetattr(chipFd_, TCSANOW, &mode);
        }
        relay_ = std::thread([this] { relay(); });
    }
    ~CorruptingLine() {
        stop_ = true;
        relay_.join();
        if (chipFd_ >= 0)
            ::close(chipFd_);
    }
    bool ok() const { return chipFd_ >= 0 && host_.ok(); }
    const std::string& hostDevice() const { return host_.slavePath(); }
    static constexpr std::size_t kFirstFlipped = 10;

  private:
    void relay() {
        while (!stop_) {
            pollfd fds[2] = {{host_.masterFd(), POLLIN, 0}, {chipFd_, POLLIN, 0}};
            if (::poll(fds, 2, 10) <= 0)
                continue;
            std::uint8_t buffer[512];
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(host_.masterFd(), buffer, sizeof buffer);
                for (ssize_t i = 0; i < n; ++i)
                    buffer[i] = corrupt(buffer[i]);
                if (n > 0)
                    writeAll(chipFd_, buffer, std::size_t(n));
            }
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::read(chipFd_, buffer, sizeof buffer);
                if (n > 0)
                    writeAll(host_.masterFd(), buffer, std::size_t(n));
            }
        }
    }
    static void writeAll(int fd, const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            const ssize_t n = ::write(fd, bytes, count);
            if (n > 0) {
                bytes += n;
                count -= std::size_t(n);
            } else {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
    }
    // Host to chip: after 31 CE, five address bytes and the length byte come the data.
    std::uint8_t corrupt(std::uint8_t byte) {
        switch (phase_) {
            case 0:
                phase_ = (previous_ == 0x31 && byte == 0xCE) ? 1 : 0;
                previous_ = byte;
                return byte;
            case 1:
                if (++counted_ == 6) {  // address and length
                    phase_ = 2;
                    counted_ = 0;
                }
                return byte;
            case 2: {
                const std::size_t index = counted_++;
                if (index == kFirstFlipped + 1)
                    phase_ = 3;
                return index >= kFirstFlipped ? std::uint8_t(byte ^ 0x01) : byte;
            }
            default:
                return byte;
        }
    }

    PtyPair host_;
    int chipFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread relay_;
    int phase_ = 0;
    std::uint8_t previous_ = 0;
    std::size_t counted_ = 0;
};

TEST(Verify, DataCorruptedOnTheLineBehindAValidChecksumIsCaught) {
    EngineRig rig;
    auto& chip = rig.addChip("1RCB");
    CorruptingLine line(chip.devicePath());
    ASSERT_TRUE(line.ok());
    rig.extraDevices = {line.hostDevice()};
    rig.build();
    rig.tick(1);
    ASSERT_TRUE(rig.waitIdentified(1));
    const auto image = patternImage(600);
    rig.setImage(image);
    rig.host->verify = true;
    ASSERT_TRUE(rig.run());
    // The chip acknowledged the corrupted block; the flash proves the corruption.
    EXPECT_NE(chip.readFlash(kFlashBase + CorruptingLine::kFirstFlipped, 1)[0],
              image[CorruptingLine::kFirstFlipped]);
    EXPECT_EQ(rig.slot(1).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.row(1).texts[ColumnRemark],
              "校验失败,地址" + hex32(kFlashBase + CorruptingLine::kFirstFlipped) +
                  "的内容与下载文件不同");
}

}  // namespace
}  // namespace pellion::test
