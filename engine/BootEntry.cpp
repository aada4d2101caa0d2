// Boot entry and exit: the slot's DTR and RTS bring its chip into the bootloader before SYNC
// and restart it in its application after programming.
#include "engine/PortStateMachine.h"

namespace pellion {

void PortStateMachine::beginBootEntry(std::int32_t slot, const BootSequence& entry) {
    PortSlot& s = slotAt(slot);
    s.cycle.state = BootEntry;
    s.chip.linesDriven = true;
    stepStarted(slot, SlotStep::BootEntry);
    const std::uint64_t session = s.cycle.session;
    bootRunner_.start(
        slot, entry, [this, slot](auto dtr, auto rts) { return setLines(slot, dtr, rts); },
        [this, slot, session](const LineOutcome& outcome) {
            PortSlot& s = slotAt(slot);
            if (s.cycle.session != session)
                return;
            if (!outcome.ok)
                return failLines(slot, outcome);
            if (s.cycle.stopRequested)
                return endInterrupted(slot);
            // What the application sent before its reset is no answer to SYNC.
            s.ports.Purge();
            s.cycle.state = SyncSent;
            if (s.cycle.probing)
                return sendProbeSync(slot);
            stepStarted(slot, SlotStep::Sync);
            sendSync(slot);
        });
}

// The exit replaces Go: the reset starts the new program as at power-up. After readout
// protection the chip has reset itself into its bootloader, and the exit starts it too.
void PortStateMachine::beginBootExit(std::int32_t slot, bool tellRestarted) {
    PortSlot& s = slotAt(slot);
    s.cycle.state = BootExit;
    stepStarted(slot, SlotStep::BootExit);
    const std::uint64_t session = s.cycle.session;
    bootRunner_.start(
        slot, *s.cycle.inputs.boot.exit,
        [this, slot](auto dtr, auto rts) { return setLines(slot, dtr, rts); },
        [this, slot, session, tellRestarted](const LineOutcome& outcome) {
            PortSlot& s = slotAt(slot);
            if (s.cycle.session != session)
                return;
            if (!outcome.ok)
                return failLines(slot, outcome);
            s.chip.linesDriven = false;  // where the exit leaves them is where they rest
            // The new program runs; what it prints is none of our business.
            s.ports.SetReceiveEnabled(false);
            if (tellRestarted)
                milestone(slot, Milestone::Restarted);
            endSlot(slot, SlotResult::Succeeded);
        });
}

void PortStateMachine::releaseLines(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (!s.chip.linesDriven || !s.ports.IsOpen())
        return;
    s.chip.linesDriven = false;
    setLines(slot, false, false);  // a port that cannot has said so already
}

LineOutcome PortStateMachine::setLines(std::int32_t slot, std::optional<bool> dtr,
                                       std::optional<bool> rts) {
    const SerialResult result = slotAt(slot).ports.SetLines(dtr, rts);
    return {result.ok(), result.kind == SerialErrorKind::NoLines, result.systemText};
}

void PortStateMachine::failLines(std::int32_t slot, const LineOutcome& outcome) {
    PortSlot& s = slotAt(slot);
    if (!outcome.noLines && s.ports.IsLost())
        return FailSlot(slot, EndReason::PortGone, SlotStep::Port);
    if (outcome.noLines)
        s.chip.linesDriven = false;  // nothing to put back
    FailSlot(slot, outcome.noLines ? EndReason::NoLines : EndReason::LinesFailed);
}

}  // namespace pellion
