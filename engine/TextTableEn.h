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
};
static_assert(!kEnTexts.back().empty(), "a text for every TextId");

}  // namespace pellion
