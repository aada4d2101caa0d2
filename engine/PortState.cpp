#include "engine/PortState.h"

namespace pellion {

const char* PortStateName(std::int32_t state) {
    switch (state) {
        case SyncSent:
            return "SyncSent";
        case CodeRequested:
            return "CodeRequested";
        case LineRecovery:
            return "LineRecovery";
        case BootEntry:
            return "BootEntry";
        case BootExit:
            return "BootExit";
        case UniqueIdCmd:
            return "UniqueIdCmd";
        case UniqueIdAddr:
            return "UniqueIdAddr";
        case UniqueIdData:
            return "UniqueIdData";
        case SocketEmpty:
            return "SocketEmpty";
        case OptReadCmd:
            return "OptReadCmd";
        case OptReadAddr:
            return "OptReadAddr";
        case OptReadData:
            return "OptReadData";
        case EraseCmd:
            return "EraseCmd";
        case ErasePages:
            return "ErasePages";
        case WriteCmd:
            return "WriteCmd";
        case WriteAddr:
            return "WriteAddr";
        case WriteData:
            return "WriteData";
        case GoCmd:
            return "GoCmd";
        case GoAddr:
            return "GoAddr";
        case UnprotectWriteCmd:
            return "UnprotectWriteCmd";
        case UnprotectWriteDone:
            return "UnprotectWriteDone";
        case UnprotectReadCmd:
            return "UnprotectReadCmd";
        case UnprotectReadDone:
            return "UnprotectReadDone";
        case ResyncAfterReadUnprotect:
            return "ResyncAfterReadUnprotect";
        case ResyncAfterWriteUnprotect:
            return "ResyncAfterWriteUnprotect";
        case ProtectCmd:
            return "ProtectCmd";
        case ProtectAddr:
            return "ProtectAddr";
        case ProtectData:
            return "ProtectData";
        case VerifyCmd:
            return "VerifyCmd";
        case VerifyAddr:
            return "VerifyAddr";
        case VerifyData:
            return "VerifyData";
        case ResyncAfterOptionWrite:
            return "ResyncAfterOptionWrite";
        case RecoverFiller:
            return "RecoverFiller";
        case RecoverSync:
            return "RecoverSync";
        case CheckBlockCmd:
            return "CheckBlockCmd";
        case CheckBlockAddr:
            return "CheckBlockAddr";
        case CheckBlockData:
            return "CheckBlockData";
        case Ready:
            return "Ready";
        case Failed:
            return "Failed";
        default:
            return "?";
    }
}

}  // namespace pellion
