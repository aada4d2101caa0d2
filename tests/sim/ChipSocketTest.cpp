// Chips coming and going in their sockets: unique ids, replacement after the program starts,
// removal and insertion, and the records every chip leaves behind.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "ChipProtocolTest.h"
#include "serial/posix/PtyLineChannel.h"
#include "sim/ChipDump.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;
constexpr std::uint32_t kFlash = 0x08000000;
constexpr std::uint32_t kUniqueId = 0x1FFFF7E8;

Bytes idBytes(const sim::UniqueId& id) {
    return Bytes(id.begin(), id.end());
}

class ChipSocketTest : public ChipProtocolTest {
  protected:
    Bytes go(std::uint32_t address) {
        return concat({exchange(command(0x21), 1), exchange(addressFrame(address), 1)});
    }
    bool waitForSequence(std::uint32_t sequence, milliseconds timeout = milliseconds(5000)) {
        return chip().waitUntil(
            [sequence](const sim::VirtualChip& c) { return c.snapshot().sequence == sequence; },
            timeout);
    }
};

TEST_F(ChipSocketTest, UniqueIdsAreDistinctReproducibleAndReadFromSystemMemory) {
    sim::ChipOptions options;
    options.uniqueIdSeed = 7;
    VirtualChipFixture first(3, options);
    VirtualChipFixture again(3, options);
    options.uniqueIdSeed = 8;
    VirtualChipFixture otherSeed(1, options);
    ASSERT_TRUE(first.ok() && again.ok() && otherSeed.ok());
    std::set<std::string> distinct;
    for (std::size_t i = 0; i < 3; ++i) {
        for (int swap = 0; swap < 3; ++swap) {
            distinct.insert(sim::uniqueIdText(first.chip(i).uniqueId()));
            EXPECT_EQ(first.chip(i).uniqueId(), again.chip(i).uniqueId()) << "same seed";
            first.chip(i).replace();
            again.chip(i).replace();
        }
    }
    EXPECT_EQ(distinct.size(), 9u) << "across chips and their replacements";
    EXPECT_NE(otherSeed.chip(0).uniqueId(), again.chip(0).retiredChips()[0].uniqueId);

    // Read like any system memory, and refused under readout protection like every read.
    start(options);
    synchronise();
    EXPECT_EQ(readMemory(kUniqueId, 12), idBytes(chip().uniqueId()));
    chip().replace();
    synchronise();
    EXPECT_EQ(readMemory(kUniqueId, 12), idBytes(chip().uniqueId()));
    EXPECT_NE(idBytes(chip().uniqueId()), idBytes(chip().retiredChips()[0].uniqueId));
    chip().setReadoutProtected(true);
    EXPECT_EQ(readMemory(kUniqueId, 12), Bytes{kNack});
}

TEST_F(ChipSocketTest, AFreshChipTakesTheSocketAfterGoAndEveryChipLeavesItsRecord) {
    sim::ChipOptions options;
    options.replaceAfterGo = milliseconds(200);
    start(options);
    synchronise();
    const sim::UniqueId firstId = chip().uniqueId();
    ASSERT_EQ(writeMemory(kFlash, pattern(64)), kAck);
    const auto goSent = std::chrono::steady_clock::now();
    ASSERT_EQ(go(kFlash), (Bytes{kAck, kAck}));
    ASSERT_TRUE(waitForSequence(1));
    EXPECT_GE(std::chrono::steady_clock::now() - goSent, milliseconds(200)) << "not at once";

    // The new chip is blank, has its own id and starts in its bootloader.
    EXPECT_NE(chip().uniqueId(), firstId);
    EXPECT_EQ(chip().readFlash(kFlash, 64), Bytes(64, 0xFF));
    EXPECT_EQ(chip().stats().commandCount(), 0u);
    synchronise();
    const auto gone = chip().retiredChips();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].sequence, 0u);
    EXPECT_EQ(gone[0].uniqueId, firstId);
    EXPECT_EQ(gone[0].state, "application");
    EXPECT_EQ(gone[0].flash, pattern(64)) << "kept up to its last programmed byte";
    EXPECT_EQ(gone[0].fullFlash().size(), 256u * 1024u);

    // Out of the socket nothing answers; a chip put in answers again.
    EXPECT_TRUE(chip().remove());
    EXPECT_FALSE(chip().remove());
    EXPECT_EQ(chip().state(), sim::ChipState::Empty);
    EXPECT_TRUE(exchangeAll({0x7F}).empty());
    EXPECT_TRUE(chip().insert());
    EXPECT_FALSE(chip().insert());
    synchronise();

    char dir[] = "/tmp/pellion-socket-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ASSERT_EQ(sim::writeSocketDumps(dir, chip(), 4), "");
    auto read = [&dir](const std::string& name) {
        std::ifstream in(std::filesystem::path(dir) / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string firstFlash = read("chip4.flash.bin");
    EXPECT_EQ(firstFlash.size(), 256u * 1024u);
    EXPECT_EQ(Bytes(firstFlash.begin(), firstFlash.begin() + 64), pattern(64));
    EXPECT_NE(read("chip4-1.json").find("\"sequence\":1"), std::string::npos);
    EXPECT_NE(read("chip4-2.json").find("\"uniqueId\":\"" + sim::uniqueIdText(chip().uniqueId())),
              std::string::npos);
    EXPECT_EQ(read("chip4-3.json"), "");
    std::filesystem::remove_all(dir);
}

TEST_F(ChipSocketTest, AResetIntoAProgramWrittenHereAlsoEndsWithAFreshChip) {
    sim::ChipOptions options;
    options.startInApplication = true;
    options.replaceAfterGo = milliseconds(100);
    start(options);
    posix::PtyLineChannel lines;
    ASSERT_TRUE(lines.open(chips_->devicePath(0)).ok());
    // dtr-reset wiring: a reset pulse with BOOT0 raised by RTS, as a boot-entry sequence does.
    ASSERT_TRUE(lines.setLines(true, true).ok());
    ASSERT_TRUE(lines.setLines(false, true).ok());
    synchronise();
    ASSERT_EQ(writeMemory(kFlash, pattern(8)), kAck);
    // The exit: BOOT0 low and a reset pulse.
    ASSERT_TRUE(lines.setLines(true, false).ok());
    ASSERT_TRUE(lines.setLines(false, false).ok());
    EXPECT_EQ(chip().state(), sim::ChipState::Application);
    ASSERT_TRUE(waitForSequence(1));
    EXPECT_EQ(chip().state(), sim::ChipState::Application) << "its configured start mode";
    EXPECT_EQ(chip().readFlash(kFlash, 8), Bytes(8, 0xFF));
    // Merely starting in its application (no program written here) does not swap a chip.
    EXPECT_FALSE(waitForSequence(2, milliseconds(500)));
}

}  // namespace
}  // namespace pellion::test
