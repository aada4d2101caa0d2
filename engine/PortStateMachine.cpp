#include "engine/PortStateMachine.h"

#include <algorithm>

namespace pellion {

PortStateMachine::PortStateMachine(OwnerLoop& loop, PortTable& table,
                                   const DeviceCatalogue& catalogue, EngineEvents& events)
    : loop_(loop), table_(table), catalogue_(catalogue), events_(events), bootRunner_(loop) {}

PortStateMachine::~PortStateMachine() {
    CancelAll();
}

// ---------------------------------------------------------------- entering the machine

void PortStateMachine::startFreshCycle(std::int32_t slot, const SlotInputs& inputs) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.chip = SlotChip{};
    s.cycle = SlotCycle{};
    s.cycle.inputs = inputs;
    s.cycle.session = nextSession_++;
    s.result = CycleResult{};
    s.result.started = SteadyClock::now();
    s.cycle.state = SyncSent;
}

void PortStateMachine::BeginIdentification(std::int32_t slot, const SlotInputs& inputs) {
    startFreshCycle(slot, inputs);
    events_.tell(&EngineListener::OnSlotStarted, SlotStarted{slot, SlotPhase::Identification});
    if (!inputs.boot.entry.empty())
        return beginBootEntry(slot, inputs.boot.entry);
    stepStarted(slot, SlotStep::Sync);
    sendSync(slot);
}

void PortStateMachine::BeginProbe(std::int32_t slot, const SlotInputs& inputs) {
    startFreshCycle(slot, inputs);
    PortSlot& s = slotAt(slot);
    s.cycle.probing = true;
    // After Go the port stopped listening to the program; what it printed is dropped.
    s.ports.Purge();
    s.ports.SetReceiveEnabled(true);
    if (!inputs.boot.entry.empty())
        return beginBootEntry(slot, inputs.boot.entry);
    sendProbeSync(slot);
}

void PortStateMachine::AnnounceProbe(std::int32_t slot) {
    const PortSlot& s = slotAt(slot);
    events_.tell(&EngineListener::OnSlotStarted, SlotStarted{slot, SlotPhase::Identification});
    if (s.cycle.state == Ready) {
        events_.tell(&EngineListener::OnIdentified,
                     Identified{slot, s.chip.deviceCode, s.chip.partName, s.chip.uniqueId,
                                s.chip.uniqueIdRefused});
    } else if (s.chip.awaitingModel) {
        events_.tell(&EngineListener::OnModelNeeded,
                     ModelNeeded{slot, s.chip.unknownDevice ? s.chip.deviceCode : std::string(),
                                 s.chip.unknownDevice});
    }
}

void PortStateMachine::endProbe(std::int32_t slot, bool answered) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.cycle.probing = false;
    if (s.cycle.state != Ready && !s.chip.awaitingModel)
        s.cycle.state = SocketEmpty;
    SocketProbed probed;
    probed.slot = slot;
    probed.answered = answered;
    probed.identified = s.cycle.state == Ready;
    probed.code = s.chip.deviceCode;
    probed.uniqueId = s.chip.uniqueId;
    probed.uniqueIdRefused = s.chip.uniqueIdRefused;
    events_.tell(&EngineListener::OnSocketProbed, probed);
}

const FirmwareImage& PortStateMachine::imageOf(const PortSlot& slot) {
    static const FirmwareImage none;
    return slot.cycle.inputs.image ? *slot.cycle.inputs.image : none;
}

// The chip stays as identification found it (or as its model was chosen); the run the slot
// joins was set by the run control.
void PortStateMachine::BeginRun(std::int32_t slot, const SlotInputs& inputs) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    SlotCycle& cycle = s.cycle;
    cycle = SlotCycle{};
    cycle.inputs = inputs;
    if (!IsValidWriteBlockSize(cycle.inputs.write.blockBytes))
        cycle.inputs.write.blockBytes = kWriteBlockBytes;
    cycle.session = nextSession_++;
    const std::uint64_t runId = s.result.runId;
    s.result = CycleResult{};
    s.result.runId = runId;
    s.result.inRun = true;
    s.result.outcome = SlotOutcome::Running;
    s.result.started = SteadyClock::now();
    const FirmwareImage& image = imageOf(s);
    const std::uint32_t start = image.startAddress;
    cycle.endAddress = isOptionDownload(s)
                           ? start + kOptionByteCount - 1
                           : start + std::max<std::uint32_t>(image.imageSize, 1) - 1;
    cycle.verifyAddress = start;
    cycle.writtenAddress = start;
    cycle.writeAddress = start;
    events_.tell(&EngineListener::OnSlotStarted, SlotStarted{slot, SlotPhase::Programming});
    if (!cycle.inputs.serial)
        return startReadingOptions(slot);
    if (!serialSource)
        return FailSlot(slot, EndReason::NoSerialNumber, SlotStep::Write);
    // Nothing is sent until the block is known: the state has no answers to wait for.
    cycle.state = Ready;
    const std::uint64_t session = cycle.session;
    serialSource(slot, [this, slot, session](SerialBlockAnswer answer) {
        onSerialBlock(slot, session, std::move(answer));
    });
}

