// Production mode against virtual chips that come and go in their sockets: the chips' own
// counters and flash are the oracle, not the station's word.
#include <gtest/gtest.h>

#include <memory>

#include "EngineRig.h"
#include "engine/BootSequence.h"
#include "engine/Station.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;
using test::EngineRig;
using State = Station::SocketState;

constexpr std::size_t kImageSize = 2048;

// Every virtual chip of a socket, those that left it first, and how many of them took the image
// once and only once.
struct SocketHistory {
    int programmedOnce = 0;
    int programmedMore = 0;
};

SocketHistory historyOf(const sim::VirtualChip& chip, const std::vector<std::uint8_t>& image) {
    std::vector<sim::ChipSnapshot> all = chip.retiredChips();
    all.push_back(chip.snapshot());
    SocketHistory history;
    for (const auto& snapshot : all) {
        if (snapshot.stats.bytesProgrammed == 0)
            continue;
        const auto flash = snapshot.fullFlash();
        const bool holdsImage =
            flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin());
        if (snapshot.stats.bytesProgrammed == image.size() && holdsImage)
            ++history.programmedOnce;
        else
            ++history.programmedMore;
    }
    return history;
}

class StationRig {
  public:
    explicit StationRig(std::vector<sim::ChipOptions> options, bool protect = false) {
        for (auto& o : options)
            rig.addChip(o);
        rig.build();
        image = test::patternImage(kImageSize);
        station = std::make_unique<Station>(rig.loop, *rig.control);
        station->onChipFinished = [this](const StationChip& chip) { finished.push_back(chip); };
        std::vector<std::int32_t> slots;
        for (std::int32_t i = 0; i < rig.table.slotCount(); ++i) {
            rig.host->row(i).ticked = true;
            if (rig.control->OpenSlot(i))
                slots.push_back(i);
        }
        inputs.baud = 57600;
        inputs.verify = true;
        inputs.protect = protect;
        FirmwareImage firmware;
        firmware.startAddress = 0x08000000;
        firmware.imageBytes = image;
        firmware.imageSize = std::uint32_t(image.size());
        inputs.image = std::make_shared<const FirmwareImage>(std::move(firmware));
        slotsOpened = slots;
    }
    ~StationRig() { station.reset(); }

    void start() { station->Start(slotsOpened, inputs); }
    bool until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
        return rig.runUntil(done, timeout);
    }
    sim::VirtualChip& chip(std::size_t i) { return rig.chips.chip(i); }
    // For a failure's message: each socket's state, counts and chip.
    std::string describe() {
        std::string text;
        for (std::int32_t i = 0; i < rig.table.slotCount(); ++i) {
            const auto snapshot = chip(std::size_t(i)).snapshot();
            text += "socket " + std::to_string(i) + ": state " +
                    std::to_string(int(station->state(i))) + ", slot state " +
                    std::to_string(rig.table.slot(i).cycle.state) + ", " +
                    std::to_string(station->succeeded(i)) + " ok, " +
                    std::to_string(station->failed(i)) + " failed, chip " +
                    std::to_string(snapshot.sequence) + " " + snapshot.state + "\n";
        }
        return text;
    }

    EngineRig rig;
    std::vector<std::uint8_t> image;
    SlotInputs inputs;
    std::vector<std::int32_t> slotsOpened;
    std::unique_ptr<Station> station;
    std::vector<StationChip> finished;
};

