#include "engine/SlotStep.h"

#include "engine/PortState.h"

namespace pellion {

SlotStep StepOfState(std::int32_t state) {
    switch (state) {
        case SyncSent:
        case LineRecovery:
            return SlotStep::Sync;
        case CodeRequested:
        case UniqueIdCmd:
        case UniqueIdAddr:
        case UniqueIdData:
            return SlotStep::Identify;
        case OptReadCmd:
        case OptReadAddr:
        case OptReadData:
            return SlotStep::ReadOptions;
        case EraseCmd:
        case ErasePages:
            return SlotStep::Erase;
        case WriteCmd:
        case WriteAddr:
        case WriteData:
        case ResyncAfterOptionWrite:
        case CheckBlockCmd:
        case CheckBlockAddr:
        case CheckBlockData:
            return SlotStep::Write;
        case GoCmd:
        case GoAddr:
            return SlotStep::Go;
        case BootEntry:
            return SlotStep::BootEntry;
        case BootExit:
            return SlotStep::BootExit;
        case UnprotectWriteCmd:
        case UnprotectWriteDone:
        case ResyncAfterWriteUnprotect:
        case UnprotectReadCmd:
        case UnprotectReadDone:
        case ResyncAfterReadUnprotect:
            return SlotStep::Unprotect;
        case ProtectCmd:
        case ProtectAddr:
        case ProtectData:
            return SlotStep::Protect;
        case VerifyCmd:
        case VerifyAddr:
        case VerifyData:
            return SlotStep::Verify;
        default:
            return SlotStep::None;
    }
}

const char* StepIdentifier(SlotStep step) {
    switch (step) {
        case SlotStep::None:
            return "";
        case SlotStep::Sync:
            return "sync";
        case SlotStep::Identify:
            return "identify";
        case SlotStep::ReadOptions:
            return "read_options";
        case SlotStep::Unprotect:
            return "unprotect";
        case SlotStep::Erase:
            return "erase";
        case SlotStep::Write:
            return "write";
        case SlotStep::Verify:
            return "verify";
        case SlotStep::Go:
            return "go";
        case SlotStep::Protect:
            return "protect";
        case SlotStep::Port:
            return "port";
        case SlotStep::BootEntry:
            return "boot_entry";
        case SlotStep::BootExit:
            return "boot_exit";
    }
    return "";
}

bool IsReadUnprotectState(std::int32_t state) {
    return state == UnprotectReadCmd || state == UnprotectReadDone ||
           state == ResyncAfterReadUnprotect;
}

}  // namespace pellion
