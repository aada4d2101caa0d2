#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "catalogue/DeviceCatalogue.h"
#include "engine/BootSequenceRunner.h"
#include "engine/BootloaderCodec.h"
#include "engine/EngineEvents.h"
#include "engine/EngineTiming.h"
#include "engine/OwnerLoop.h"
#include "engine/PortState.h"
#include "engine/SerialBlock.h"
#include "engine/SlotInputs.h"
#include "engine/SlotStep.h"
#include "serial/PortTable.h"

namespace pellion {

// The bootloader state machine of every slot. Driven by the answers its port delivers and by
// its own time-outs; it queues the next frame on the slot's port and tells what happens as
// events (SlotEvents.h). Owner thread only.
class PortStateMachine {
  public:
    PortStateMachine(OwnerLoop& loop, PortTable& table, const DeviceCatalogue& catalogue,
                     EngineEvents& events);
    ~PortStateMachine();
    PortStateMachine(const PortStateMachine&) = delete;
    PortStateMachine& operator=(const PortStateMachine&) = delete;

    void setTiming(const EngineTiming& timing) { timing_ = timing; }
    const EngineTiming& timing() const { return timing_; }

    // The port has just been opened: bring the chip into its bootloader with the inputs' boot
    // entry (none: it waits there already), then synchronise and identify it. The cycle keeps
    // the inputs; its run reads them anew.
    void BeginIdentification(std::int32_t slot, const SlotInputs& inputs = {});
    // Production mode asks an open port whether a chip is in its socket: the inputs' boot entry
    // (a chip in its application answers nothing else), SYNC (twice: a synchronised chip takes
    // the first as half a command) and, when answered, the chip's identification, all without
    // a word to the listeners but one SocketProbed at its end. Of the inputs only the boot
    // entry and the unique ID's read are taken.
    void BeginProbe(std::int32_t slot, const SlotInputs& inputs);
    // Tells the listeners the last answered probe's identification as an ordinary one's
    // (SlotStarted, then Identified or ModelNeeded): the chip is taken as a new one.
    void AnnounceProbe(std::int32_t slot);
    // A programming cycle starts on a Ready slot with its inputs (whose image must fit the
    // slot's chip); the boot exit replaces Go.
    void BeginRun(std::int32_t slot, const SlotInputs& inputs);
    // One delivery of the slot's port; `answer` holds the bytes read from its first byte on.
    void HandlePortAnswer(std::int32_t slot, const std::uint8_t* answer);
    // Ends the slot's run (or identification) as failed for `reason`; its port stays open.
    // The failed step is the state's unless given.
    void FailSlot(std::int32_t slot, EndReason reason, SlotStep step = SlotStep::None,
                  std::uint32_t address = 0);
    // The slot's port could not be opened (`reason` says why): nothing of it started.
    void RefuseSlot(std::int32_t slot, EndReason reason) { FailSlot(slot, reason, SlotStep::Port); }
    // The run is being interrupted: the slot ends as soon as no frame of it is under way (at
    // once, or when the answer in flight arrives or times out), marked as interrupted.
    void RequestStop(std::int32_t slot);
    // Ends a slot that is still at work at once, marked as interrupted.
    void StopNow(std::int32_t slot);
    // Whether the slot is still identifying its chip or running; an idle, ready, failed or
    // finished slot is not.
    bool IsAtWork(std::int32_t slot) const;
    std::int32_t slotCount() const { return table_.slotCount(); }
    const PortSlot& slot(std::int32_t slot) const { return table_.slot(slot); }
    bool IsOpen(std::int32_t slot) const {
        return table_.slot(slot).ports.IsOpen() && !table_.slot(slot).ports.IsLost();
    }
    // The slot's port is being closed: no more time-outs, and a running slot is cancelled.
    void CancelSlot(std::int32_t slot);
    // Stops every timer of every slot (before the table is freed).
    void CancelAll();

    // Progress of a slot of the current run: bytes written (and read back).
    static std::int32_t ProgressPosition(const PortSlot& slot, std::uint32_t startAddress);
    static std::int32_t ProgressMaximum(const PortSlot& slot, std::uint32_t startAddress);

