// Read-back verification: the image is read from the chip in chunks and compared.
#include <algorithm>

#include "engine/PortStateMachine.h"

namespace pellion {

void PortStateMachine::startVerify(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.run.verifyAddress = imageOf(s).startAddress;
    s.run.repeats = 0;
    stepStarted(slot, SlotStep::Verify);
    s.state = VerifyCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::sendVerifyCount(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t left = s.run.endAddress + 1 - s.run.verifyAddress;
    s.run.verifyCount = int(std::min<std::uint32_t>(left, kMaxReadBytes));
    s.state = VerifyData;
    Frame frame;
    MakeReadCountFrame(s.run.verifyCount, frame);
    send(slot, frame, 1 + s.run.verifyCount);
}

void PortStateMachine::onVerifyData(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    const auto& image = imageOf(s).imageBytes;
    const std::size_t offset = s.run.verifyAddress - imageOf(s).startAddress;
    for (int i = 0; i < s.run.verifyCount; ++i) {
        const std::size_t at = offset + std::size_t(i);
        if (at >= image.size() || answer[1 + i] != image[at]) {
            onVerifyMismatch(slot, answer, i);
            return;
        }
    }
    s.run.verifyAddress += std::uint32_t(s.run.verifyCount);
    s.run.repeats = 0;
    s.run.verifyRereads = 0;
    s.run.verifyMismatch.clear();
    if (s.run.verifyAddress != s.run.endAddress + 1) {
        s.state = VerifyCmd;
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    s.run.verified = true;
    milestone(slot, Milestone::Verified);
    continueAfterImage(slot);
}

// A chunk that differs from the image may have been corrupted on the line. The flash is
// called different only when two reads of it agree with each other; reads that keep
// disagreeing name the line.
void PortStateMachine::onVerifyMismatch(std::int32_t slot, const std::uint8_t* answer, int at) {
    PortSlot& s = slotAt(slot);
    const std::vector<std::uint8_t> chunk(answer + 1, answer + 1 + s.run.verifyCount);
    if (chunk == s.run.verifyMismatch) {
        s.run.verifyFailed = true;
        FailSlot(slot, EndReason::FlashDiffers, SlotStep::None,
                 s.run.verifyAddress + std::uint32_t(at));
        return;
    }
    if (++s.run.verifyRereads > timing_.maxVerifyRereads) {
        FailSlot(slot, EndReason::Garbled);
        return;
    }
    s.run.verifyMismatch = chunk;
    s.state = VerifyCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

}  // namespace pellion
