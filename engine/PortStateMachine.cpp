#include "engine/PortStateMachine.h"

#include <algorithm>

namespace pellion {

PortStateMachine::PortStateMachine(OwnerLoop& loop, PortTable& table,
                                   const DeviceCatalogue& catalogue, EngineEvents& events)
    : loop_(loop), table_(table), catalogue_(catalogue), events_(events) {}

PortStateMachine::~PortStateMachine() {
    CancelAll();
}

// ---------------------------------------------------------------- entering the machine

void PortStateMachine::BeginIdentification(std::int32_t slot, const SlotInputs& inputs) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.run = SlotRun{};
    s.run.readUniqueId = inputs.readUniqueId;
    s.run.session = nextSession_++;
    s.run.started = SteadyClock::now();
    s.state = SyncSent;
    events_.tell(&EngineListener::OnSlotStarted, SlotStarted{slot, SlotPhase::Identification});
    stepStarted(slot, SlotStep::Sync);
    sendSync(slot);
}

const FirmwareImage& PortStateMachine::imageOf(const PortSlot& slot) {
    static const FirmwareImage none;
    return slot.run.image ? *slot.run.image : none;
}

void PortStateMachine::BeginRun(std::int32_t slot, const SlotInputs& inputs) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    SlotRun& run = s.run;
    run.image = inputs.image;
    const FirmwareImage& image = imageOf(s);
    const std::uint32_t start = image.startAddress;
    run.session = nextSession_++;
    run.repeats = 0;
    run.readUnprotectRounds = 0;
    run.writeUnprotectRounds = 0;
    run.optionReadRefusals = 0;
    run.optionRereads = 0;
    run.optionBytesRead = false;
    run.verifyRereads = 0;
    run.progressTotal = 0;
    run.verifyMismatch.clear();
    run.verifyFailed = false;
    run.massErased = false;
    run.erased = false;
    run.recoveries = 0;
    run.blankBytesSkipped = 0;
    run.stopRequested = false;
    run.interrupted = false;
    run.failedStep = SlotStep::None;
    run.verify = inputs.verify;
    run.protect = inputs.protect;
    run.write = inputs.write;
    if (!IsValidWriteBlockSize(run.write.blockBytes))
        run.write.blockBytes = kWriteBlockBytes;
    run.verified = false;
    run.optionWritten = false;
    run.inRun = true;
    run.outcome = SlotOutcome::Running;
    run.started = SteadyClock::now();
    run.ended = {};
    run.endAddress = isOptionDownload(s) ? start + kOptionByteCount - 1
                                         : start + std::max<std::uint32_t>(image.imageSize, 1) - 1;
    run.verifyAddress = start;
    run.writtenAddress = start;
    s.imageCursor = 0;
    s.writeAddress = start;
    s.state = OptReadCmd;
    events_.tell(&EngineListener::OnSlotStarted, SlotStarted{slot, SlotPhase::Programming});
    stepStarted(slot, SlotStep::ReadOptions);
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::FailSlot(std::int32_t slot, EndReason reason, SlotStep step,
                                std::uint32_t address) {
    endSlot(slot, SlotResult::Failed, reason, step, address);
}

void PortStateMachine::CancelSlot(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const bool atWork = IsAtWork(slot);
    stopTimers(slot);
    s.run.session = nextSession_++;
    s.run.awaitingModel = false;
    if (atWork)
        endSlot(slot, SlotResult::Cancelled);
}

void PortStateMachine::CancelAll() {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i)
        stopTimers(i);
}

bool PortStateMachine::IsAtWork(std::int32_t slot) const {
    const PortSlot& s = slotAt(slot);
    if (s.run.outcome == SlotOutcome::Running)
        return true;
    if (s.run.inRun || s.run.awaitingModel || !s.ports.IsOpen())
        return false;
    const SlotStep step = StepOfState(s.state);
    return step == SlotStep::Sync || step == SlotStep::Identify;
}