    // The image of the slot's cycle; an empty one before its first run.
    static const FirmwareImage& imageOf(const PortSlot& slot);

    // Called whenever a slot of a run ends (succeeded, failed or cancelled).
    std::function<void(std::int32_t slot)> onRunEnded;
    // Holds the end of every programming cycle until `release` runs on the owner thread (a
    // record is committed first): until then the slot stays at work, answers are ignored and
    // nobody is told it ended. None: told at once.
    using EndHold = std::function<void(const PortSlot& slot, const SlotEnded& ended, Task release)>;
    EndHold endHold;
    // Answers the serial block of a cycle whose inputs ask for one, before its first frame is
    // sent; `answer` must be called on the owner thread. Without a source such a cycle fails.
    using SerialSource =
        std::function<void(std::int32_t slot, std::function<void(SerialBlockAnswer)> answer)>;
    SerialSource serialSource;

    // Bytes of the cycle the chip acknowledged (the image's and the serial block's), blank
    // blocks left out.
    static std::uint32_t BytesWritten(const PortSlot& slot);

    // What the transition table (TransitionTable.cpp) tells apart: ACK, NACK, any other
    // answer, and none in time.
    enum class Answer : std::uint8_t { Ack, Nack, Other, Silence };

  private:
    // An action sends the next frame (or ends the slot); `answer` is the whole answer, or
    // null for silence.
    using Action = void (PortStateMachine::*)(std::int32_t slot, const std::uint8_t* answer);
    static constexpr PortState kDecides = PortState(-1);  // the action chooses the next state
    struct Transition {
        PortState state;
        Answer answer;
        PortState next;
        Action action;
    };
    static const Transition kTransitions[];
    static const Transition* TransitionOf(std::int32_t state, Answer answer);
    // Moves the slot by its table and runs the action; defaults where the table has no row.
    void take(std::int32_t slot, Answer answer, const std::uint8_t* bytes);

    PortSlot& slotAt(std::int32_t slot) { return table_.slot(slot); }
    const PortSlot& slotAt(std::int32_t slot) const { return table_.slot(slot); }
    static bool isOptionDownload(const PortSlot& slot) {
        return imageOf(slot).startAddress == kOptionBytesAddress;
    }

    const std::uint8_t* assembleAnswer(PortSlot& slot, const std::uint8_t* answer);
    // Sending and waiting (SlotExchange.cpp).
    void send(std::int32_t slot, const Frame& frame, int answerBytes,
              std::chrono::milliseconds chipWork = {});
    void sendCommand(std::int32_t slot, std::uint8_t code, int answerBytes = 1,
                     std::chrono::milliseconds chipWork = {});
    void sendAddress(std::int32_t slot, std::uint32_t address);
    void sendSync(std::int32_t slot);
    void sendProbeSync(std::int32_t slot);
    // A probe ends: the socket is empty (`answered` false) or holds a chip.
    void endProbe(std::int32_t slot, bool answered);
    void armAnswerTimer(std::int32_t slot, std::chrono::milliseconds timeout);
    void armAnswerTimerFor(std::int32_t slot, int answerBytes, std::chrono::milliseconds chipWork);
    // Every cycle starts from a fresh chip, scratch and result: nothing of an earlier one reaches
    // it.
    void startFreshCycle(std::int32_t slot, const SlotInputs& inputs);
    void stopTimers(std::int32_t slot);
    void onAnswerTimeout(std::int32_t slot);
    void onSilence(std::int32_t slot, const std::uint8_t* = nullptr);
    void syncAgain(std::int32_t slot, const std::uint8_t* = nullptr);
    // The chip restarts (after unprotecting, or an option-byte write): SYNC once it had time.
    void waitForRestart(std::int32_t slot);
    // Counts a refusal; false (and the slot failed) once the step has used up its repeats.
    bool mayRepeat(std::int32_t slot);
    bool mayUnprotect(std::int32_t slot, bool readout);
    void repeatReadMemory(std::int32_t slot, const std::uint8_t* = nullptr);
    void repeatWriteMemory(std::int32_t slot, const std::uint8_t* = nullptr);
    void repeatGo(std::int32_t slot, const std::uint8_t* = nullptr);
    // No answer when nothing arrived in the step, garbled when something else did.
    static EndReason silenceReason(const PortSlot& slot);
    // Every phase of a slot ends here, whatever ended it: one SlotEnded.
    void endSlot(std::int32_t slot, SlotResult result, EndReason reason = EndReason::None,
                 SlotStep failedStep = SlotStep::None, std::uint32_t address = 0);
    void endInterrupted(std::int32_t slot);
    // Tells a programming cycle's end (at once, or once its hold is released).
    void tellRunEnd(std::int32_t slot, const SlotEnded& ended, SlotOutcome outcome);
    // The serial block (SerialBlockWrite.cpp).
    void onSerialBlock(std::int32_t slot, std::uint64_t session, SerialBlockAnswer answer);
    void startReadingOptions(std::int32_t slot);
    int addSerialPages(PortSlot& slot, int pageCount);
    bool enterSerialBlock(std::int32_t slot);
    bool verifySerialBlock(std::int32_t slot);
    // The bytes the write or read-back is in, and the address of their first.
    static std::span<const std::uint8_t> segmentBytes(const PortSlot& slot);
    static std::uint32_t segmentStart(const PortSlot& slot);

