// How a slot talks to its chip: frames out, answers joined, time-outs and bounded repeats.
#include "engine/PortStateMachine.h"

#include <algorithm>

namespace pellion {

using std::chrono::milliseconds;

// ---------------------------------------------------------------- sending and waiting

// A longer answer may arrive in pieces (a USB adapter's latency timer, a busy line): the
// pieces are joined before the answer is examined. An answer that does not start with ACK is
// examined at once; only ACK is followed by data.
const std::uint8_t* PortStateMachine::assembleAnswer(PortSlot& s, const std::uint8_t* answer) {
    SlotCycle& cycle = s.cycle;
    const int expected = cycle.expectedBytes;
    if (expected <= 1)
        return answer;
    int count = s.ports.lastReadCount;
    if (count <= 0 || count > expected)
        count = expected;
    if (cycle.pending.empty() && (answer[0] != ACK || count >= expected))
        return answer;
    const int wanted = expected - int(cycle.pending.size());
    cycle.pending.insert(cycle.pending.end(), answer, answer + std::min(count, wanted));
    if (int(cycle.pending.size()) < expected) {
        s.ports.readLength = expected - int(cycle.pending.size());
        return nullptr;
    }
    ++cycle.joinedAnswers;
    cycle.assembled.assign(cycle.pending.begin(), cycle.pending.end());
    cycle.pending.clear();
    return cycle.assembled.data();
}

void PortStateMachine::send(std::int32_t slot, const Frame& frame, int answerBytes,
                            milliseconds chipWork) {
    PortSlot& s = slotAt(slot);
    s.cycle.expectedBytes = answerBytes;
    s.cycle.pending.clear();
    s.cycle.garbledAnswer = false;
    s.ports.readLength = answerBytes;
    s.ports.QueueWrite(frame.data(), frame.length);
    armAnswerTimer(slot, AnswerTimeout(timing_, s.ports.Baud(), s.ports.writePause, frame.length,
                                       answerBytes, chipWork));
}

void PortStateMachine::sendCommand(std::int32_t slot, std::uint8_t code, int answerBytes,
                                   milliseconds chipWork) {
    Frame frame;
    MakeCommandFrame(code, frame);
    send(slot, frame, answerBytes, chipWork);
}

void PortStateMachine::sendAddress(std::int32_t slot, std::uint32_t address) {
    Frame frame;
    MakeAddressFrame(address, frame);
    send(slot, frame, 1);
}

void PortStateMachine::sendSync(std::int32_t slot) {
    Frame frame;
    MakeSyncFrame(frame);
    send(slot, frame, 1);
}

void PortStateMachine::sendProbeSync(std::int32_t slot) {
    sendSync(slot);
    PortSlot& s = slotAt(slot);
    EngineTiming quick = timing_;
    quick.answerMargin = timing_.probeAnswer;
    armAnswerTimer(slot, AnswerTimeout(quick, s.ports.Baud(), s.ports.writePause, 1, 1, {}));
}

void PortStateMachine::armAnswerTimer(std::int32_t slot, milliseconds timeout) {
    SlotCycle& cycle = slotAt(slot).cycle;
    if (cycle.answerTimer != 0)
        loop_.stopTimer(cycle.answerTimer);
    const std::uint64_t session = cycle.session;
    cycle.answerTimer = loop_.startTimer(timeout, false, [this, slot, session] {
        if (slot >= table_.slotCount() || slotAt(slot).cycle.session != session)
            return;
        slotAt(slot).cycle.answerTimer = 0;
        onAnswerTimeout(slot);
    });
}

void PortStateMachine::armAnswerTimerFor(std::int32_t slot, int answerBytes,
                                         milliseconds chipWork) {
    PortSlot& s = slotAt(slot);
    armAnswerTimer(
        slot, AnswerTimeout(timing_, s.ports.Baud(), s.ports.writePause, 0, answerBytes, chipWork));
}

void PortStateMachine::stopTimers(std::int32_t slot) {
    SlotCycle& cycle = slotAt(slot).cycle;
    if (cycle.answerTimer != 0)
        loop_.stopTimer(cycle.answerTimer);
    if (cycle.delayTimer != 0)
        loop_.stopTimer(cycle.delayTimer);
    cycle.answerTimer = 0;
    cycle.delayTimer = 0;
    bootRunner_.cancel(slot);
}

EndReason PortStateMachine::silenceReason(const PortSlot& slot) {
    return slot.cycle.garbledAnswer || !slot.cycle.pending.empty() ? EndReason::Garbled
                                                                   : EndReason::NoAnswer;
}

void PortStateMachine::onAnswerTimeout(std::int32_t slot) {
    if (slotAt(slot).cycle.stopRequested) {
        endInterrupted(slot);
        return;
    }
    take(slot, Answer::Silence, nullptr);
}

// Silence where no row of the table says otherwise: a lost answer is recovered where the run
// can go back (LostAnswerRecovery.cpp); otherwise the slot fails, naming what arrived.
void PortStateMachine::onSilence(std::int32_t slot, const std::uint8_t*) {
    if (!recoverLostAnswer(slot))
        FailSlot(slot, silenceReason(slotAt(slot)));
}

// An already synchronised bootloader takes a lone SYNC as half a command and stays silent;
// the next SYNC completes the pair (and is refused).
void PortStateMachine::syncAgain(std::int32_t slot, const std::uint8_t*) {
    PortSlot& s = slotAt(slot);
    if (s.cycle.probing && s.cycle.state == SyncSent) {
        if (++s.cycle.repeats > 1)
            return endProbe(slot, false);
        return sendProbeSync(slot);
    }
    if (++s.cycle.repeats > timing_.maxRepeats) {
        FailSlot(slot, silenceReason(s));
        return;
    }
    if (s.cycle.state == SyncSent)
        stepStarted(slot, SlotStep::Sync, true);
    sendSync(slot);
}

// A refused frame is sent again, or its command, a bounded number of times.
void PortStateMachine::repeatReadMemory(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::repeatWriteMemory(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendCommand(slot, BootloaderCommand::WriteMemory);
}

void PortStateMachine::repeatGo(std::int32_t slot, const std::uint8_t*) {
    if (mayRepeat(slot))
        sendCommand(slot, BootloaderCommand::Go);
}

// The 2000 ms wait after an unprotect (or an option-byte write) is a timer: no other slot
// stalls while this chip restarts.
void PortStateMachine::waitForRestart(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.cycle.repeats = 0;
    if (s.cycle.answerTimer != 0)
        loop_.stopTimer(s.cycle.answerTimer);
    s.cycle.answerTimer = 0;
    const std::uint64_t session = s.cycle.session;
    s.cycle.delayTimer = loop_.startTimer(timing_.resyncDelay, false, [this, slot, session] {
        if (slot >= table_.slotCount() || slotAt(slot).cycle.session != session)
            return;
        slotAt(slot).cycle.delayTimer = 0;
        sendSync(slot);
    });
}

bool PortStateMachine::mayRepeat(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (++s.cycle.repeats > timing_.maxRepeats) {
        FailSlot(slot, EndReason::Refused);
        return false;
    }
    return true;
}

bool PortStateMachine::mayUnprotect(std::int32_t slot, bool readout) {
    PortSlot& s = slotAt(slot);
    std::int32_t& rounds = readout ? s.cycle.readUnprotectRounds : s.cycle.writeUnprotectRounds;
    if (++rounds > timing_.maxUnprotectRounds) {
        FailSlot(slot, EndReason::Refused);
        return false;
    }
    return true;
}

milliseconds PortStateMachine::eraseWork(int pages) const {
    return timing_.perErasedPage * std::max(pages, 1);
}

milliseconds PortStateMachine::massEraseWork(const PortSlot& slot) const {
    return std::max(timing_.massErase,
                    timing_.perErasedPage * std::max(slot.chip.geometry.pageCount, 1));
}

}  // namespace pellion