void PortStateMachine::RequestStop(std::int32_t slot) {
    if (!IsAtWork(slot))
        return;
    SlotRun& run = slotAt(slot).run;
    if (run.answerTimer != 0) {
        run.stopRequested = true;  // the frame under way ends with its answer or time-out
        return;
    }
    endInterrupted(slot);  // waiting for nothing but its own timer
}

void PortStateMachine::StopNow(std::int32_t slot) {
    if (IsAtWork(slot))
        endInterrupted(slot);
}

void PortStateMachine::endInterrupted(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.run.interrupted = true;
    s.run.stopRequested = false;
    FailSlot(slot, EndReason::Interrupted);
}

// A failure sets the slot Failed whichever phase it ends; a cancel leaves its state. A slot
// that is neither identifying nor running has no phase to end (a finished run's result stands).
void PortStateMachine::endSlot(std::int32_t slot, SlotResult result, EndReason reason,
                               SlotStep failedStep, std::uint32_t address) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    SlotEnded ended;
    ended.slot = slot;
    ended.result = result;
    ended.reason = reason;
    if (reason >= EndReason::PortBusy) {
        // The port never opened: the slot keeps only why, for reports.
        s.run = SlotRun{};
        s.run.failedStep = ended.failedStep = SlotStep::Port;
        ended.phase = SlotPhase::Identification;
        events_.tell(&EngineListener::OnSlotEnded, ended);
        return;
    }
    const bool programming = s.run.outcome == SlotOutcome::Running;
    if (!programming && result == SlotResult::Succeeded)
        return;
    ended.phase = programming ? SlotPhase::Programming : SlotPhase::Identification;
    ended.address = address;
    if (result == SlotResult::Failed) {
        ended.during = StepOfState(stepState(s));
        ended.readout = IsReadUnprotectState(stepState(s));
        s.run.failedStep = failedStep != SlotStep::None ? failedStep : ended.during;
        s.run.ended = SteadyClock::now();  // an identification that fails has a duration too
        s.state = Failed;
        s.run.awaitingModel = false;
    }
    ended.failedStep = result == SlotResult::Failed ? s.run.failedStep : SlotStep::None;
    if (programming) {
        s.run.outcome = result == SlotResult::Succeeded ? SlotOutcome::Succeeded
                        : result == SlotResult::Failed  ? SlotOutcome::Failed
                                                        : SlotOutcome::Cancelled;
        s.run.ended = SteadyClock::now();
        ended.bytesWritten =
            s.run.writtenAddress - imageOf(s).startAddress - s.run.blankBytesSkipped;
        ended.blankBytesSkipped = s.run.blankBytesSkipped;
        ended.recoveries = s.run.recoveries;
    }
    ended.verified = s.run.verified;
    ended.massErased = s.run.massErased;
    ended.interrupted = s.run.interrupted;
    events_.tell(&EngineListener::OnSlotEnded, ended);
    if (programming && onRunEnded)
        onRunEnded(slot);
}

// ---------------------------------------------------------------- progress

void PortStateMachine::progressStarts(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.run.progressTotal = ProgressMaximum(s, imageOf(s).startAddress);
    events_.tell(&EngineListener::OnProgress, Progress{slot, 0, s.run.progressTotal});
}

std::int32_t PortStateMachine::ProgressMaximum(const PortSlot& slot, std::uint32_t startAddress) {
    const std::uint32_t span = slot.run.endAddress - startAddress;
    // With read-back the bar covers writing and reading: full only once verified.
    return std::int32_t(slot.run.verify ? 2 * (span + 1) - 1 : span);
}

std::int32_t PortStateMachine::ProgressPosition(const PortSlot& slot, std::uint32_t startAddress) {
    std::uint32_t position = slot.writeAddress - startAddress;
    if (slot.run.verify)
        position += slot.run.verifyAddress - startAddress;
    return std::int32_t(position);
}

// ---------------------------------------------------------------- the transition table