    // Events.
    void stepStarted(std::int32_t slot, SlotStep step, bool again = false) {
        if (!slotAt(slot).cycle.probing)
            events_.tell(&EngineListener::OnStepStarted, StepStarted{slot, step, again});
    }
    void milestone(std::int32_t slot, Milestone reached) {
        events_.tell(&EngineListener::OnMilestone, MilestoneReached{slot, reached});
    }
    void progressStarts(std::int32_t slot);

    // Identification (ChipIdentification.cpp).
    void onSynced(std::int32_t slot, const std::uint8_t* answer);
    void requestDeviceCode(std::int32_t slot);
    void onDeviceCode(std::int32_t slot, const std::uint8_t* answer);
    void onCodeRefused(std::int32_t slot, const std::uint8_t* = nullptr);
    void onCodeTimeout(std::int32_t slot, const std::uint8_t* = nullptr);
    void identify(std::int32_t slot, const std::uint8_t* answer);
    void awaitModel(std::int32_t slot, bool unknownDevice);
    // The unique ID of a chip that named itself, when the cycle asks for it.
    void startUniqueIdRead(std::int32_t slot);
    void askUniqueIdAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void askUniqueIdBytes(std::int32_t slot, const std::uint8_t* = nullptr);
    void onUniqueIdRefused(std::int32_t slot, const std::uint8_t* = nullptr);
    void onUniqueId(std::int32_t slot, const std::uint8_t* answer);
    void endIdentification(std::int32_t slot);
    // A chip left in the middle of a frame: filler until it answers, then SYNC again.
    void startLineRecovery(std::int32_t slot);
    void sendFiller(std::int32_t slot);
    void onFillerAnswered(std::int32_t slot, const std::uint8_t* = nullptr);
    void onFillerTimeout(std::int32_t slot, const std::uint8_t* = nullptr);

    // Boot entry and exit (BootEntry.cpp).
    void beginBootEntry(std::int32_t slot, const BootSequence& entry);
    void beginBootExit(std::int32_t slot, bool tellRestarted);
    // A slot that ends without its exit puts DTR and RTS back at rest: no chip stays in reset.
    void releaseLines(std::int32_t slot);
    LineOutcome setLines(std::int32_t slot, std::optional<bool> dtr, std::optional<bool> rts);
    void failLines(std::int32_t slot, const LineOutcome& outcome);

