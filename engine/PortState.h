#pragma once

#include <cstdint>

namespace pellion {

// The state of one slot's bootloader state machine: what the slot has just sent and which
// answer it awaits. Values without a name have no meaning; answers in them are ignored.
enum PortState : std::int32_t {
    SyncSent = 0,
    CodeRequested = 1,
    // Filler bytes sent to end a frame the chip was left in, or the quiet wait after them.
    LineRecovery = 2,
    // DTR and RTS bring the chip into its bootloader before SYNC.
    BootEntry = 3,
    // Reading the unique ID of a chip that named itself, when the cycle asks for it.
    UniqueIdCmd = 4,
    UniqueIdAddr = 5,
    UniqueIdData = 6,
    // A probe's SYNC went unanswered: the socket is taken to be empty; answers are ignored.
    SocketEmpty = 9,
    OptReadCmd = 10,
    OptReadAddr = 11,
    OptReadData = 12,
    EraseCmd = 13,
    ErasePages = 14,
    WriteCmd = 15,
    WriteAddr = 16,
    WriteData = 17,
    GoCmd = 18,
    GoAddr = 19,
    UnprotectWriteCmd = 20,
    UnprotectWriteDone = 21,
    UnprotectReadCmd = 22,
    UnprotectReadDone = 23,
    ResyncAfterReadUnprotect = 24,
    ResyncAfterWriteUnprotect = 25,
    ProtectCmd = 30,
    ProtectAddr = 31,
    ProtectData = 32,
    // Reading the image back before the chip is started or protected.
    VerifyCmd = 40,
    VerifyAddr = 41,
    VerifyData = 42,
    // SYNC after the chip reset itself on an option-byte write, before anything follows it.
    ResyncAfterOptionWrite = 43,
    // DTR and RTS restart the programmed chip in its application instead of Go.
    BootExit = 44,
    // An answer was lost in the middle of erasing, writing or reading back: filler until the
    // chip refuses the frame it is in (then a quiet wait), SYNC, and for a write the block
    // whose acknowledgement was lost read back.
    RecoverFiller = 50,
    RecoverSync = 51,
    CheckBlockCmd = 52,
    CheckBlockAddr = 53,
    CheckBlockData = 54,
    Ready = 100,
    // The slot's run ended in a failure named in its remark; every answer is ignored.
    Failed = 200,
};

const char* PortStateName(std::int32_t state);

}  // namespace pellion