TEST(Station, AChipLeftInItsSocketIsHeldAndOnlyANewChipStartsThePortAgain) {
    // Protected at the end, the chips restart their bootloader and keep answering every probe;
    // the second comes protected, so its ID cannot be read.
    sim::ChipOptions protectedChip;
    protectedChip.readoutProtected = true;
    StationRig s({sim::ChipOptions{}, protectedChip}, /*protect=*/true);
    s.start();
    ASSERT_TRUE(s.until([&] { return s.station->succeeded() == 2; })) << s.describe();
    const StationChip& first = s.finished.at(0).slot == 0 ? s.finished.at(0) : s.finished.at(1);
    const StationChip& refused = s.finished.at(0).slot == 1 ? s.finished.at(0) : s.finished.at(1);
    EXPECT_TRUE(first.ended.verified);
    ASSERT_TRUE(first.uniqueId);
    EXPECT_EQ(*first.uniqueId, s.chip(0).uniqueId());
    EXPECT_FALSE(refused.uniqueId);
    EXPECT_TRUE(refused.uniqueIdRefused);
    EXPECT_TRUE(refused.ended.massErased);
    // Many probes later the same chip is still held, not programmed again.
    s.rig.serveFor(5 * Station::kProbePeriod);
    EXPECT_EQ(s.station->state(0), State::Holding);
    EXPECT_EQ(s.station->state(1), State::Holding);
    EXPECT_TRUE(s.chip(0).snapshot().readoutProtected);
    EXPECT_EQ(s.finished.size(), 2u);

    // Taken away: the port waits; a new chip is programmed.
    int waitingTold = 0;
    s.station->onPortWaiting = [&](std::int32_t) { ++waitingTold; };
    ASSERT_TRUE(s.chip(0).remove());
    ASSERT_TRUE(s.until([&] { return s.station->state(0) == State::Waiting; }));
    EXPECT_EQ(waitingTold, 1);
    s.rig.serveFor(3 * Station::kProbePeriod);
    EXPECT_EQ(waitingTold, 1) << "an empty socket is told once";
    ASSERT_TRUE(s.chip(0).insert());
    ASSERT_TRUE(s.until([&] { return s.station->succeeded(0) == 2; }));
    // Swapped at once, the socket never looks empty: the other ID starts the port again.
    s.chip(0).replace();
    ASSERT_TRUE(s.until([&] { return s.station->succeeded(0) == 3; })) << s.describe();
    EXPECT_EQ(*s.finished.back().uniqueId, s.chip(0).uniqueId());
    const SocketHistory history = historyOf(s.chip(0), s.image);
    EXPECT_EQ(history.programmedOnce, 3);
    EXPECT_EQ(history.programmedMore, 0);
}

TEST(Station, AFailedChipStaysFailedUntilTakenAwayAndAnEmptySocketDelaysNoOther) {
    sim::ChipOptions bad;
    bad.faults.badCellProbability = 1;  // every write flips a bit: the read-back differs
    sim::ChipOptions good;
    good.replaceAfterGo = 1000ms;  // longer than three probes: the socket is seen empty
    StationRig s({bad, good, sim::ChipOptions{}});
    ASSERT_TRUE(s.chip(2).remove());  // an empty ticked socket from the start
    s.start();

    ASSERT_TRUE(
        s.until([&] { return s.station->failed(0) == 1 && s.station->succeeded(1) >= 3; }, 30s));
    EXPECT_EQ(s.station->state(2), State::Waiting);
    EXPECT_EQ(s.station->succeeded(2) + s.station->failed(2), 0u);
    // The failed chip still answers and is held as it is: no second attempt.
    const auto programmed = s.chip(0).snapshot().stats.bytesProgrammed;
    s.rig.serveFor(5 * Station::kProbePeriod);
    EXPECT_EQ(s.station->failed(0), 1u);
    EXPECT_EQ(s.station->state(0), State::Holding);
    EXPECT_EQ(s.chip(0).snapshot().stats.bytesProgrammed, programmed);
    for (const auto& chip : s.finished) {
        if (chip.slot == 0) {
            EXPECT_EQ(chip.ended.reason, EndReason::FlashDiffers);
        }
    }

    // A good chip in its place succeeds; so does one put into the empty socket.
    s.chip(0).configure([](sim::ChipOptions& o) { o.faults = {}; });
    ASSERT_TRUE(s.chip(0).remove());
    ASSERT_TRUE(s.until([&] { return s.station->state(0) == State::Waiting; }));
    ASSERT_TRUE(s.chip(0).insert());
    ASSERT_TRUE(s.chip(2).insert());
    ASSERT_TRUE(
        s.until([&] { return s.station->succeeded(0) == 1 && s.station->succeeded(2) == 1; }));
    bool stopped = false;
    s.station->onStopped = [&] { stopped = true; };
    s.station->StopOrderly();  // the chip at work in socket 1 finishes first
    ASSERT_TRUE(s.until([&] { return stopped; }));
    EXPECT_EQ(historyOf(s.chip(1), s.image).programmedMore, 0);
}

