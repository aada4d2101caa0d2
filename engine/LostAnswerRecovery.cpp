// A lost answer byte in the middle of a run costs a recovery, not the chip: the line is brought
// back to a known state and what the chip holds decides how to go on.
#include <algorithm>

#include "engine/PortStateMachine.h"

namespace pellion {

namespace {
constexpr int kRecoveryFillerBytes = 256;
// The longest frame of a run is 258 bytes: two blocks end any of them, so a chip that answers
// neither is not listening at all.
constexpr int kRecoveryFillerBlocks = 2;

bool isRecoverable(std::int32_t state) {
    switch (state) {
        case OptReadCmd:
        case OptReadAddr:
        case OptReadData:
        case ErasePages:
        case WriteCmd:
        case WriteAddr:
        case WriteData:
        case VerifyCmd:
        case VerifyAddr:
        case VerifyData:
        case CheckBlockCmd:
        case CheckBlockAddr:
        case CheckBlockData:
            return true;
        default:
            return false;
    }
}
}  // namespace

bool PortStateMachine::isRecovering(const PortSlot& s) {
    return s.cycle.state == RecoverFiller || s.cycle.state == RecoverSync;
}

std::int32_t PortStateMachine::stepState(const PortSlot& s) {
    return isRecovering(s) ? s.cycle.recoveredState : std::int32_t(s.cycle.state);
}

// An answer timed out. Whether a byte of the answer was lost or a byte of our frame was, the
// chip is either waiting for the rest of a frame or for a command: filler ends the first, and
// the second refuses it.
bool PortStateMachine::recoverLostAnswer(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    // An option-byte write restarts the chip: there is nothing to go back to.
    const std::int32_t allowed =
        timing_.maxLostAnswerRecoveries + std::int32_t(imageOf(s).imageSize / 1024);
    if (!isRecoverable(s.cycle.state) || isOptionDownload(s) ||
        s.cycle.recoveriesInARow >= timing_.maxLostAnswerRecoveries ||
        s.result.recoveries >= allowed)
        return false;
    ++s.result.recoveries;
    ++s.cycle.recoveriesInARow;
    // A check that times out still recovers the write it checks.
    if (s.cycle.state != CheckBlockCmd && s.cycle.state != CheckBlockAddr &&
        s.cycle.state != CheckBlockData)
        s.cycle.recoveredState = s.cycle.state;
    s.cycle.recoveryFillers = 0;
    // A read cut short: the chip sent it all and waits for a command already.
    const bool readData = s.cycle.state == OptReadData || s.cycle.state == VerifyData;
    if (readData && !s.cycle.pending.empty() && s.cycle.pending.front() == ACK) {
        resumeAfterRecovery(slot);
        return true;
    }
    s.cycle.state = RecoverFiller;
    sendRecoveryFiller(slot);
    return true;
}

void PortStateMachine::sendRecoveryFiller(std::int32_t slot) {
    ++slotAt(slot).cycle.recoveryFillers;
    Frame frame;
    MakeFillerFrame(kRecoveryFillerBytes, frame);
    send(slot, frame, 1);
}

void PortStateMachine::onRecoveryFillerAnswered(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.delayTimer != 0)
        return;  // the chip refusing the rest of the filler
    if (s.cycle.answerTimer != 0)
        loop_.stopTimer(s.cycle.answerTimer);
    s.cycle.answerTimer = 0;
    // The rest of the filler reaches the chip as commands, refused pair by pair: wait until
    // those refusals are in, drop them, then synchronise.
    const auto quiet = AnswerTimeout(timing_, s.ports.Baud(), s.ports.writePause,
                                     kRecoveryFillerBytes, kRecoveryFillerBytes / 2, {});
    const std::uint64_t session = s.cycle.session;
    s.cycle.delayTimer = loop_.startTimer(quiet, false, [this, slot, session] {
        if (slot >= table_.slotCount() || slotAt(slot).cycle.session != session)
            return;
        PortSlot& s = slotAt(slot);
        s.cycle.delayTimer = 0;
        s.ports.Purge();
        s.cycle.repeats = 0;
        s.cycle.state = RecoverSync;
        sendSync(slot);
    });
}

void PortStateMachine::onRecoveryFillerTimeout(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.recoveryFillers < kRecoveryFillerBlocks) {
        sendRecoveryFiller(slot);
        return;
    }
    FailSlot(slot, EndReason::NoAnswer);
}

// Synchronised again. Reading the option bytes or a chunk again and erasing again are
// harmless; a write goes on from what the chip holds.
void PortStateMachine::resumeAfterRecovery(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    s.cycle.repeats = 0;
    switch (s.cycle.recoveredState) {
        case OptReadCmd:
        case OptReadAddr:
        case OptReadData:
            s.cycle.state = OptReadCmd;
            sendCommand(slot, BootloaderCommand::ReadMemory);
            return;
        case ErasePages:
            s.cycle.state = EraseCmd;
            sendEraseCommand(slot);
            return;
        case VerifyCmd:
        case VerifyAddr:
        case VerifyData:
            s.cycle.state = VerifyCmd;
            sendCommand(slot, BootloaderCommand::ReadMemory);
            return;
        case WriteData:
            // The block's frame went out whole or in part: it was written, or not at all.
            s.cycle.checkedBlockBytes = s.cycle.writeAddress - s.cycle.blockAddress;
            s.cycle.state = CheckBlockCmd;
            sendCommand(slot, BootloaderCommand::ReadMemory);
            return;
        default:
            // Command or address lost: no data of the block reached the chip.
            s.cycle.state = WriteCmd;
            sendCommand(slot, BootloaderCommand::WriteMemory);
            return;
    }
}

void PortStateMachine::sendCheckedBlockAddress(std::int32_t slot, const std::uint8_t*) {
    sendAddress(slot, slotAt(slot).cycle.blockAddress);
}

void PortStateMachine::askCheckedBlock(std::int32_t slot, const std::uint8_t*) {
    const int count = int(slotAt(slot).cycle.checkedBlockBytes);
    Frame frame;
    MakeReadCountFrame(count, frame);
    send(slot, frame, 1 + count);
}

void PortStateMachine::onCheckedBlock(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t count = s.cycle.checkedBlockBytes;
    const auto image = segmentBytes(s);
    const std::size_t offset = s.cycle.blockAddress - segmentStart(s);
    const std::span<const std::uint8_t> held(answer + 1, count);
    const std::span<const std::uint8_t> wanted(image.data() + offset, count);
    if (std::equal(held.begin(), held.end(), wanted.begin())) {
        onBlockWritten(slot);
        return;
    }
    if (IsBlank(held)) {
        s.cycle.writeAddress = s.cycle.blockAddress;
        s.cycle.imageCursor -= count;
        s.cycle.state = WriteCmd;
        sendCommand(slot, BootloaderCommand::WriteMemory);
        return;
    }
    const auto differs = std::mismatch(held.begin(), held.end(), wanted.begin()).first;
    FailSlot(slot, EndReason::FlashDiffers, SlotStep::None,
             s.cycle.blockAddress + std::uint32_t(differs - held.begin()));
}

}  // namespace pellion
