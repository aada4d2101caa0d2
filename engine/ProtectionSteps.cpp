// Protection: removing write or readout protection (the chip restarts afterwards and is
// synchronised again), and setting readout protection at the end of a run.
#include <algorithm>

#include "engine/PortStateMachine.h"

namespace pellion {

// ---------------------------------------------------------------- removing protection

void PortStateMachine::awaitOptionRewrite(std::int32_t slot, const std::uint8_t*) {
    armAnswerTimerFor(slot, 1, timing_.optionWrite);
}

void PortStateMachine::repeatWriteUnprotect(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendCommand(slot, BootloaderCommand::WriteUnprotect);
}

void PortStateMachine::repeatWriteUnprotectDone(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendCommand(slot, BootloaderCommand::WriteUnprotect, 2, timing_.optionWrite);
}

void PortStateMachine::onWriteUnprotected(std::int32_t slot, const std::uint8_t*) {
    milestone(slot, Milestone::WriteUnprotected);
    waitForRestart(slot);
}

void PortStateMachine::awaitMassErase(std::int32_t slot, const std::uint8_t*) {
    armAnswerTimerFor(slot, 1, massEraseWork(slotAt(slot)));
}

void PortStateMachine::repeatReadoutUnprotect(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendCommand(slot, BootloaderCommand::ReadoutUnprotect);
}

void PortStateMachine::onReadUnprotected(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    s.chip.readUnprotectAllowed = false;
    s.result.massErased = true;
    milestone(slot, Milestone::ReadUnprotected);
    waitForRestart(slot);
}

// ---------------------------------------------------------------- after the restart

// Any answer to a SYNC sent after the wait resumes the run (a NACK means the bootloader was
// already listening); one that arrives before the wait is over was not asked for.
void PortStateMachine::resumeAfterReadUnprotect(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.delayTimer != 0)
        return;
    s.cycle.repeats = 0;
    s.cycle.state = OptReadCmd;
    s.chip.readUnprotectAllowed = false;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::resumeAfterWriteUnprotect(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.delayTimer != 0)
        return;
    s.cycle.repeats = 0;
    s.cycle.state = EraseCmd;
    sendEraseCommand(slot);
}

void PortStateMachine::resumeAfterOptionWrite(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.delayTimer != 0)
        return;
    s.cycle.repeats = 0;
    s.cycle.optionWritten = false;
    continueAfterImage(slot);
}

// ---------------------------------------------------------------- setting readout protection

void PortStateMachine::sendOptionAddress(std::int32_t slot, const std::uint8_t*) {
    sendAddress(slot, kOptionBytesAddress);
}

void PortStateMachine::repeatOptionAddress(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendAddress(slot, kOptionBytesAddress);
}

void PortStateMachine::sendProtectFrame(std::int32_t slot, const std::uint8_t*) {
    Frame frame;
    MakeReadProtectFrame(optionBytesToProtect(slotAt(slot)), frame);
    send(slot, frame, 1, timing_.optionWrite);
}

void PortStateMachine::onProtected(std::int32_t slot, const std::uint8_t*) {
    milestone(slot, Milestone::Protected);
    if (slotAt(slot).cycle.inputs.boot.exit)
        return beginBootExit(slot, false);
    endSlot(slot, SlotResult::Succeeded);
}

void PortStateMachine::onProtectRefused(std::int32_t slot, const std::uint8_t*) {
    FailSlot(slot, EndReason::None);
}

// An option-byte download has just replaced the option bytes read at the start of the run:
// protection is set on top of the downloaded ones, not on top of what they replaced.
OptionBytes PortStateMachine::optionBytesToProtect(const PortSlot& slot) const {
    const FirmwareImage& image = imageOf(slot);
    if (!isOptionDownload(slot) || image.imageBytes.size() < std::size_t(kOptionByteCount))
        return slot.cycle.optionBytes;
    OptionBytes downloaded;
    std::copy_n(image.imageBytes.begin(), kOptionByteCount, downloaded.begin());
    return downloaded;
}

}  // namespace pellion
