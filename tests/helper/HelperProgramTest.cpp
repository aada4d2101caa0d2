// The RAM helper as built for the host, run by the virtual chip's emulated core: loaded with the
// ROM protocol over a pseudo-terminal, then spoken to through engine's helper codec.

#include <gtest/gtest.h>

#include <thread>

#include "engine/HelperImage.h"
#include "image/Crc32.h"
#include "sim/ChipSummary.h"
#include "support/HelperLink.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Status = HelperStatus;
constexpr std::uint32_t kFlash = 0x08000000;

// A program image: a vector table (stack in RAM, entry in flash), then pseudo-random bytes.
Bytes imageOf(std::size_t length, std::uint32_t seed) {
    Bytes bytes(length);
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = std::uint8_t(seed >> 16);
    }
    const Bytes vectors = {0x00, 0x50, 0x00, 0x20, 0x01, 0x01, 0x00, 0x08};
    std::copy(vectors.begin(), vectors.end(), bytes.begin());
    return bytes;
}

std::uint32_t crcOf(const Bytes& bytes) {
    return crc32(bytes.data(), bytes.size());
}

class HelperProgramTest : public ::testing::Test {
  protected:
    void start(const sim::ChipOptions& options = {}, std::uint32_t baud = 115200) {
        if (!HelperAvailable())
            GTEST_SKIP() << "built without the cross compiler: no helper to run";
        chips_ = std::make_unique<VirtualChipFixture>(1, options);
        ASSERT_TRUE(chips_->ok()) << chips_->error();
        line_ = std::make_unique<RawChipLine>(chips_->devicePath(0), baud);
        ASSERT_TRUE(line_->ok()) << line_->error();
        link_ = std::make_unique<HelperLink>(*line_, baud);
    }
    void load() {
        const std::string error = link_->load();
        ASSERT_EQ(error, "") << summary();
        ASSERT_EQ(chip().state(), sim::ChipState::Helper) << summary();
    }
    sim::VirtualChip& chip() { return chips_->chip(0); }
    DeviceGeometry geometry() { return chip().geometry(); }
    std::string summary() { return sim::summaryJson(chip(), 0); }
    // Every test that runs the real helper ends with a helper that made no error.
    void TearDown() override {
        if (chips_ && link_) {
            EXPECT_EQ(chip().stats().helperError, "") << summary();
        }
    }

    std::unique_ptr<VirtualChipFixture> chips_;
    std::unique_ptr<RawChipLine> line_;
    std::unique_ptr<HelperLink> link_;
};

TEST_F(HelperProgramTest, WritesVerifiesAndStartsAnImageDespiteACorruptedChunk) {
    sim::ChipOptions options;
    options.applicationText = "app up";
    start(options);
    load();
    const Bytes image = imageOf(64 * 1024, 7);
    ASSERT_EQ(link_->erase(geometry(), kFlash, std::uint32_t(image.size()))->status, Status::Ok);
    // One chunk is damaged on the line: its CRC fails, the helper refuses it, it is sent again.
    const auto written = link_->write(kFlash, image, [](int chunk, Frame& frame) {
        if (chunk == 5)
            frame.bytes[100] ^= 0x10;
    });
    ASSERT_TRUE(written.ok) << (written.failure ? int(written.failure->status) : -1) << " "
                            << (written.failure ? written.failure->value : 0) << summary();
    EXPECT_EQ(written.resent, 1);
    const auto crc = link_->crc(kFlash, std::uint32_t(image.size()));
    ASSERT_TRUE(crc);
    EXPECT_EQ(crc->value, crcOf(image));
    EXPECT_EQ(chip().readFlash(kFlash, image.size()), image);

    // Cells already programmed: the same data again is harmless, other data is an error that
    // names the first half-word that could not be programmed.
    Bytes again(image.begin() + 1024, image.begin() + 1536);
    EXPECT_TRUE(link_->write(kFlash + 1024, again).ok);
    again[6] ^= 0x01;
    const auto refused = link_->write(kFlash + 1024, again);
    ASSERT_TRUE(refused.failure);
    EXPECT_EQ(refused.failure->status, Status::ProgramError);
    EXPECT_EQ(refused.failure->value, kFlash + 1024 + 6);
    EXPECT_EQ(link_->crc(kFlash, std::uint32_t(image.size()))->value, crcOf(image));

    // A range outside the flash is refused, not read.
    EXPECT_EQ(link_->crc(kFlash + 255 * 1024, 2048)->status, Status::BadRequest);

    Frame frame;
    MakeHelperRunFrame(frame);
    EXPECT_EQ(link_->exchange(frame, 500ms)->status, Status::Ok);
    EXPECT_TRUE(chip().waitUntil(
        [](const sim::VirtualChip& c) { return c.state() == sim::ChipState::Application; }, 2s));
    const auto text = line_->read(32, 2s);
    EXPECT_NE(std::string(text.begin(), text.end()).find("app up"), std::string::npos);
    EXPECT_EQ(chip().stats().helperEnding, "program-started");
}