TEST(Station, ARowUntickedLeavesTheStationAndTickedAgainJoinsNoMore) {
    StationRig s({sim::ChipOptions{}, sim::ChipOptions{}});
    s.start();
    ASSERT_TRUE(s.until([&] { return s.station->succeeded() == 2; })) << s.describe();
    s.rig.host->row(1).ticked = false;
    s.rig.control->OnPortCheckClick(1);
    EXPECT_EQ(s.station->state(1), State::Off);
    // A new chip in the ticked row is identified, as in normal mode, and left alone.
    s.chip(1).replace();
    s.rig.host->row(1).ticked = true;
    s.rig.control->OnPortCheckClick(1);
    s.rig.serveFor(5 * Station::kProbePeriod);
    EXPECT_EQ(s.rig.table.slot(1).cycle.state, Ready);
    EXPECT_EQ(s.chip(1).snapshot().stats.bytesProgrammed, 0u);
    EXPECT_EQ(s.station->state(1), State::Off);
    EXPECT_TRUE(s.station->IsRunning()) << "the other socket goes on";
}

TEST(Station, AnOrderlyStopLetsTheChipAtWorkFinishAndAnImmediateOneEndsIt) {
    sim::ChipOptions timed;
    timed.timing.enabled = true;  // slow enough to stop in the middle
    timed.replaceAfterGo = 50ms;
    {
        StationRig s({timed});
        bool stopped = false;
        s.station->onStopped = [&] { stopped = true; };
        s.start();
        ASSERT_TRUE(s.until([&] { return s.station->state(0) == State::Programming; }));
        s.station->StopOrderly();
        EXPECT_TRUE(s.station->IsStopping());
        ASSERT_TRUE(s.until([&] { return stopped; }));
        EXPECT_EQ(s.station->succeeded(), 1u);
        s.rig.serveFor(5 * Station::kProbePeriod);  // the replacement is not started
        EXPECT_EQ(s.finished.size(), 1u);
        EXPECT_FALSE(s.rig.control->machine().IsAtWork(0));
    }
    {
        // A port ticked beside the station, still bringing its chip up, is not stopped.
        sim::ChipOptions beside;
        beside.wiring = sim::Wiring::DtrReset;
        beside.startInApplication = true;
        StationRig s({timed, beside});
        bool stopped = false;
        s.station->onStopped = [&] { stopped = true; };
        s.station->Start(std::vector<std::int32_t>{0}, s.inputs);
        ASSERT_TRUE(s.until([&] { return s.station->state(0) == State::Programming; }));
        SlotInputs entry;
        entry.boot.entry = ParseBootSequence("dtr-reset", BootRole::Entry).steps;
        s.rig.control->machine().BeginIdentification(1, entry);
        s.station->StopNow();
        ASSERT_TRUE(stopped);
        ASSERT_EQ(s.finished.size(), 1u);
        EXPECT_TRUE(s.finished[0].ended.interrupted);
        EXPECT_EQ(s.station->failed(), 1u);
        ASSERT_TRUE(s.until([&] { return !s.rig.control->machine().IsAtWork(1); }));
        EXPECT_EQ(s.rig.table.slot(1).cycle.state, Ready);
    }
}

}  // namespace
}  // namespace pellion
