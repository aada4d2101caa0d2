#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/OperatorLanguage.h"

namespace pellion {

// Every operator text the engine's surfaces make from its events, by a stable key. One table
// per language holds a pattern for each key; "{name}" in a pattern is replaced by the argument
// of that name. The engine itself never makes a text.
enum class TextId : std::uint16_t {
    // A slot's row: column 3, column 5 and remarks of column 7.
    Synchronised,             // "Y"
    NotSynchronised,          // "N"
    ReadingInfo,              // identification under way
    Initialising,             // synchronising again
    ChooseModelByHand,        // the chip did not give its code
    Identified,               //
    UnknownDevice,            // column 5: a code the catalogue does not know
    ChooseModel,              //
    Erasing,                  //
    RemovingWriteProtection,  // erase refused: taken as protection
    Erased,                   //
    Downloading,              //
    Downloaded,               //
    Started,                  // Go accepted
    WriteUnprotected,         //
    ReadUnprotected,          //
    Protected,                //
    Verifying,                //
    Verified,                 //
    EnteringBootloader,       // the boot entry under way
    Restarted,                // the boot exit started the new program
    // What a failure names: the step, then why ("{step},{reason}").
    FailedSync,
    FailedIdentify,
    FailedReadOptions,
    FailedErase,
    FailedWrite,
    FailedGo,
    FailedReadUnprotect,
    FailedWriteUnprotect,
    FailedProtect,
    FailedVerify,
    FailedBootEntry,
    FailedBootExit,
    FailureWithReason,  // {step} {reason}
    ReasonNoAnswer,
    ReasonParityBlind,  // after "no answer", as one reason
    ReasonGarbled,
    ReasonRefused,
    ReasonOptionBytesCorrupt,
    ReasonInterrupted,
    ReasonPortGone,
    ReasonDataRefused,   // {address}
    ReasonFlashDiffers,  // {address}
    ReasonNoLines,
    ReasonLinesFailed,
    ReasonNoSerialNumber,
    MassErasedNote,  // appended to the final remark
    // Messages of the run and of opening a port.
    NoModel,          // {ports}
    NotInitialised,   // {ports}
    ModelRefused,     // {port} {part}
    ImageDoesNotFit,  // after one line per port
    PortBusy,
    PortAbsent,
    NotASerialPort,
    PortDenied,
    PortNotStarted,
    // Why an image does not fit a chip.
    FitOptionBytesShort,  // {size} {need}
    FitStartOutside,      // {start} {first} {last}
    FitStartUnaligned,    // {start} {align}
    FitEndBeyond,         // {end} {last}
    FitTooManyPages,      // {pages} {limit}
    // Production mode.
    WaitingForChip,      // an empty socket
    UniqueIdUnreadable,  // appended to the remark of a chip that refused its ID's read
    // How messages are put together.
    Lines,        // {first} {then}: one line after another
    PortProblem,  // {port} {problem}
    Verbatim,     // {text}: words already in the operator's language (a row's remark)
    // Why a download file gives no image.
    NoFileChosen,
    FileMissing,      // {path}
    FileUnreadable,   // {path}
    HexFileTooLarge,  // {path}
    FileTooLarge,     // {path}
    FileEmpty,
    ImageBeyondAddressRange,  // {start} {size}
    OptionBytesPlacement,     // {address} {size} {start} {given}
    HexNotARecord,            // {line}
    HexBadDigit,              // {line}
    HexLengthMismatch,        // {line}
    HexBadChecksum,           // {line}
    HexUnknownType,           // {line} {type}
    HexBadAddressRecord,      // {line}
    HexNoRecordOfType,        // {type}
    HexAddressOutOfRange,     // {line}
    HexOptionBytesMixed,      // {option} {other}
    HexSpanTooLarge,          // {first} {last}
    HexOverlap,               // {line} {earlier} {address}
    HexNoEnd,
    HexNoLinearAddress,
    HexNoData,
    // The serial layer's messages.
    ReceiveProblem,
    SerialCallFailed,  // {step} {system} {number} {device}
    // The command line's lines about a session; its report keeps stable identifiers.
    CliPortSucceeded,          // {port} {remark} {bytes}
    CliPortSucceededVerified,  // {port} {remark} {bytes}
    CliPortFailed,             // {port} {why}
    CliPortFailedVerified,     // {port} {why}
    CliNotStartedRefused,
    CliNotStartedInterrupted,
    CliNotIdentified,  // {remark}
    CliFailed,
    CliSummary,             // {done} {total}
    CliSummaryInterrupted,  // {done} {total}
    CliModelNotApplied,     // {port} {part} {model}
    CliInterrupting,
    CliHeadPort,  // the live table's headings
    CliHeadState,
    CliHeadInit,
    CliHeadModel,
    CliHeadDone,
    CliHeadRemark,
    // The demo's account of its virtual chips.
    DemoProgramming,               // {file} {size} {address} {chips} {baud}
    DemoComparing,                 //
    DemoChipHolds,                 // {number} {device} {part} {size}
    DemoChipHoldsVerified,         // {number} {device} {part} {size}
    DemoChipHoldsRunning,          // {number} {device} {part} {size}: its program started
    DemoChipHoldsVerifiedRunning,  // {number} {device} {part} {size}
    DemoChipDiffers,               // {number} {device} {part} {address} {remark}
    DemoAllHold,                   // {count} {chips} {ms}
    DemoOnlySomeHold,              // {count} {chips} {ms}
    DemoBootEntry,                 // {ms}: waits per chip
    Count,
};

struct TextArg {
    std::string_view name;
    std::string value;
};

// The pattern of `id` in `language`, placeholders unreplaced.
std::string_view TextPattern(TextId id, OperatorLanguage language = OperatorLanguage::Chinese);

// The text of `id` in `language` with its placeholders replaced.
std::string Text(TextId id, std::initializer_list<TextArg> args = {},
                 OperatorLanguage language = OperatorLanguage::Chinese);
std::string Text(TextId id, const std::vector<TextArg>& args,
                 OperatorLanguage language = OperatorLanguage::Chinese);

// "0x08003000", as texts name an address.
std::string HexAddress(std::uint32_t address);

}  // namespace pellion
