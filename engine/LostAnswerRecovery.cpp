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
    return s.state == RecoverFiller || s.state == RecoverSync;
}

std::int32_t PortStateMachine::stepState(const PortSlot& s) {
    return isRecovering(s) ? s.run.recoveredState : std::int32_t(s.state);
}

// An answer timed out. Whether a byte of the answer was lost or a byte of our frame was, the
// chip is either waiting for the rest of a frame or for a command: filler ends the first, and
// the second refuses it.
bool PortStateMachine::recoverLostAnswer(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    // An option-byte write restarts the chip: there is nothing to go back to.
    if (!isRecoverable(s.state) || isOptionDownload(s) ||
        s.run.recoveries >= timing_.maxLostAnswerRecoveries)
        return false;
    ++s.run.recoveries;
    // A check that times out still recovers the write it checks.
    if (s.state != CheckBlockCmd && s.state != CheckBlockAddr && s.state != CheckBlockData)
        s.run.recoveredState = s.state;
    s.run.recoveryFillers = 0;
    // A read-back cut short: the chip sent it all and waits for a command already.
    if (s.state == VerifyData && !s.run.pending.empty() && s.run.pending.front() == ACK) {
        resumeAfterRecovery(slot);
        return true;
    }
    s.state = RecoverFiller;
    sendRecoveryFiller(slot);
    return true;
}

void PortStateMachine::sendRecoveryFiller(std::int32_t slot) {
    ++slotAt(slot).run.recoveryFillers;
    Frame frame;
    MakeFillerFrame(kRecoveryFillerBytes, frame);
    send(slot, frame, 1);
}

void PortStateMachine::onRecoveryFillerAnswered(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (s.run.delayTimer != 0)
        return;  // the chip refusing the rest of the filler
    if (s.run.answerTimer != 0)
        loop_.stopTimer(s.run.answerTimer);
    s.run.answerTimer = 0;
    // The rest of the filler reaches the chip as commands, refused pair by pair: wait until
    // those refusals are in, drop them, then synchronise.
    const auto quiet = AnswerTimeout(timing_, s.ports.Baud(), s.ports.writePause,
                                     kRecoveryFillerBytes, kRecoveryFillerBytes / 2, {});
    const std::uint64_t session = s.run.session;
    s.run.delayTimer = loop_.startTimer(quiet, false, [this, slot, session] {
        if (slot >= table_.slotCount() || slotAt(slot).run.session != session)
            return;
        PortSlot& s = slotAt(slot);
        s.run.delayTimer = 0;
        s.ports.Purge();
        s.run.repeats = 0;
        s.state = RecoverSync;
        sendSync(slot);
    });
}

void PortStateMachine::onRecoveryFillerTimeout(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (s.run.recoveryFillers < kRecoveryFillerBlocks) {
        sendRecoveryFiller(slot);
        return;
    }
    FailSlot(slot, EndReason::NoAnswer);
}

// Synchronised again. Erasing again and reading a chunk again are harmless; a write goes on
// from what the chip holds.
void PortStateMachine::resumeAfterRecovery(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.run.repeats = 0;
    switch (s.run.recoveredState) {
        case ErasePages:
            s.state = EraseCmd;
            sendEraseCommand(slot);
            return;
        case VerifyCmd:
        case VerifyAddr:
        case VerifyData:
            s.state = VerifyCmd;
            sendCommand(slot, BootloaderCommand::ReadMemory);
            return;
        case WriteData:
            // The block's frame went out whole or in part: it was written, or not at all.
            s.run.checkedBlockBytes = s.writeAddress - s.run.blockAddress;
            s.state = CheckBlockCmd;
            sendCommand(slot, BootloaderCommand::ReadMemory);
            return;
        default:
            // Command or address lost: no data of the block reached the chip.
            s.state = WriteCmd;
            sendCommand(slot, BootloaderCommand::WriteMemory);
            return;
    }
}

void PortStateMachine::onCheckedBlock(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t count = s.run.checkedBlockBytes;
    const auto& image = imageOf(s).imageBytes;
    const std::size_t offset = s.run.blockAddress - imageOf(s).startAddress;
    const std::span<const std::uint8_t> held(answer + 1, count);
    const std::span<const std::uint8_t> wanted(image.data() + offset, count);
    if (std::equal(held.begin(), held.end(), wanted.begin())) {
        onBlockWritten(slot);
        return;
    }
    if (IsBlank(held)) {
        s.writeAddress = s.run.blockAddress;
        s.imageCursor -= count;
        s.state = WriteCmd;
        sendCommand(slot, BootloaderCommand::WriteMemory);
        return;
    }
    const auto differs = std::mismatch(held.begin(), held.end(), wanted.begin()).first;
    FailSlot(slot, EndReason::FlashDiffers, SlotStep::None,
             s.run.blockAddress + std::uint32_t(differs - held.begin()));
}

}  // namespace pellion
