// Identification: SYNC, Get device code, the catalogue; and the recovery of a chip that was
// left in the middle of a frame.
#include <algorithm>

#include "engine/PortStateMachine.h"

namespace pellion {

namespace {
// Filler is sent in blocks of this size; any answer to a block ends the recovery.
constexpr int kFillerBlockBytes = 256;
}  // namespace

void PortStateMachine::onSynced(std::int32_t slot, const std::uint8_t* answer) {
    // ACK, or NACK from a bootloader that was already synchronised: go on alike, but a NACK
    // may also be left over from a frame the chip was in, which the device code will tell.
    PortSlot& s = slotAt(slot);
    s.cycle.repeats = 0;
    s.cycle.syncedByNack = answer[0] == NACK;
    requestDeviceCode(slot);
    stepStarted(slot, SlotStep::Identify);
}

void PortStateMachine::requestDeviceCode(std::int32_t slot) {
    ++slotAt(slot).cycle.codeRequests;
    sendCommand(slot, BootloaderCommand::GetDeviceCode, kDeviceCodeAnswerBytes);
}

void PortStateMachine::onDeviceCode(std::int32_t slot, const std::uint8_t* answer) {
    stopTimers(slot);  // from here the slot waits for the operator, not the chip
    identify(slot, answer);
}

// A refusal after a NACK-as-sync may be the chip refusing the rest of a frame it was left in:
// end that frame first. A chip that still refuses may be one without the command (or a command
// byte was corrupted): asked again, bounded, then the operator chooses the model.
void PortStateMachine::onCodeRefused(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.syncedByNack && s.cycle.lineRecoveries == 0) {
        startLineRecovery(slot);
        return;
    }
    if (s.cycle.codeRequests < timing_.maxCodeRequests) {
        requestDeviceCode(slot);
        return;
    }
    awaitModel(slot, false);
}

void PortStateMachine::onCodeTimeout(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    // The chip acknowledged the command but sent fewer bytes than a code needs: it is
    // listening. A byte lost on the line looks the same, so it is asked again (it waits for a
    // command already); a chip that keeps answering short has a code nobody knows, and the
    // operator can still choose its model.
    if (!s.cycle.pending.empty() && s.cycle.pending.front() == ACK) {
        if (s.cycle.codeRequests < timing_.maxCodeRequests) {
            requestDeviceCode(slot);
            return;
        }
        awaitModel(slot, true);
        return;
    }
    if (s.cycle.syncedByNack && s.cycle.lineRecoveries == 0) {
        startLineRecovery(slot);
        return;
    }
    const bool silent = !s.cycle.garbledAnswer && s.cycle.pending.empty();
    s.cycle.silentCodeRequests += silent ? 1 : 0;
    if (s.cycle.codeRequests < timing_.maxCodeRequests) {
        requestDeviceCode(slot);
        return;
    }
    // SYNC (0x7F) passes an adapter that sends without parity; Get device code (06 F9) never
    // does. A chip that acknowledged SYNC and then heard no command at all points to that.
    const bool parityBlind =
        !s.cycle.syncedByNack && s.cycle.silentCodeRequests == s.cycle.codeRequests;
    FailSlot(slot, parityBlind ? EndReason::NoAnswerParityBlind : silenceReason(s));
}

void PortStateMachine::identify(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    const DeviceCode code = ParseDeviceCode(answer);
    s.chip.deviceCode = code.text();
    const auto geometry = catalogue_.findGeometry(code);
    if (!geometry) {
        awaitModel(slot, true);
        return;
    }
    s.chip.geometry = *geometry;
    // Mode 0 sets the standard erase back too: the slot may have held a larger chip before.
    s.chip.eraseCommand =
        geometry->eraseMode == 0 ? BootloaderCommand::Erase : BootloaderCommand::ExtendedErase;
    s.chip.namedItself = true;
    if (const auto name = catalogue_.findPartName(code))
        s.chip.partName = *name;
    if (s.cycle.inputs.readUniqueId) {
        startUniqueIdRead(slot);
        return;
    }
    endIdentification(slot);
}

void PortStateMachine::endIdentification(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.cycle.state = Ready;
    if (s.cycle.probing)
        return endProbe(slot, true);
    const auto code = DeviceCode::fromText(s.chip.deviceCode);
    const auto name = code ? catalogue_.findPartName(*code) : std::nullopt;
    events_.tell(&EngineListener::OnIdentified,
                 Identified{slot, s.chip.deviceCode, name.value_or(""), s.chip.uniqueId,
                            s.chip.uniqueIdRefused});
}

