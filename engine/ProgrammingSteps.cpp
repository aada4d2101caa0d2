// The run after the option bytes: protection removal, erase, writing and what follows it.
#include "engine/PortStateMachine.h"

#include <algorithm>

namespace pellion {

// ---------------------------------------------------------------- option bytes and erase

// A chip under readout protection refuses every read, every time; one refusal may be a
// command byte corrupted on the line. Only refusals in a row conclude protection, because
// removing it erases the whole chip.
void PortStateMachine::onOptionReadRefused(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (++s.run.optionReadRefusals < timing_.refusalsToConcludeProtection) {
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    s.run.optionReadRefusals = 0;
    if (!mayUnprotect(slot, true))
        return;
    s.state = UnprotectReadCmd;
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
        if (++s.run.optionRereads > timing_.maxOptionRereads) {
            FailSlot(slot, EndReason::OptionBytesCorrupt);
            return;
        }
        s.state = OptReadCmd;
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    s.optionBytes = read;
    s.run.optionBytesRead = true;
    s.run.repeats = 0;
    const std::uint32_t start = imageOf(s).startAddress;
    // Every protected region the image reaches must be opened, not only the first: a chip
    // acknowledges writes to protected pages and leaves them unchanged.
    if (IsRangeWriteProtected(s.optionBytes, start, s.run.endAddress)) {
        if (!mayUnprotect(slot, false))
            return;
        s.state = UnprotectWriteCmd;
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
    s.state = EraseCmd;
    sendEraseCommand(slot);
}

// A refused erase is taken as protection once it was refused in a row. A chip whose option
// bytes could be read is not under readout protection: it gets Write unprotect, never Readout
// unprotect, whose mass erase would take a loader or calibration page outside the image.
void PortStateMachine::onEraseRefused(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (++s.run.repeats < timing_.refusalsToConcludeProtection) {
        sendEraseCommand(slot);
        return;
    }
    const bool readout = s.readUnprotectAllowed != 0 && !s.run.optionBytesRead;
    if (!mayUnprotect(slot, readout))
        return;
    s.run.repeats = 0;
    s.state = readout ? UnprotectReadCmd : UnprotectWriteCmd;
    sendCommand(slot,
                readout ? BootloaderCommand::ReadoutUnprotect : BootloaderCommand::WriteUnprotect);
    milestone(slot, Milestone::EraseRefused);
    stepStarted(slot, SlotStep::Unprotect);
}

void PortStateMachine::sendEraseCommand(std::int32_t slot) {
    sendCommand(slot, slotAt(slot).eraseCommand);
}

void PortStateMachine::sendPageList(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t start = imageOf(s).startAddress;
    const PageListResult pages = BuildPageList(s.geometry, start, imageOf(s).imageSize, s.pageList);
    // The run refused images that do not fit before it started; this end is the slot's own.
    s.run.endAddress = pages.endAddress;
    progressStarts(slot);
    Frame frame;
    MakeEraseFrame(s.eraseCommand, s.pageList, pages.pageCount, frame);
    send(slot, frame, 1, eraseWork(pages.pageCount));
}

// ---------------------------------------------------------------- writing

void PortStateMachine::startWriting(std::int32_t slot) {
    stepStarted(slot, SlotStep::Write);
    writeNextBlock(slot);
}

void PortStateMachine::writeNextBlock(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    skipBlankBlocks(slot);
    if (s.writeAddress == s.run.endAddress + 1) {
        continueAfterImage(slot);
        return;
    }
    s.state = WriteCmd;
    sendCommand(slot, BootloaderCommand::WriteMemory);
}

// The blocks keep their boundaries; a blank one is passed over as if the chip had taken it.
void PortStateMachine::skipBlankBlocks(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (!s.run.write.skipBlankBlocks || !s.run.erased || isOptionDownload(s))
        return;
    const auto& bytes = imageOf(s).imageBytes;
    while (s.writeAddress != s.run.endAddress + 1 && s.imageCursor < bytes.size()) {
        const std::span<const std::uint8_t> rest(bytes.data() + s.imageCursor,
                                                 bytes.size() - s.imageCursor);
        const int count =
            NextWriteBlockLength(rest, s.writeAddress, s.run.endAddress, s.run.write.blockBytes);
        if (count <= 0 || !IsBlank(rest.first(std::size_t(count))))
            return;
        s.imageCursor += std::uint32_t(count);
        s.writeAddress += std::uint32_t(count);
        s.run.writtenAddress = s.writeAddress;
        s.run.blankBytesSkipped += std::uint32_t(count);
    }
}

void PortStateMachine::sendNextBlock(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.ports.Purge();
    s.state = WriteData;
    s.run.blockAddress = s.writeAddress;
    const auto& bytes = imageOf(s).imageBytes;
    const std::size_t cursor = std::min<std::size_t>(s.imageCursor, bytes.size());
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
        s.run.optionWritten = true;
    } else {
        consumed = MakeNextWriteBlock(rest, s.writeAddress, s.run.endAddress, frame,
                                      s.run.write.blockBytes);
    }
    s.imageCursor += std::uint32_t(consumed);
    s.writeAddress += std::uint32_t(consumed);
    send(slot, frame, 1, isOptionDownload(s) ? timing_.optionWrite : timing_.programBlock);
}

void PortStateMachine::onBlockWritten(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.run.repeats = 0;
    // writeAddress already counts a block in flight; this counts only what the chip took.
    s.run.writtenAddress = s.writeAddress;
    writeNextBlock(slot);
}

// The whole image is written: read it back if asked, then start the program, protect the
// chip, or (option bytes) end.
void PortStateMachine::continueAfterImage(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const bool protect = s.run.protect;
    const bool verifyPending = s.run.verify && !s.run.verified;
    if (isOptionDownload(s) && s.run.optionWritten && (verifyPending || protect)) {
        // The chip restarts after its option bytes are written; nothing reaches it until it
        // is synchronised again.
        resyncLater(slot, ResyncAfterOptionWrite);
        return;
    }
    if (verifyPending) {
        startVerify(slot);
    } else if (protect) {
        s.state = ProtectCmd;
        stepStarted(slot, SlotStep::Protect);
        sendCommand(slot, BootloaderCommand::WriteMemory);
    } else if (!isOptionDownload(s)) {
        milestone(slot, Milestone::Written);
        s.state = GoCmd;
        stepStarted(slot, SlotStep::Go);
        sendCommand(slot, BootloaderCommand::Go);
    } else {
        endSlot(slot, SlotResult::Succeeded);  // state stays WriteData
    }
}

// An option-byte download has just replaced the option bytes read at the start of the run:
// protection is set on top of the downloaded ones, not on top of what they replaced.
OptionBytes PortStateMachine::optionBytesToProtect(const PortSlot& slot) const {
    const FirmwareImage& image = imageOf(slot);
    if (!isOptionDownload(slot) || image.imageBytes.size() < std::size_t(kOptionByteCount))
        return slot.optionBytes;
    OptionBytes downloaded;
    std::copy_n(image.imageBytes.begin(), kOptionByteCount, downloaded.begin());
    return downloaded;
}

}  // namespace pellion
