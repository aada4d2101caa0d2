// The board and the socket around a virtual chip: the adapter's lines and the RESET and BOOT0
// pins they drive, and chips that an operator takes out and puts in.
#include <algorithm>

#include "sim/VirtualChip.h"

namespace pellion::sim {

namespace {

// Spreads the fault sequences of the chips that pass through one socket.
constexpr std::uint64_t kSequenceSeedStep = 0x9E3779B97F4A7C15ull;

}  // namespace

void VirtualChip::loadStartState() {
    memory_.loadFlash(kFlashBase, options_.initialFlash);
    if (options_.readoutProtected) {
        OptionBytes bytes = memory_.optionBytes();
        bytes[0] = 0x00;
        bytes[1] = 0xFF;
        memory_.setOptionBytes(bytes);
    }
    memory_.setWriteProtectionWord(~options_.writeProtectedRegions);
}

void VirtualChip::sampleBootMode() {
    if (pins_.boot0High())
        return;
    core_.startApplication();
    const TimePoint started = std::max(deafUntil_, SteadyClock::now());
    // A program starts with its stack pointer: an erased first word means there is none.
    const auto& flash = memory_.flash();
    const bool holdsProgram =
        flash.size() >= 4 &&
        !std::all_of(flash.begin(), flash.begin() + 4, [](std::uint8_t b) { return b == 0xFF; });
    if (holdsProgram && !options_.applicationText.empty()) {
        nextApplicationLine_ =
            started + std::max<std::chrono::nanoseconds>(options_.applicationInterval,
                                                         std::chrono::milliseconds(1));
    }
    // A program written here now runs: the operator will take the chip away.
    if (stats_.bytesProgrammed > 0)
        scheduleReplacement(started);
}

void VirtualChip::scheduleReplacement(TimePoint programStarted) {
    if (options_.replaceAfterGo && !replaceAt_)
        replaceAt_ = programStarted + *options_.replaceAfterGo;
}

void VirtualChip::holdInReset(TimePoint now) {
    core_.reset();
    endHelper();
    outgoing_.clear();  // the UART stops in the middle of what it was sending
    adapterBatch_ = 0;
    nextApplicationLine_.reset();
    chipFree_ = std::min(chipFree_, now);
}

LineLevels VirtualChip::setLines(std::optional<bool> dtr, std::optional<bool> rts) {
    LineLevels levels;
    {
        std::lock_guard lock(mutex_);
        const TimePoint now = SteadyClock::now();
        switch (pins_.setLines(dtr, rts)) {
            case BoardPins::ResetEdge::Asserted:
                holdInReset(now);
                break;
            case BoardPins::ResetEdge::Released:
                if (present_)
                    restart(now);
                break;
            case BoardPins::ResetEdge::None:
                break;
        }
        levels = pins_.lines();
    }
    changed();
    return levels;
}

VirtualChip::BoardState VirtualChip::board() const {
    std::lock_guard lock(mutex_);
    BoardState state;
    state.lines = pins_.lines();
    state.resetHeld = pins_.resetHeld();
    state.boot0High = pins_.boot0High();
    if (!present_)
        state.mode = "empty";
    else if (state.resetHeld)
        state.mode = "reset";
    else if (core_.state() == CoreState::Application)
        state.mode = "application";
    else
        state.mode = "bootloader";
    return state;
}

void VirtualChip::retire() {
    retired_.push_back(snapshotLocked(true));
    present_ = false;
    core_.powerOn();
    endHelper();
    outgoing_.clear();
    adapterBatch_ = 0;
    nextApplicationLine_.reset();
    replaceAt_.reset();
}

void VirtualChip::insertFresh(TimePoint now) {
    ++sequence_;
    memory_ = ChipMemory(memory_.layout(),
                         makeUniqueId(options_.uniqueIdSeed, options_.serialNumber, sequence_));
    loadStartState();
    stats_ = ChipStats{};
    FaultOptions faults = options_.faults;
    faults.seed += sequence_ * kSequenceSeedStep;
    faults_.setOptions(faults);
    present_ = true;
    core_.powerOn();
    chipFree_ = std::min(chipFree_, now);
    deafUntil_ = {};
    if (!pins_.resetHeld()) {
        startUp(now);
        sampleBootMode();
    }
}

bool VirtualChip::remove() {
    {
        std::lock_guard lock(mutex_);
        if (!present_)
            return false;
        retire();
    }
    changed();
    return true;
}

bool VirtualChip::insert() {
    {
        std::lock_guard lock(mutex_);
        if (present_)
            return false;
        insertFresh(SteadyClock::now());
    }
    changed();
    return true;
}

void VirtualChip::replace() {
    {
        std::lock_guard lock(mutex_);
        if (present_)
            retire();
        insertFresh(SteadyClock::now());
    }
    changed();
}

ChipSnapshot VirtualChip::snapshotLocked(bool trimFlash) const {
    ChipSnapshot snapshot;
    snapshot.devicePath = devicePath_;
    snapshot.code = options_.code;
    snapshot.sequence = sequence_;
    snapshot.state = chipStateName(stateLocked());
    if (!present_)
        return snapshot;
    snapshot.uniqueId = memory_.uniqueId();
    snapshot.readoutProtected = memory_.readoutProtected();
    snapshot.writeProtection = memory_.writeProtectionWord();
    snapshot.stats = stats_;
    snapshot.optionBytes = memory_.optionBytes();
    const auto& flash = memory_.flash();
    auto end = flash.end();
    while (trimFlash && end != flash.begin() && *(end - 1) == 0xFF)
        --end;
    snapshot.flash.assign(flash.begin(), end);
    snapshot.flashBytes = flash.size();
    return snapshot;
}

ChipSnapshot VirtualChip::snapshot() const {
    std::lock_guard lock(mutex_);
    return snapshotLocked(false);
}

std::vector<ChipSnapshot> VirtualChip::retiredChips() const {
    std::lock_guard lock(mutex_);
    return retired_;
}

UniqueId VirtualChip::uniqueId() const {
    std::lock_guard lock(mutex_);
    return memory_.uniqueId();
}

}  // namespace pellion::sim
