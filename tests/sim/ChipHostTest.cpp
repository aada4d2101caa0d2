#include <set>
#include <string>
#include <thread>

#include "ChipProtocolTest.h"

namespace pellion::test {
namespace {

constexpr std::uint32_t kFlash = 0x08000000;

// Talks to every chip of a fixture at once, each from its own thread, and checks that each chip
// holds only what was written to it.
void programAllAtOnce(VirtualChipFixture& chips) {
    ASSERT_TRUE(chips.ok()) << chips.error();
    std::vector<std::thread> hosts;
    std::vector<Bytes> uniqueIds(chips.size());
    for (std::size_t i = 0; i < chips.size(); ++i) {
        hosts.emplace_back([&, i] {
            RawChipLine line(chips.devicePath(i));
            line.write({0x7F});
            EXPECT_EQ(line.read(1), Bytes{kAck});
            for (int block = 0; block < 8; ++block) {
                line.write(command(0x31));
                EXPECT_EQ(line.read(1), Bytes{kAck});
                line.write(addressFrame(kFlash + block * 128));
                EXPECT_EQ(line.read(1), Bytes{kAck});
                line.write(dataFrame(pattern(128, std::uint8_t(i * 16 + block))));
                EXPECT_EQ(line.read(1), Bytes{kAck});
            }
            line.write(command(0x11));
            line.read(1);
            line.write(addressFrame(0x1FFFF7E8));
            line.read(1);
            line.write({0x0B, 0xF4});
            const Bytes answer = line.read(13);
            EXPECT_EQ(answer.size(), 13u);
            if (!answer.empty())
                uniqueIds[i] = Bytes(answer.begin() + 1, answer.end());
        });
    }
    for (auto& host : hosts)
        host.join();
    for (std::size_t i = 0; i < chips.size(); ++i) {
        for (int block = 0; block < 8; ++block) {
            EXPECT_EQ(chips.chip(i).readFlash(kFlash + block * 128, 128),
                      pattern(128, std::uint8_t(i * 16 + block)))
                << "chip " << i << " block " << block;
        }
        EXPECT_EQ(chips.chip(i).readFlash(kFlash + 1024, 4), Bytes(4, 0xFF));
    }
    // Compared as strings: GCC 12 warns falsely about ordering byte vectors at -O3.
    std::set<std::string> distinct;
    for (const Bytes& id : uniqueIds)
        distinct.emplace(id.begin(), id.end());
    EXPECT_EQ(distinct.size(), chips.size())
        << "every chip has its own unique id";
}

TEST(ChipHostTest, ChipsOnOneSharedLoopAreServedAtOnceAndIndependently) {
    VirtualChipFixture chips(6);
    programAllAtOnce(chips);
}

TEST(ChipHostTest, ChipsOnALoopEachAreServedAtOnceAndIndependently) {
    sim::ChipOptions options;
    options.timing.enabled = true;
    options.timing.baud = 460800;
    VirtualChipFixture chips(4, options, VirtualChipFixture::Threading::LoopPerChip);
    programAllAtOnce(chips);
}

TEST(ChipHostTest, PerChipOptionsGiveMixedChips) {
    VirtualChipFixture chips(3, [](std::size_t i) {
        sim::ChipOptions options;
        options.code = i == 1 ? DeviceCode("1RGB") : DeviceCode("1R8A");
        options.readoutProtected = i == 2;
        return options;
    });
    ASSERT_TRUE(chips.ok()) << chips.error();
    EXPECT_EQ(chips.devicePaths().size(), 3u);
    EXPECT_EQ(chips.chip(0).flash().size(), 64u * 1024u);
    EXPECT_EQ(chips.chip(1).flash().size(), 1024u * 1024u);
    EXPECT_EQ(chips.chip(1).geometry().eraseMode, 1);
    EXPECT_FALSE(chips.chip(0).readoutProtected());
    EXPECT_TRUE(chips.chip(2).readoutProtected());
    EXPECT_NE(chips.devicePath(0), chips.devicePath(1));
}

TEST(ChipHostTest, PullingTheCableHangsUpTheHostsLine) {
    VirtualChipFixture chips(1);
    RawChipLine line(chips.devicePath(0));
    line.write({0x7F});
    ASSERT_EQ(line.read(1), Bytes{kAck});
    chips.chip(0).disconnect();
    EXPECT_TRUE(line.read(1, std::chrono::milliseconds(2000)).empty());
    EXPECT_TRUE(line.hungUp());
    EXPECT_EQ(chips.chip(0).state(), sim::ChipState::Disconnected);
    EXPECT_TRUE(chips.chip(0).stats().disconnected);
}

}  // namespace
}  // namespace pellion::test
