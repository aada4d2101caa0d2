// The run: option bytes, erase, writing, and what follows the image (protection in
// ProtectionSteps.cpp, read-back in ReadBack.cpp).
#include "engine/PortStateMachine.h"

#include <algorithm>

namespace pellion {

// ---------------------------------------------------------------- option bytes and erase

void PortStateMachine::askOptionAddress(std::int32_t slot, const std::uint8_t*) {
    slotAt(slot).cycle.optionReadRefusals = 0;
    sendAddress(slot, kOptionBytesAddress);
}

void PortStateMachine::askOptionBytes(std::int32_t slot, const std::uint8_t*) {
    Frame frame;
    MakeReadCountFrame(kOptionByteCount, frame);
    send(slot, frame, 1 + kOptionByteCount);
}

// A chip under readout protection refuses every read, every time; one refusal may be a
// command byte corrupted on the line. Only refusals in a row conclude protection, because
// removing it erases the whole chip.
void PortStateMachine::onOptionReadRefused(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (++s.cycle.optionReadRefusals < timing_.refusalsToConcludeProtection) {
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    s.cycle.optionReadRefusals = 0;
    if (!mayUnprotect(slot, true))
        return;
    s.cycle.state = UnprotectReadCmd;
    stepStarted(slot, SlotStep::Unprotect);
    sendCommand(slot, BootloaderCommand::ReadoutUnprotect);
}

void PortStateMachine::onOptionBytes(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    OptionBytes read;
    std::copy(answer + 1, answer + 1 + kOptionByteCount, read.begin());
    // A byte corrupted on the line would hide write protection, or be written back into the
    // chip for good with readout protection: such bytes are read again, never used.
    if (!OptionBytesComplementsHold(read)) {
        if (++s.cycle.optionRereads > timing_.maxOptionRereads) {
            FailSlot(slot, EndReason::OptionBytesCorrupt);
            return;
        }
        s.cycle.state = OptReadCmd;
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    s.cycle.optionBytes = read;
    s.cycle.optionBytesRead = true;
    s.cycle.repeats = 0;
    s.cycle.recoveriesInARow = 0;
    const std::uint32_t start = imageOf(s).startAddress;
    // Every protected region the image reaches must be opened, not only the first: a chip
    // acknowledges writes to protected pages and leaves them unchanged.
    const auto& serial = s.cycle.inputs.serial;
    if (IsRangeWriteProtected(s.cycle.optionBytes, start, s.cycle.endAddress) ||
        (serial && IsRangeWriteProtected(s.cycle.optionBytes, serial->address,
                                         serial->address + serial->reservedBytes - 1))) {
        if (!mayUnprotect(slot, false))
            return;
        s.cycle.state = UnprotectWriteCmd;
        stepStarted(slot, SlotStep::Unprotect);
        sendCommand(slot, BootloaderCommand::WriteUnprotect);
        return;
    }
    if (isOptionDownload(s)) {
        milestone(slot, Milestone::Erased);
        progressStarts(slot);
        startWriting(slot);
        return;
    }
    s.cycle.state = EraseCmd;
    sendEraseCommand(slot);
}

// A refused erase is taken as protection once it was refused in a row. A chip whose option
// bytes could be read is not under readout protection: it gets Write unprotect, never Readout
// unprotect, whose mass erase would take a loader or calibration page outside the image.
void PortStateMachine::onEraseRefused(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (++s.cycle.repeats < timing_.refusalsToConcludeProtection) {
        sendEraseCommand(slot);
        return;
    }
    const bool readout = s.chip.readUnprotectAllowed && !s.cycle.optionBytesRead;
    if (!mayUnprotect(slot, readout))
        return;
    s.cycle.repeats = 0;
    s.cycle.state = readout ? UnprotectReadCmd : UnprotectWriteCmd;
    sendCommand(slot,
                readout ? BootloaderCommand::ReadoutUnprotect : BootloaderCommand::WriteUnprotect);
    milestone(slot, Milestone::EraseRefused);
    stepStarted(slot, SlotStep::Unprotect);
}

void PortStateMachine::sendEraseCommand(std::int32_t slot) {
    sendCommand(slot, slotAt(slot).chip.eraseCommand);
}

void PortStateMachine::erasePages(std::int32_t slot, const std::uint8_t*) {
    stepStarted(slot, SlotStep::Erase);
    sendPageList(slot);
}

void PortStateMachine::onErased(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    s.cycle.repeats = 0;
    s.cycle.erased = true;
    s.cycle.recoveriesInARow = 0;
    milestone(slot, Milestone::Erased);
    startWriting(slot);
}

void PortStateMachine::repeatErase(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendEraseCommand(slot);
}

void PortStateMachine::sendPageList(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t start = imageOf(s).startAddress;
    const PageListResult pages =
        BuildPageList(s.chip.geometry, start, imageOf(s).imageSize, s.cycle.pageList);
    // The run refused images that do not fit before it started; this end is the slot's own.
    s.cycle.endAddress = pages.endAddress;
    progressStarts(slot);
    const int pageCount = addSerialPages(s, pages.pageCount);
    Frame frame;
    MakeEraseFrame(s.chip.eraseCommand, s.cycle.pageList, pageCount, frame);
    send(slot, frame, 1, eraseWork(pageCount));
}

// ---------------------------------------------------------------- writing

void PortStateMachine::startWriting(std::int32_t slot) {
    stepStarted(slot, SlotStep::Write);
    writeNextBlock(slot);
}

void PortStateMachine::writeNextBlock(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    skipBlankBlocks(slot);
    if (s.cycle.writeAddress == s.cycle.endAddress + 1) {
        if (enterSerialBlock(slot))
            return writeNextBlock(slot);
        continueAfterImage(slot);
        return;
    }
    s.cycle.state = WriteCmd;
    sendCommand(slot, BootloaderCommand::WriteMemory);
}

// The blocks keep their boundaries; a blank one is passed over as if the chip had taken it.
void PortStateMachine::skipBlankBlocks(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (!s.cycle.inputs.write.skipBlankBlocks || !s.cycle.erased || isOptionDownload(s))
        return;
    const auto bytes = segmentBytes(s);
    while (s.cycle.writeAddress != s.cycle.endAddress + 1 && s.cycle.imageCursor < bytes.size()) {
        const std::span<const std::uint8_t> rest(bytes.data() + s.cycle.imageCursor,
                                                 bytes.size() - s.cycle.imageCursor);
        const int count = NextWriteBlockLength(rest, s.cycle.writeAddress, s.cycle.endAddress,
                                               s.cycle.inputs.write.blockBytes);
        if (count <= 0 || !IsBlank(rest.first(std::size_t(count))))
            return;
        s.cycle.imageCursor += std::uint32_t(count);
        s.cycle.writeAddress += std::uint32_t(count);
        s.cycle.writtenAddress = s.cycle.writeAddress;
        s.result.blankBytesSkipped += std::uint32_t(count);
    }
}

void PortStateMachine::sendWriteAddress(std::int32_t slot, const std::uint8_t*) {
    sendAddress(slot, slotAt(slot).cycle.writeAddress);
}

void PortStateMachine::sendNextBlock(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    s.ports.Purge();
    s.cycle.blockAddress = s.cycle.writeAddress;
    const auto bytes = segmentBytes(s);
    const std::size_t cursor = std::min<std::size_t>(s.cycle.imageCursor, bytes.size());
    const std::span<const std::uint8_t> rest(bytes.data() + cursor, bytes.size() - cursor);
    Frame frame;
    int consumed = 0;
    if (isOptionDownload(s)) {
        if (rest.size() < std::size_t(kOptionByteCount)) {
            FailSlot(slot, EndReason::None);
            return;
        }
        MakeOptionBytesFrame(rest.first<kOptionByteCount>(), frame);
        consumed = kOptionByteCount;
        s.cycle.optionWritten = true;
    } else {
        consumed = MakeNextWriteBlock(rest, s.cycle.writeAddress, s.cycle.endAddress, frame,
                                      s.cycle.inputs.write.blockBytes);
    }
    s.cycle.imageCursor += std::uint32_t(consumed);
    s.cycle.writeAddress += std::uint32_t(consumed);
    send(slot, frame, 1, isOptionDownload(s) ? timing_.optionWrite : timing_.programBlock);
}

void PortStateMachine::onBlockWritten(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    s.cycle.repeats = 0;
    s.cycle.recoveriesInARow = 0;
    // writeAddress already counts a block in flight; this counts only what the chip took.
    s.cycle.writtenAddress = s.cycle.writeAddress;
    writeNextBlock(slot);
}

// Without this the run would wait for this slot's write address for ever.
void PortStateMachine::onBlockRefused(std::int32_t slot, const std::uint8_t*) {
    FailSlot(slot, EndReason::DataRefused, SlotStep::None, slotAt(slot).cycle.blockAddress);
}

// The whole image is written: read it back if asked, then start the program, protect the
// chip, or (option bytes) end.
void PortStateMachine::continueAfterImage(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const bool protect = s.cycle.inputs.protect;
    const bool verifyPending = s.cycle.inputs.verify && !s.result.verified;
    if (isOptionDownload(s) && s.cycle.optionWritten && (verifyPending || protect)) {
        // The chip restarts after its option bytes are written; nothing reaches it until it
        // is synchronised again.
        s.cycle.state = ResyncAfterOptionWrite;
        waitForRestart(slot);
        return;
    }
    if (verifyPending) {
        startVerify(slot);
    } else if (protect) {
        s.cycle.state = ProtectCmd;
        stepStarted(slot, SlotStep::Protect);
        sendCommand(slot, BootloaderCommand::WriteMemory);
    } else if (!isOptionDownload(s)) {
        milestone(slot, Milestone::Written);
        if (s.cycle.inputs.boot.exit)
            return beginBootExit(slot, true);
        s.cycle.state = GoCmd;
        stepStarted(slot, SlotStep::Go);
        sendCommand(slot, BootloaderCommand::Go);
    } else {
        endSlot(slot, SlotResult::Succeeded);  // state stays WriteData
    }
}

// ---------------------------------------------------------------- starting the program

void PortStateMachine::sendGoAddress(std::int32_t slot, const std::uint8_t*) {
    milestone(slot, Milestone::GoAccepted);
    sendAddress(slot, imageOf(slotAt(slot)).startAddress);
}

// The new program runs; what it prints is none of our business.
void PortStateMachine::onStarted(std::int32_t slot, const std::uint8_t*) {
    slotAt(slot).ports.SetReceiveEnabled(false);
    endSlot(slot, SlotResult::Succeeded);
}

}  // namespace pellion
