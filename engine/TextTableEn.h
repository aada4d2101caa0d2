#pragma once

#include <array>
#include <string_view>

#include "engine/TextTable.h"

namespace pellion {

// The English texts, in the order of TextId: clear words for a line operator, with the same
// placeholders as the Chinese ones.
inline constexpr std::array<std::string_view, std::size_t(TextId::Count)> kEnTexts = {
    "Y",
    "N",
    "Reading the chip's information, please wait...",
    "Initialising, please wait...",
    "Choose this chip's model by hand",
    "Chip identified, ready for the next step",
    "Unknown device",
    "Choose the device model, or the chip cannot be programmed",
    "Erasing the chip, please wait...",
    "Removing write protection, please wait...",
    "Erased",
    "Downloading...",
    "Download complete",
    "Download complete, application started",
    "Write protection removed",
    "Readout protection removed",
    "Download complete, readout protection set",
    "Verifying, please wait...",
    "Verified",
    "Entering the bootloader, please wait...",
    "Download complete, chip reset into its application",
    // Failed steps.
    "Initialisation failed",
    "Reading the chip's information failed",
    "Reading the option bytes failed",
    "Erase failed",
    "Download failed",
    "Starting the application failed",
    "Removing readout protection failed",
    "Removing write protection failed",
    "Download complete, setting readout protection failed",
    "Verification failed",
    "Entering the bootloader failed",
    "Resetting into the application failed",
    "{step}: {reason}",
    "the chip did not answer",
    "the chip did not answer; the serial adapter may not support even parity",
    "the chip's answer was wrong",
    "the chip refused several times",
    "the option bytes failed their check",
    "interrupted",
    "the port was disconnected",
    "the data at {address} was refused",
    "the flash at {address} differs from the download file",
    "the port cannot drive DTR/RTS",
    "setting DTR/RTS failed",
    "no serial number could be had",
    "; removing readout protection erased the whole chip",
    // Messages.
    "Choose the model of the chip on {ports}.",
    "The chip on {ports} could not be initialised.",
    "The chip on {port} identified itself as {part}; no other model can be chosen.",
    "The download file does not fit the chips; nothing was programmed.",
    "The port is in use by another program.",
    "The port does not exist.",
    "The device is not a serial port.",
    "No permission to open the port.",
    "The port could not be opened.",
    // Image fit.
    "The option bytes file has only {size} bytes; {need} are needed",
    "Start address {start} is outside the chip's flash ({first}-{last})",
    "Start address {start} is not aligned to {align} bytes; the chip cannot write there",
    "The download file ends at {end}, beyond the chip's last flash address {last}",
    "The download file needs {pages} pages erased, more than the limit of {limit}",
    // Production mode.
    "Waiting for a chip",
    "; the chip's unique ID cannot be read: the next chip starts once this one is taken away",
    // Composition.
    "{first}\n{then}",
    "{port}: {problem}",
    "{text}",
    // Download files.
    "Choose a download file.",
    "The download file {path} does not exist.",
    "The download file {path} cannot be read.",
    "The download file {path} is too large to be a valid HEX file.",
    "The download file {path} is too large: more than the largest flash, 3072 KB.",
    "The download file you chose is empty.",
    "The download address {start} plus the file's {size} bytes goes beyond the address range.",
    "An option bytes file must start at {address} and hold exactly {size} bytes (this one "
    "starts at {start} and holds {given} bytes).",
    "Line {line} of the HEX file is not a valid record.",
    "Line {line} of the HEX file holds a character that is not hexadecimal.",
    "The length of line {line} of the HEX file does not match its byte count.",
    "Line {line} of the HEX file has a wrong checksum.",
    "Line {line} of the HEX file has a record type {type} that is not known.",
    "The extended address record on line {line} of the HEX file has a wrong length.",
    "The HEX file has no record of type {type}.",
    "The data on line {line} of the HEX file lies beyond the address range.",
    "The HEX file holds data for the option bytes ({option}) and for other addresses "
    "({other}); download them separately.",
    "The HEX file's data runs from {first} to {last}, more than the largest flash, 3072 KB.",
    "The data on line {line} of the HEX file overlaps the data on line {earlier} (address "
    "{address}).",
    "The HEX file has no end record; it may be incomplete.",
    "The HEX file has no extended linear address record.",
    "The HEX file has no data records.",
    // The serial layer.
    "Problem receiving data.",
    "WARNING:  {step} failed with the following error:\n{system}\nPort: {number} ({device})\n",
    // The command line.
    "ok      {port}: {remark}, {bytes} bytes",
    "ok      {port}: {remark}, {bytes} bytes, verified",
    "FAILED  {port}: {why}",
    "FAILED  {port}: {why}, verified",
    "not started, the run was refused",
    "not started, the run was interrupted",
    "not identified ({remark}); name its model with --model",
    "failed",
    "{done} of {total} chips programmed",
    "{done} of {total} chips programmed (interrupted)",
    "{port} identified itself as {part}; --model {model} is not applied to it",
    "interrupted; ending every port's current frame",
    "PORT",
    "STATE",
    "INIT",
    "MODEL",
    "DONE",
    "REMARK",
    // The demo.
    "Programming {file} ({size} bytes at {address}) into {chips} virtual chips at {baud} baud.",
    "Comparing every chip's flash with the image:",
    "  chip {number} {device} ({part}): flash holds the image, {size} bytes",
    "  chip {number} {device} ({part}): flash holds the image, {size} bytes, verified by the "
    "engine",
    "  chip {number} {device} ({part}): flash holds the image, {size} bytes, program running",
    "  chip {number} {device} ({part}): flash holds the image, {size} bytes, verified by the "
    "engine, program running",
    "  chip {number} {device} ({part}): flash differs from the image at {address} ({remark})",
    "All {count} of {chips} chips hold the image. Wall time {ms} ms.",
    "Only {count} of {chips} chips hold the image. Wall time {ms} ms.",
    "Every chip runs its application; DTR and RTS bring it into its bootloader ({ms} ms of "
    "waits per chip, all chips at once).",
};
static_assert(!kEnTexts.back().empty(), "a text for every TextId");

}  // namespace pellion
