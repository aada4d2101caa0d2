#include "engine/SlotEvents.h"

namespace pellion {

const char* MilestoneIdentifier(Milestone milestone) {
    switch (milestone) {
        case Milestone::Erased:
            return "erased";
        case Milestone::EraseRefused:
            return "erase_refused";
        case Milestone::Written:
            return "written";
        case Milestone::GoAccepted:
            return "go_accepted";
        case Milestone::WriteUnprotected:
            return "write_unprotected";
        case Milestone::ReadUnprotected:
            return "read_unprotected";
        case Milestone::Protected:
            return "protected";
        case Milestone::Verified:
            return "verified";
        case Milestone::Restarted:
            return "restarted";
    }
    return "";
}

const char* ReasonIdentifier(EndReason reason) {
    switch (reason) {
        case EndReason::None:
            return "";
        case EndReason::NoAnswer:
            return "no_answer";
        case EndReason::NoAnswerParityBlind:
            return "no_answer_parity";
        case EndReason::Garbled:
            return "garbled";
        case EndReason::Refused:
            return "refused";
        case EndReason::OptionBytesCorrupt:
            return "option_bytes_corrupt";
        case EndReason::Interrupted:
            return "interrupted";
        case EndReason::PortGone:
            return "port_gone";
        case EndReason::DataRefused:
            return "data_refused";
        case EndReason::FlashDiffers:
            return "flash_differs";
        case EndReason::NoLines:
            return "no_lines";
        case EndReason::LinesFailed:
            return "lines_failed";
        case EndReason::NoSerialNumber:
            return "no_serial_number";
        case EndReason::PortBusy:
            return "port_busy";
        case EndReason::PortAbsent:
            return "port_absent";
        case EndReason::NotASerialPort:
            return "not_a_serial_port";
        case EndReason::PortDenied:
            return "port_denied";
        case EndReason::PortNotStarted:
            return "port_not_started";
    }
    return "";
}

}  // namespace pellion