void PortStateMachine::HandlePortAnswer(std::int32_t slot, const std::uint8_t* answer) {
    if (slot < 0 || slot >= table_.slotCount())
        return;
    PortSlot& s = slotAt(slot);
    ++s.run.answers;
    answer = assembleAnswer(s, answer);
    if (answer == nullptr)
        return;  // more of it is on its way
    const std::uint8_t b = answer[0];
    const bool ack = b == ACK;
    const bool nack = b == NACK;
    if (s.run.inRun && s.run.outcome != SlotOutcome::Running)
        return;  // its run has ended
    if (s.run.awaitingModel)
        return;  // it waits for the operator now, not for the chip
    if (s.run.stopRequested) {
        endInterrupted(slot);  // the frame under way has ended: nothing more is sent
        return;
    }
    if (s.state == LineRecovery) {
        onFillerAnswered(slot);  // any answer at all ends the frame the chip was in
        return;
    }
    if (s.state == RecoverFiller) {
        onRecoveryFillerAnswered(slot);
        return;
    }
    if (!ack && !nack && s.state != WriteCmd) {
        s.run.garbledAnswer = true;  // ignored; named if the step then times out
        return;
    }

    switch (s.state) {
        case SyncSent:
            onSyncSent(slot, b);
            break;
        case CodeRequested:
            onCodeRequested(slot, b, answer);
            break;
        case UniqueIdCmd:
            if (ack) {
                s.run.uniqueIdRefusals = 0;
                s.state = UniqueIdAddr;
                sendAddress(slot, kUniqueIdAddress);
            } else {
                onUniqueIdRefused(slot);
            }
            break;
        case UniqueIdAddr:
        case UniqueIdData:
            if (ack && s.state == UniqueIdAddr) {
                s.state = UniqueIdData;
                Frame frame;
                MakeReadCountFrame(kUniqueIdBytes, frame);
                send(slot, frame, 1 + kUniqueIdBytes);
            } else if (ack) {
                onUniqueId(slot, answer);
            } else if (mayRepeat(slot)) {
                s.state = UniqueIdCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;

        case OptReadCmd:
            if (ack) {
                s.run.optionReadRefusals = 0;
                s.state = OptReadAddr;
                sendAddress(slot, kOptionBytesAddress);
            } else {
                onOptionReadRefused(slot);
            }
            break;
        case OptReadAddr:
        case OptReadData:
            if (ack && s.state == OptReadAddr) {
                s.state = OptReadData;
                Frame frame;
                MakeReadCountFrame(kOptionByteCount, frame);
                send(slot, frame, 1 + kOptionByteCount);
            } else if (ack) {
                onOptionBytes(slot, answer);
            } else if (mayRepeat(slot)) {
                s.state = OptReadCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;

        case EraseCmd:
            if (ack) {
                s.state = ErasePages;
                stepStarted(slot, SlotStep::Erase);
                sendPageList(slot);
            } else {
                onEraseRefused(slot);
            }
            break;
        case ErasePages:
            if (ack) {
                s.run.repeats = 0;
                s.run.erased = true;
                milestone(slot, Milestone::Erased);
                startWriting(slot);
            } else if (mayRepeat(slot)) {
                s.state = EraseCmd;
                sendEraseCommand(slot);
            }
            break;

        case WriteCmd:
            if (ack) {
                s.state = WriteAddr;
                sendAddress(slot, s.writeAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteMemory);
            }
            break;
        case WriteAddr:
            if (ack) {
                sendNextBlock(slot);
            } else if (mayRepeat(slot)) {
                s.state = WriteCmd;
                sendCommand(slot, BootloaderCommand::WriteMemory);
            }
            break;
        case WriteData:
            if (ack) {
                onBlockWritten(slot);
            } else {
                // Without this the run would wait for this slot's write address for ever.
                FailSlot(slot, EndReason::DataRefused, SlotStep::None, s.run.blockAddress);
            }
            break;

        case GoCmd:
            if (ack) {
                s.state = GoAddr;
                milestone(slot, Milestone::GoAccepted);
                sendAddress(slot, imageOf(s).startAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::Go);
            }
            break;
        case GoAddr:
            if (ack) {
                // The new program runs; what it prints is none of our business.
                s.ports.SetReceiveEnabled(false);
                endSlot(slot, SlotResult::Succeeded);
            } else if (mayRepeat(slot)) {
                s.state = GoCmd;
                sendCommand(slot, BootloaderCommand::Go);
            }
            break;

        case UnprotectWriteCmd:
            if (ack) {
                s.state = UnprotectWriteDone;
                armAnswerTimerFor(slot, 1, timing_.optionWrite);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteUnprotect);
            }
            break;
        case UnprotectWriteDone:
            if (ack) {
                milestone(slot, Milestone::WriteUnprotected);
                resyncLater(slot, ResyncAfterWriteUnprotect);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteUnprotect, 2, timing_.optionWrite);
            }
            break;
        case UnprotectReadCmd:
            if (ack) {
                s.state = UnprotectReadDone;
                armAnswerTimerFor(slot, 1, massEraseWork(s));
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::ReadoutUnprotect);
            }
            break;
        case UnprotectReadDone:
            if (ack) {
                s.readUnprotectAllowed = 0;
                s.run.massErased = true;
                milestone(slot, Milestone::ReadUnprotected);
                resyncLater(slot, ResyncAfterReadUnprotect);
            } else if (mayRepeat(slot)) {
                s.state = UnprotectReadCmd;
                sendCommand(slot, BootloaderCommand::ReadoutUnprotect);
            }
            break;
        // A NACK to a lone SYNC means the bootloader was already listening: synchronised.
        case ResyncAfterReadUnprotect:
            if (s.run.delayTimer != 0)
                break;  // too early: not asked yet
            s.run.repeats = 0;
            s.state = OptReadCmd;
            s.readUnprotectAllowed = 0;
            sendCommand(slot, BootloaderCommand::ReadMemory);
            break;
        case ResyncAfterWriteUnprotect:
            if (s.run.delayTimer != 0)
                break;
            s.run.repeats = 0;
            s.state = EraseCmd;
            sendEraseCommand(slot);
            break;
        case ResyncAfterOptionWrite:
            if (s.run.delayTimer != 0)
                break;
            s.run.repeats = 0;
            s.run.optionWritten = false;
            continueAfterImage(slot);
            break;

        case ProtectCmd:
            if (ack) {
                s.state = ProtectAddr;
                sendAddress(slot, kOptionBytesAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteMemory);
            }
            break;
        case ProtectAddr:
            if (ack) {
                s.state = ProtectData;
                Frame frame;
                MakeReadProtectFrame(optionBytesToProtect(s), frame);
                send(slot, frame, 1, timing_.optionWrite);
            } else if (mayRepeat(slot)) {
                sendAddress(slot, kOptionBytesAddress);
            }
            break;
        case ProtectData:
            if (ack) {
                milestone(slot, Milestone::Protected);
                endSlot(slot, SlotResult::Succeeded);
            } else {
                FailSlot(slot, EndReason::None);
            }
            break;

        case VerifyCmd:
            if (ack) {
                s.state = VerifyAddr;
                sendAddress(slot, s.run.verifyAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;
        case VerifyAddr:
            if (ack) {
                sendVerifyCount(slot);
            } else if (mayRepeat(slot)) {
                s.state = VerifyCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;
        case VerifyData:
            if (ack) {
                onVerifyData(slot, answer);
            } else if (mayRepeat(slot)) {
                s.state = VerifyCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;

        case RecoverSync:
            resumeAfterRecovery(slot);
            break;
        case CheckBlockCmd:
            if (ack) {
                s.state = CheckBlockAddr;
                sendAddress(slot, s.run.blockAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;
        case CheckBlockAddr:
            if (ack) {
                s.state = CheckBlockData;
                Frame frame;
                MakeReadCountFrame(int(s.run.checkedBlockBytes), frame);
                send(slot, frame, 1 + int(s.run.checkedBlockBytes));
            } else if (mayRepeat(slot)) {
                s.state = CheckBlockCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;
        case CheckBlockData:
            if (ack) {
                onCheckedBlock(slot, answer);
            } else if (mayRepeat(slot)) {
                s.state = CheckBlockCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;

        default:
            break;  // Ready, Failed and values without meaning ignore every answer
    }
}

}  // namespace pellion
