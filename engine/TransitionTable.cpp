// The transition table of a slot's state machine: (state, answer) -> (next state, action).
// The action sends the next frame; where the next state reads `kDecides`, the action chooses
// it, or ends the slot. Where a state has no row for an answer:
// - any other answer (neither ACK nor NACK) is ignored and remembered, so that a time-out can
//   say something arrived;
// - silence recovers a lost answer where the run can go back (LostAnswerRecovery.cpp), and
//   otherwise fails the slot, naming what arrived;
// - a state without rows at all (Ready, Failed) ignores every answer.
#include <array>

#include "engine/PortStateMachine.h"

namespace pellion {

using M = PortStateMachine;
using enum PortStateMachine::Answer;

// clang-format off
const M::Transition M::kTransitions[] = {
    // state                    answer   next state                 action
    // Synchronising and identifying.
    {SyncSent,                  Ack,     CodeRequested,             &M::onSynced},
    {SyncSent,                  Nack,    CodeRequested,             &M::onSynced},
    {SyncSent,                  Silence, SyncSent,                  &M::syncAgain},
    {CodeRequested,             Ack,     kDecides,                  &M::onDeviceCode},
    {CodeRequested,             Nack,    kDecides,                  &M::onCodeRefused},
    {CodeRequested,             Silence, kDecides,                  &M::onCodeTimeout},
    {UniqueIdCmd,               Ack,     UniqueIdAddr,              &M::askUniqueIdAddress},
    {UniqueIdCmd,               Nack,    kDecides,                  &M::onUniqueIdRefused},
    {UniqueIdAddr,              Ack,     UniqueIdData,              &M::askUniqueIdBytes},
    {UniqueIdAddr,              Nack,    UniqueIdCmd,               &M::repeatReadMemory},
    {UniqueIdData,              Ack,     kDecides,                  &M::onUniqueId},
    {UniqueIdData,              Nack,    UniqueIdCmd,               &M::repeatReadMemory},
    // A chip left in the middle of a frame: any answer at all ends that frame.
    {LineRecovery,              Ack,     kDecides,                  &M::onFillerAnswered},
    {LineRecovery,              Nack,    kDecides,                  &M::onFillerAnswered},
    {LineRecovery,              Other,   kDecides,                  &M::onFillerAnswered},
    {LineRecovery,              Silence, kDecides,                  &M::onFillerTimeout},

    // Option bytes.
    {OptReadCmd,                Ack,     OptReadAddr,               &M::askOptionAddress},
    {OptReadCmd,                Nack,    kDecides,                  &M::onOptionReadRefused},
    {OptReadAddr,               Ack,     OptReadData,               &M::askOptionBytes},
    {OptReadAddr,               Nack,    OptReadCmd,                &M::repeatReadMemory},
    {OptReadData,               Ack,     kDecides,                  &M::onOptionBytes},
    {OptReadData,               Nack,    OptReadCmd,                &M::repeatReadMemory},

    // Removing protection; the chip restarts, and a SYNC after the wait resumes the run.
    {UnprotectWriteCmd,         Ack,     UnprotectWriteDone,        &M::awaitOptionRewrite},
    {UnprotectWriteCmd,         Nack,    UnprotectWriteCmd,         &M::repeatWriteUnprotect},
    {UnprotectWriteDone,        Ack,     ResyncAfterWriteUnprotect, &M::onWriteUnprotected},
    {UnprotectWriteDone,        Nack,    UnprotectWriteDone,        &M::repeatWriteUnprotectDone},
    {UnprotectReadCmd,          Ack,     UnprotectReadDone,         &M::awaitMassErase},
    {UnprotectReadCmd,          Nack,    UnprotectReadCmd,          &M::repeatReadoutUnprotect},
    {UnprotectReadDone,         Ack,     ResyncAfterReadUnprotect,  &M::onReadUnprotected},
    {UnprotectReadDone,         Nack,    UnprotectReadCmd,          &M::repeatReadoutUnprotect},
    {ResyncAfterReadUnprotect,  Ack,     kDecides,                  &M::resumeAfterReadUnprotect},
    {ResyncAfterReadUnprotect,  Nack,    kDecides,                  &M::resumeAfterReadUnprotect},
    {ResyncAfterReadUnprotect,  Silence, kDecides,                  &M::syncAgain},
    {ResyncAfterWriteUnprotect, Ack,     kDecides,                  &M::resumeAfterWriteUnprotect},
    {ResyncAfterWriteUnprotect, Nack,    kDecides,                  &M::resumeAfterWriteUnprotect},
    {ResyncAfterWriteUnprotect, Silence, kDecides,                  &M::syncAgain},

    // Erase.
    {EraseCmd,                  Ack,     ErasePages,                &M::erasePages},
    {EraseCmd,                  Nack,    kDecides,                  &M::onEraseRefused},
    {ErasePages,                Ack,     kDecides,                  &M::onErased},
    {ErasePages,                Nack,    EraseCmd,                  &M::repeatErase},

    // Writing, block by block; anything but ACK to the command is a refusal.
    {WriteCmd,                  Ack,     WriteAddr,                 &M::sendWriteAddress},
    {WriteCmd,                  Nack,    WriteCmd,                  &M::repeatWriteMemory},
    {WriteCmd,                  Other,   WriteCmd,                  &M::repeatWriteMemory},
    {WriteAddr,                 Ack,     WriteData,                 &M::sendNextBlock},
    {WriteAddr,                 Nack,    WriteCmd,                  &M::repeatWriteMemory},
    {WriteData,                 Ack,     kDecides,                  &M::onBlockWritten},
    {WriteData,                 Nack,    kDecides,                  &M::onBlockRefused},
    {ResyncAfterOptionWrite,    Ack,     kDecides,                  &M::resumeAfterOptionWrite},
    {ResyncAfterOptionWrite,    Nack,    kDecides,                  &M::resumeAfterOptionWrite},
    {ResyncAfterOptionWrite,    Silence, kDecides,                  &M::syncAgain},

    // Reading the image back.
    {VerifyCmd,                 Ack,     VerifyAddr,                &M::sendVerifyAddress},
    {VerifyCmd,                 Nack,    VerifyCmd,                 &M::repeatReadMemory},
    {VerifyAddr,                Ack,     VerifyData,                &M::sendVerifyCount},
    {VerifyAddr,                Nack,    VerifyCmd,                 &M::repeatReadMemory},
    {VerifyData,                Ack,     kDecides,                  &M::onVerifyData},
    {VerifyData,                Nack,    VerifyCmd,                 &M::repeatReadMemory},

    // Starting the program, or setting readout protection.
    {GoCmd,                     Ack,     GoAddr,                    &M::sendGoAddress},
    {GoCmd,                     Nack,    GoCmd,                     &M::repeatGo},
    {GoAddr,                    Ack,     kDecides,                  &M::onStarted},
    {GoAddr,                    Nack,    GoCmd,                     &M::repeatGo},
    {ProtectCmd,                Ack,     ProtectAddr,               &M::sendOptionAddress},
    {ProtectCmd,                Nack,    ProtectCmd,                &M::repeatWriteMemory},
    {ProtectAddr,               Ack,     ProtectData,               &M::sendProtectFrame},
    {ProtectAddr,               Nack,    ProtectAddr,               &M::repeatOptionAddress},
    {ProtectData,               Ack,     kDecides,                  &M::onProtected},
    {ProtectData,               Nack,    kDecides,                  &M::onProtectRefused},

    // A lost answer: filler (any answer ends the frame the chip is in), SYNC, and for a write
    // the block whose acknowledgement was lost read back.
    {RecoverFiller,             Ack,     kDecides,                  &M::onRecoveryFillerAnswered},
    {RecoverFiller,             Nack,    kDecides,                  &M::onRecoveryFillerAnswered},
    {RecoverFiller,             Other,   kDecides,                  &M::onRecoveryFillerAnswered},
    {RecoverFiller,             Silence, kDecides,                  &M::onRecoveryFillerTimeout},
    {RecoverSync,               Ack,     kDecides,                  &M::resumeAfterRecovery},
    {RecoverSync,               Nack,    kDecides,                  &M::resumeAfterRecovery},
    {RecoverSync,               Silence, RecoverSync,               &M::syncAgain},
    {CheckBlockCmd,             Ack,     CheckBlockAddr,            &M::sendCheckedBlockAddress},
    {CheckBlockCmd,             Nack,    CheckBlockCmd,             &M::repeatReadMemory},
    {CheckBlockAddr,            Ack,     CheckBlockData,            &M::askCheckedBlock},
    {CheckBlockAddr,            Nack,    CheckBlockCmd,             &M::repeatReadMemory},
    {CheckBlockData,            Ack,     kDecides,                  &M::onCheckedBlock},
    {CheckBlockData,            Nack,    CheckBlockCmd,             &M::repeatReadMemory},
};
// clang-format on

namespace {

constexpr std::size_t kStates = 256;  // every state's value is below this
constexpr std::size_t kAnswers = 4;

}  // namespace

// Indexed once, so that finding a row costs an array access per answer.
const M::Transition* M::TransitionOf(std::int32_t state, Answer answer) {
    using Index = std::array<std::array<const Transition*, kAnswers>, kStates>;
    static const Index index = [] {
        Index built{};
        for (const Transition& row : kTransitions)
            built[std::size_t(row.state)][std::size_t(row.answer)] = &row;
        return built;
    }();
    if (state < 0 || std::size_t(state) >= kStates)
        return nullptr;
    return index[std::size_t(state)][std::size_t(answer)];
}

}  // namespace pellion