    // Option bytes, erase, writing, starting the program (ProgrammingSteps.cpp).
    void askOptionAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void askOptionBytes(std::int32_t slot, const std::uint8_t* = nullptr);
    void onOptionReadRefused(std::int32_t slot, const std::uint8_t* = nullptr);
    void onOptionBytes(std::int32_t slot, const std::uint8_t* answer);
    void sendEraseCommand(std::int32_t slot);
    void erasePages(std::int32_t slot, const std::uint8_t* = nullptr);
    void sendPageList(std::int32_t slot);
    void onEraseRefused(std::int32_t slot, const std::uint8_t* = nullptr);
    void onErased(std::int32_t slot, const std::uint8_t* = nullptr);
    void repeatErase(std::int32_t slot, const std::uint8_t* = nullptr);
    void startWriting(std::int32_t slot);
    void writeNextBlock(std::int32_t slot);
    void skipBlankBlocks(std::int32_t slot);
    void sendWriteAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void sendNextBlock(std::int32_t slot, const std::uint8_t* = nullptr);
    void onBlockWritten(std::int32_t slot, const std::uint8_t* = nullptr);
    void onBlockRefused(std::int32_t slot, const std::uint8_t* = nullptr);
    void continueAfterImage(std::int32_t slot);
    void sendGoAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void onStarted(std::int32_t slot, const std::uint8_t* = nullptr);
    // Protection (ProtectionSteps.cpp).
    void awaitOptionRewrite(std::int32_t slot, const std::uint8_t* = nullptr);
    void repeatWriteUnprotect(std::int32_t slot, const std::uint8_t* = nullptr);
    void repeatWriteUnprotectDone(std::int32_t slot, const std::uint8_t* = nullptr);
    void onWriteUnprotected(std::int32_t slot, const std::uint8_t* = nullptr);
    void awaitMassErase(std::int32_t slot, const std::uint8_t* = nullptr);
    void repeatReadoutUnprotect(std::int32_t slot, const std::uint8_t* = nullptr);
    void onReadUnprotected(std::int32_t slot, const std::uint8_t* = nullptr);
    void resumeAfterReadUnprotect(std::int32_t slot, const std::uint8_t* = nullptr);
    void resumeAfterWriteUnprotect(std::int32_t slot, const std::uint8_t* = nullptr);
    void resumeAfterOptionWrite(std::int32_t slot, const std::uint8_t* = nullptr);
    void sendOptionAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void repeatOptionAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void sendProtectFrame(std::int32_t slot, const std::uint8_t* = nullptr);
    void onProtected(std::int32_t slot, const std::uint8_t* = nullptr);
    void onProtectRefused(std::int32_t slot, const std::uint8_t* = nullptr);
    OptionBytes optionBytesToProtect(const PortSlot& slot) const;
    // Lost answers in the middle of the run (LostAnswerRecovery.cpp).
    bool recoverLostAnswer(std::int32_t slot);
    void sendRecoveryFiller(std::int32_t slot);
    void onRecoveryFillerAnswered(std::int32_t slot, const std::uint8_t* = nullptr);
    void onRecoveryFillerTimeout(std::int32_t slot, const std::uint8_t* = nullptr);
    void resumeAfterRecovery(std::int32_t slot, const std::uint8_t* = nullptr);
    void sendCheckedBlockAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void askCheckedBlock(std::int32_t slot, const std::uint8_t* = nullptr);
    void onCheckedBlock(std::int32_t slot, const std::uint8_t* answer);
    static bool isRecovering(const PortSlot& slot);
    // The state whose step a failure names: the recovered one while recovering.
    static std::int32_t stepState(const PortSlot& slot);
    // Read-back (ReadBack.cpp).
    void startVerify(std::int32_t slot);
    void sendVerifyAddress(std::int32_t slot, const std::uint8_t* = nullptr);
    void sendVerifyCount(std::int32_t slot, const std::uint8_t* = nullptr);
    void onVerifyData(std::int32_t slot, const std::uint8_t* answer);
    void onVerifyMismatch(std::int32_t slot, const std::uint8_t* answer, int at);

    // The chip's work behind the answer to an erase of `pages`, and to a mass erase.
    std::chrono::milliseconds eraseWork(int pages) const;
    std::chrono::milliseconds massEraseWork(const PortSlot& slot) const;

    OwnerLoop& loop_;
    PortTable& table_;
    const DeviceCatalogue& catalogue_;
    EngineEvents& events_;
    EngineTiming timing_;
    BootSequenceRunner bootRunner_;
    std::uint64_t nextSession_ = 1;
    std::uint64_t nextHold_ = 1;
};

}  // namespace pellion
