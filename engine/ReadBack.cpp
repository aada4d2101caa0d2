// Read-back verification: the image is read from the chip in chunks and compared.
#include <algorithm>

#include "engine/PortStateMachine.h"

namespace pellion {

void PortStateMachine::startVerify(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.serialEntered) {
        // The image first, then the serial block.
        s.cycle.inSerialBlock = s.cycle.serialVerifying = false;
        s.cycle.endAddress = s.cycle.imageEndAddress;
    }
    s.cycle.verifyAddress = imageOf(s).startAddress;
    s.cycle.repeats = 0;
    stepStarted(slot, SlotStep::Verify);
    s.cycle.state = VerifyCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::sendVerifyAddress(std::int32_t slot, const std::uint8_t*) {
    sendAddress(slot, slotAt(slot).cycle.verifyAddress);
}

void PortStateMachine::sendVerifyCount(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t left = s.cycle.endAddress + 1 - s.cycle.verifyAddress;
    s.cycle.verifyCount = int(std::min<std::uint32_t>(left, kMaxReadBytes));
    Frame frame;
    MakeReadCountFrame(s.cycle.verifyCount, frame);
    send(slot, frame, 1 + s.cycle.verifyCount);
}

void PortStateMachine::onVerifyData(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    const auto image = segmentBytes(s);
    const std::size_t offset = s.cycle.verifyAddress - segmentStart(s);
    for (int i = 0; i < s.cycle.verifyCount; ++i) {
        const std::size_t at = offset + std::size_t(i);
        if (at >= image.size() || answer[1 + i] != image[at]) {
            onVerifyMismatch(slot, answer, i);
            return;
        }
    }
    s.cycle.verifyAddress += std::uint32_t(s.cycle.verifyCount);
    s.cycle.repeats = 0;
    s.cycle.verifyRereads = 0;
    s.cycle.recoveriesInARow = 0;
    s.cycle.verifyMismatch.clear();
    if (s.cycle.verifyAddress != s.cycle.endAddress + 1) {
        s.cycle.state = VerifyCmd;
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    if (verifySerialBlock(slot))
        return;
    s.result.verified = true;
    milestone(slot, Milestone::Verified);
    continueAfterImage(slot);
}

// A chunk that differs from the image may have been corrupted on the line. The flash is
// called different only when two reads of it agree with each other; reads that keep
// disagreeing name the line.
void PortStateMachine::onVerifyMismatch(std::int32_t slot, const std::uint8_t* answer, int at) {
    PortSlot& s = slotAt(slot);
    const std::vector<std::uint8_t> chunk(answer + 1, answer + 1 + s.cycle.verifyCount);
    if (chunk == s.cycle.verifyMismatch) {
        s.result.verifyFailed = true;
        FailSlot(slot, EndReason::FlashDiffers, SlotStep::None,
                 s.cycle.verifyAddress + std::uint32_t(at));
        return;
    }
    if (++s.cycle.verifyRereads > timing_.maxVerifyRereads) {
        FailSlot(slot, EndReason::Garbled);
        return;
    }
    s.cycle.verifyMismatch = chunk;
    s.cycle.state = VerifyCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

}  // namespace pellion
