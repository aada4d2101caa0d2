// The serial block: fetched before the cycle's first frame, its pages erased with the image's,
// written after the image and read back after it.
#include <algorithm>

#include "engine/PortStateMachine.h"

namespace pellion {

void PortStateMachine::startReadingOptions(std::int32_t slot) {
    slotAt(slot).cycle.state = OptReadCmd;
    stepStarted(slot, SlotStep::ReadOptions);
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::onSerialBlock(std::int32_t slot, std::uint64_t session,
                                     SerialBlockAnswer answer) {
    if (slot < 0 || slot >= table_.slotCount())
        return;
    PortSlot& s = slotAt(slot);
    // The cycle may have been stopped or replaced while it waited.
    if (s.cycle.session != session || s.cycle.state != Ready ||
        s.result.outcome != SlotOutcome::Running || s.cycle.endHeld != 0) {
        return;
    }
    const auto& plan = *s.cycle.inputs.serial;
    if (answer.bytes.empty() || answer.bytes.size() > plan.reservedBytes ||
        answer.bytes.size() % kWriteAlignment != 0) {
        return FailSlot(slot, EndReason::NoSerialNumber, SlotStep::Write);
    }
    s.cycle.serialBytes = std::move(answer.bytes);
    startReadingOptions(slot);
}

// The block's pages that the image's do not cover join the erase list (the placement check
// made sure they fit).
int PortStateMachine::addSerialPages(PortSlot& s, int pageCount) {
    if (s.cycle.serialBytes.empty())
        return pageCount;
    const SerialBlockPlan& plan = *s.cycle.inputs.serial;
    const std::uint32_t first = PageOfAddress(s.chip.geometry, plan.address);
    const std::uint32_t last =
        PageOfAddress(s.chip.geometry, plan.address + plan.reservedBytes - 1);
    auto& list = s.cycle.pageList;
    for (std::uint32_t page = first; page <= last && pageCount < kMaxPageListSize; ++page) {
        if (std::find(list.begin(), list.begin() + pageCount, page) == list.begin() + pageCount)
            list[std::size_t(pageCount++)] = std::uint16_t(page);
    }
    return pageCount;
}

bool PortStateMachine::enterSerialBlock(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.serialBytes.empty() || s.cycle.serialEntered)
        return false;
    SlotCycle& c = s.cycle;
    c.imageBytesAcked = c.writtenAddress - imageOf(s).startAddress;
    c.imageEndAddress = c.endAddress;
    c.serialEntered = c.inSerialBlock = true;
    c.writeAddress = c.writtenAddress = c.blockAddress = c.inputs.serial->address;
    c.endAddress = c.writeAddress + std::uint32_t(c.serialBytes.size()) - 1;
    c.imageCursor = 0;
    return true;
}

// The image is read back; the block follows. False once both are.
bool PortStateMachine::verifySerialBlock(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    SlotCycle& c = s.cycle;
    if (!c.serialEntered || c.serialVerifying)
        return false;
    c.serialVerifying = c.inSerialBlock = true;
    c.verifyAddress = c.inputs.serial->address;
    c.endAddress = c.verifyAddress + std::uint32_t(c.serialBytes.size()) - 1;
    c.state = VerifyCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
    return true;
}

std::span<const std::uint8_t> PortStateMachine::segmentBytes(const PortSlot& slot) {
    if (slot.cycle.inSerialBlock)
        return slot.cycle.serialBytes;
    return imageOf(slot).imageBytes;
}

std::uint32_t PortStateMachine::segmentStart(const PortSlot& slot) {
    return slot.cycle.inSerialBlock ? slot.cycle.inputs.serial->address
                                    : imageOf(slot).startAddress;
}

std::uint32_t PortStateMachine::BytesWritten(const PortSlot& slot) {
    const SlotCycle& c = slot.cycle;
    const std::uint32_t written =
        c.serialEntered ? c.imageBytesAcked + (c.writtenAddress - c.inputs.serial->address)
                        : c.writtenAddress - imageOf(slot).startAddress;
    return written - slot.result.blankBytesSkipped;
}

}  // namespace pellion