TEST_F(HelperProgramTest, CrcCatchesABadCellAndProtectedPagesAreRefused) {
    sim::ChipOptions options;
    options.faults.badCellProbability = 0.002;  // per programmed half-word
    options.writeProtectedRegions = 1u << 3;    // 0x08003000..0x08003FFF
    start(options);
    load();
    const Bytes image = imageOf(16 * 1024, 3);
    const auto refused = link_->erase(geometry(), kFlash, std::uint32_t(image.size()));
    EXPECT_EQ(refused->status, Status::Protected);
    EXPECT_EQ(refused->value, kFlash + 0x3000) << "the first protected page";
    ASSERT_EQ(link_->erase(geometry(), kFlash, 0x3000)->status, Status::Ok);
    ASSERT_TRUE(link_->write(kFlash, std::span(image).first(0x3000)).ok) << summary();
    const auto flipped = chip().stats().flippedBits;
    ASSERT_FALSE(flipped.empty());
    EXPECT_NE(link_->crc(kFlash, 0x3000)->value,
              crcOf(Bytes(image.begin(), image.begin() + 0x3000)));

    const auto write = link_->write(kFlash + 0x3800, std::span(image).subspan(0x3800, 512));
    ASSERT_TRUE(write.failure);
    EXPECT_EQ(write.failure->status, Status::Protected);
    EXPECT_EQ(write.failure->value, kFlash + 0x3800);
}

TEST_F(HelperProgramTest, SwitchesLineSpeedFallsBackAndResetsIntoTheBootloader) {
    sim::ChipOptions options;
    options.timing.enabled = true;  // wire, flash and receive overruns as on a real line
    start(options);
    load();
    using Speed = HelperLink::SpeedResult;
    EXPECT_EQ(link_->switchSpeed(460800), Speed::Switched);
    EXPECT_EQ(link_->switchSpeed(921600), Speed::Switched);
    EXPECT_EQ(link_->switchSpeed(3000000), Speed::Refused) << "64 MHz / 21 is 1.6 % off";
    // An adapter that cannot follow: the helper goes back to 921600 on its own.
    EXPECT_EQ(link_->switchSpeed(460800, false), Speed::FellBack);

    // At 921600 the next chunk arrives while the last is programmed.
    const Bytes image = imageOf(16 * 1024, 11);
    ASSERT_EQ(link_->erase(geometry(), kFlash, std::uint32_t(image.size()))->status, Status::Ok);
    const auto written = link_->write(kFlash, image);
    ASSERT_TRUE(written.ok) << (written.failure ? int(written.failure->status) : -1) << " "
                            << summary();
    EXPECT_EQ(link_->crc(kFlash, std::uint32_t(image.size()))->value, crcOf(image));

    Frame frame;
    MakeHelperResetFrame(frame);
    EXPECT_EQ(link_->exchange(frame, 500ms)->status, Status::Ok);
    EXPECT_TRUE(chip().waitUntil(
        [](const sim::VirtualChip& c) { return c.state() == sim::ChipState::AwaitingSync; }, 2s))
        << summary();
    EXPECT_EQ(chip().stats().helperEnding, "system-reset");
    EXPECT_EQ(line_->read(1, 200ms), Bytes{}) << "nothing after the reset answer";
    EXPECT_TRUE(line_->write({0x7F}));
    EXPECT_EQ(line_->read(1, 1s), Bytes{ACK}) << "the bootloader answers at the helper's speed";
}

// Programs that break the model's rules end the emulation with an error in the summary.
TEST_F(HelperProgramTest, BrokenProgramsEndWithTheirErrorInTheSummary) {
    const Bytes unknownRegister = {0x00, 0x18, 0x00, 0x20, 0x09, 0x08, 0x00, 0x20, 0x01, 0x48,
                                   0x01, 0x21, 0x01, 0x64, 0xfe, 0xe7, 0x00, 0x10, 0x02, 0x40};
    const Bytes waitsForACrystal = {0x00, 0x18, 0x00, 0x20, 0x09, 0x08, 0x00, 0x20,
                                    0x04, 0x48, 0x01, 0x68, 0x41, 0xf4, 0x80, 0x31,
                                    0x01, 0x60, 0x01, 0x68, 0x11, 0xf4, 0x00, 0x3f,
                                    0xfb, 0xd0, 0xfe, 0xe7, 0x00, 0x10, 0x02, 0x40};
    const std::pair<Bytes, std::string> cases[] = {
        {unknownRegister, "writes 0x00000001 to 0x40021040, a clock controller register"},
        {waitsForACrystal, "spins on 0x40021000 (clock controller)"}};
    for (const auto& [program, error] : cases) {
        chips_ = std::make_unique<VirtualChipFixture>(1);
        ASSERT_TRUE(chips_->ok());
        RawChipLine line(chips_->devicePath(0));
        ASSERT_EQ(HelperLink(line, 115200).loadAndGo(program), "");
        EXPECT_TRUE(chip().waitUntil(
            [](const sim::VirtualChip& c) { return c.state() == sim::ChipState::HelperFailed; },
            2s));
        EXPECT_NE(summary().find(error), std::string::npos) << summary();
        chip().reset();  // the reset button brings the bootloader back
        EXPECT_TRUE(chip().waitUntil(
            [](const sim::VirtualChip& c) { return c.state() == sim::ChipState::AwaitingSync; },
            2s));
    }
}

}  // namespace
}  // namespace pellion::test