void PortStateMachine::FailSlot(std::int32_t slot, EndReason reason, SlotStep step,
                                std::uint32_t address) {
    endSlot(slot, SlotResult::Failed, reason, step, address);
}

void PortStateMachine::CancelSlot(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const bool atWork = IsAtWork(slot);
    stopTimers(slot);
    s.cycle.session = nextSession_++;
    s.chip.awaitingModel = false;
    if (atWork)
        endSlot(slot, SlotResult::Cancelled);
    releaseLines(slot);
}

void PortStateMachine::CancelAll() {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i)
        stopTimers(i);
    bootRunner_.cancelAll();
}

bool PortStateMachine::IsAtWork(std::int32_t slot) const {
    const PortSlot& s = slotAt(slot);
    if (s.result.outcome == SlotOutcome::Running)
        return true;
    if (s.result.inRun || s.chip.awaitingModel || !s.ports.IsOpen())
        return false;
    const SlotStep step = StepOfState(s.cycle.state);
    return step == SlotStep::BootEntry || step == SlotStep::Sync || step == SlotStep::Identify;
}

void PortStateMachine::RequestStop(std::int32_t slot) {
    if (!IsAtWork(slot))
        return;
    SlotCycle& cycle = slotAt(slot).cycle;
    if (cycle.answerTimer != 0 || bootRunner_.isActive(slot)) {
        // The frame under way ends with its answer or time-out; a line sequence is never cut
        // short, so that no chip is left in reset.
        cycle.stopRequested = true;
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
    if (s.cycle.endHeld != 0)
        return;  // it ended before the interruption; only its telling waits
    s.result.interrupted = true;
    s.cycle.stopRequested = false;
    FailSlot(slot, EndReason::Interrupted);
}

// A failure sets the slot Failed whichever phase it ends; a cancel leaves its state. A slot
// that is neither identifying nor running has no phase to end (a finished run's result stands).
void PortStateMachine::endSlot(std::int32_t slot, SlotResult result, EndReason reason,
                               SlotStep failedStep, std::uint32_t address) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.endHeld != 0)
        return;  // it has ended already; only its telling waits
    // Lines that cannot be driven are the port's fault, not an empty socket: they end the probe
    // as they end an identification, so the operator is told.
    const bool linesFailed = reason == EndReason::NoLines || reason == EndReason::LinesFailed;
    if (s.cycle.probing && reason != EndReason::PortGone && !linesFailed) {
        // Past its SYNC something answered, whatever ended the probe then.
        endProbe(slot, s.cycle.state != SyncSent && s.cycle.state != BootEntry);
        return;
    }
    s.cycle.probing = false;
    stopTimers(slot);
    SlotEnded ended;
    ended.slot = slot;
    ended.result = result;
    ended.reason = reason;
    if (reason >= EndReason::PortBusy) {
        // The port never opened: the slot keeps only why, for reports.
        s.chip = SlotChip{};
        s.result = CycleResult{};
        s.result.failedStep = ended.failedStep = SlotStep::Port;
        ended.phase = SlotPhase::Identification;
        events_.tell(&EngineListener::OnSlotEnded, ended);
        return;
    }
    const bool programming = s.result.outcome == SlotOutcome::Running;
    if (!programming && result == SlotResult::Succeeded)
        return;
    ended.phase = programming ? SlotPhase::Programming : SlotPhase::Identification;
    ended.address = address;
    if (result == SlotResult::Failed) {
        ended.during = StepOfState(stepState(s));
        ended.readout = IsReadUnprotectState(stepState(s));
        s.result.failedStep = failedStep != SlotStep::None ? failedStep : ended.during;
        s.result.ended = SteadyClock::now();  // an identification that fails has a duration too
        s.cycle.state = Failed;
        s.chip.awaitingModel = false;
    }
    if (result != SlotResult::Succeeded)
        releaseLines(slot);
    ended.failedStep = result == SlotResult::Failed ? s.result.failedStep : SlotStep::None;
    SlotOutcome outcome = s.result.outcome;
    if (programming) {
        outcome = result == SlotResult::Succeeded ? SlotOutcome::Succeeded
                  : result == SlotResult::Failed  ? SlotOutcome::Failed
                                                  : SlotOutcome::Cancelled;
        s.result.ended = SteadyClock::now();
        ended.bytesWritten = BytesWritten(s);
        ended.blankBytesSkipped = s.result.blankBytesSkipped;
        ended.recoveries = s.result.recoveries;
    }
    ended.verified = s.result.verified;
    ended.massErased = s.result.massErased;
    ended.interrupted = s.result.interrupted;
    if (!programming) {
        events_.tell(&EngineListener::OnSlotEnded, ended);
        return;
    }
    if (!endHold)
        return tellRunEnd(slot, ended, outcome);
    const std::uint64_t hold = s.cycle.endHeld = nextHold_++;
    endHold(s, ended, [this, slot, hold, ended, outcome] {
        // A table rebuilt or a cycle started afresh meanwhile is no longer this end's.
        if (slot < table_.slotCount() && slotAt(slot).cycle.endHeld == hold)
            tellRunEnd(slot, ended, outcome);
    });
}