// ---------------------------------------------------------------- the unique ID

void PortStateMachine::startUniqueIdRead(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.cycle.repeats = 0;
    s.cycle.uniqueIdRefusals = 0;
    s.cycle.state = UniqueIdCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

// A readout-protected chip refuses every read; one refusal may be a corrupted command byte.
// Refused in a row, the ID stays unknown and the chip is identified without it.
void PortStateMachine::askUniqueIdAddress(std::int32_t slot, const std::uint8_t*) {
    slotAt(slot).cycle.uniqueIdRefusals = 0;
    sendAddress(slot, kUniqueIdAddress);
}

void PortStateMachine::askUniqueIdBytes(std::int32_t slot, const std::uint8_t*) {
    Frame frame;
    MakeReadCountFrame(kUniqueIdBytes, frame);
    send(slot, frame, 1 + kUniqueIdBytes);
}

void PortStateMachine::onUniqueIdRefused(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (++s.cycle.uniqueIdRefusals < timing_.refusalsToConcludeProtection) {
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    s.chip.uniqueIdRefused = true;
    endIdentification(slot);
}

void PortStateMachine::onUniqueId(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    ChipUniqueId id;
    std::copy_n(answer + 1, kUniqueIdBytes, id.begin());
    s.chip.uniqueId = id;
    endIdentification(slot);
}

// Identification has ended without a usable code: the slot waits in CodeRequested until the
// operator chooses its model (or the command line leaves it out).
void PortStateMachine::awaitModel(std::int32_t slot, bool unknownDevice) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.cycle.pending.clear();
    s.chip.awaitingModel = true;
    s.chip.unknownDevice = unknownDevice;
    s.result.ended = SteadyClock::now();
    if (s.cycle.probing)
        return endProbe(slot, true);
    events_.tell(
        &EngineListener::OnModelNeeded,
        ModelNeeded{slot, unknownDevice ? s.chip.deviceCode : std::string(), unknownDevice});
}

// ---------------------------------------------------------------- a chip left mid-frame

// A chip whose host went away in the middle of a frame still waits for the rest of it and
// takes SYNC and commands as frame bytes. 0xFF filler ends any such frame: the chip refuses
// it (a write of 0xFF bytes, if the checksum happens to hold, changes no flash cell).
void PortStateMachine::startLineRecovery(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    ++s.cycle.lineRecoveries;
    s.cycle.fillerBlocks = 0;
    s.cycle.state = LineRecovery;
    stepStarted(slot, SlotStep::Sync, true);
    sendFiller(slot);
}

void PortStateMachine::sendFiller(std::int32_t slot) {
    ++slotAt(slot).cycle.fillerBlocks;
    Frame frame;
    MakeFillerFrame(kFillerBlockBytes, frame);
    send(slot, frame, 1);
}

void PortStateMachine::onFillerAnswered(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.delayTimer != 0)
        return;  // the chip refusing the rest of the filler: dropped below
    if (s.cycle.answerTimer != 0)
        loop_.stopTimer(s.cycle.answerTimer);
    s.cycle.answerTimer = 0;
    // The rest of the block reaches the chip as commands, refused pair by pair. Wait until
    // those refusals are in, drop them, then synchronise afresh.
    const auto quiet =
        std::max(timing_.resyncDelay, AnswerTimeout(timing_, s.ports.Baud(), s.ports.writePause,
                                                    kFillerBlockBytes, kFillerBlockBytes / 2, {}));
    const std::uint64_t session = s.cycle.session;
    s.cycle.delayTimer = loop_.startTimer(quiet, false, [this, slot, session] {
        if (slot >= table_.slotCount() || slotAt(slot).cycle.session != session)
            return;
        PortSlot& s = slotAt(slot);
        s.cycle.delayTimer = 0;
        s.ports.Purge();
        s.cycle.repeats = 0;
        s.cycle.state = SyncSent;
        sendSync(slot);
    });
}

void PortStateMachine::onFillerTimeout(std::int32_t slot, const std::uint8_t*) {
    if (slotAt(slot).cycle.fillerBlocks < timing_.maxFillerBlocks) {
        sendFiller(slot);
        return;
    }
    FailSlot(slot, EndReason::NoAnswer);
}

}  // namespace pellion