void PortStateMachine::tellRunEnd(std::int32_t slot, const SlotEnded& ended, SlotOutcome outcome) {
    PortSlot& s = slotAt(slot);
    s.cycle.endHeld = 0;
    s.result.outcome = outcome;
    events_.tell(&EngineListener::OnSlotEnded, ended);
    if (onRunEnded)
        onRunEnded(slot);
}

// ---------------------------------------------------------------- progress

void PortStateMachine::progressStarts(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.cycle.progressTotal = ProgressMaximum(s, imageOf(s).startAddress);
    events_.tell(&EngineListener::OnProgress, Progress{slot, 0, s.cycle.progressTotal});
}

std::int32_t PortStateMachine::ProgressMaximum(const PortSlot& slot, std::uint32_t startAddress) {
    const std::uint32_t span = slot.cycle.endAddress - startAddress;
    // With read-back the bar covers writing and reading: full only once verified.
    return std::int32_t(slot.cycle.inputs.verify ? 2 * (span + 1) - 1 : span);
}

std::int32_t PortStateMachine::ProgressPosition(const PortSlot& slot, std::uint32_t startAddress) {
    // The serial block counts as the image's end: the bar is the image's.
    const SlotCycle& c = slot.cycle;
    const std::uint32_t imageSpan =
        (c.serialEntered ? c.imageEndAddress : c.endAddress) + 1 - startAddress;
    std::uint32_t position = c.serialEntered ? imageSpan : c.writeAddress - startAddress;
    if (c.inputs.verify)
        position += c.serialVerifying ? imageSpan : c.verifyAddress - startAddress;
    return std::int32_t(position);
}

// ---------------------------------------------------------------- answers

void PortStateMachine::HandlePortAnswer(std::int32_t slot, const std::uint8_t* answer) {
    if (slot < 0 || slot >= table_.slotCount())
        return;
    PortSlot& s = slotAt(slot);
    ++s.cycle.answers;
    answer = assembleAnswer(s, answer);
    if (answer == nullptr)
        return;  // more of it is on its way
    if (s.result.inRun && s.result.outcome != SlotOutcome::Running)
        return;  // its run has ended
    if (s.chip.awaitingModel || s.cycle.endHeld != 0)
        return;  // it waits for the operator now, or for its record, not for the chip
    if (s.cycle.stopRequested) {
        endInterrupted(slot);  // the frame under way has ended: nothing more is sent
        return;
    }
    const Answer kind = answer[0] == ACK    ? Answer::Ack
                        : answer[0] == NACK ? Answer::Nack
                                            : Answer::Other;
    take(slot, kind, answer);
}

void PortStateMachine::take(std::int32_t slot, Answer answer, const std::uint8_t* bytes) {
    PortSlot& s = slotAt(slot);
    const Transition* transition = TransitionOf(s.cycle.state, answer);
    if (transition == nullptr) {
        if (answer == Answer::Other)
            s.cycle.garbledAnswer = true;  // ignored; named if the step then times out
        else if (answer == Answer::Silence)
            onSilence(slot, bytes);
        return;  // Ready, Failed and values without meaning ignore every answer
    }
    if (transition->next != kDecides)
        s.cycle.state = transition->next;
    (this->*transition->action)(slot, bytes);
}

}  // namespace pellion
