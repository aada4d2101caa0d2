#pragma once

#include <cstdint>
#include <optional>

namespace pellion::posix {

// A failed step of the line configuration: the call that failed and its errno.
struct StepFailure {
    const char* step;
    int error;
};

// The line as the terminal driver holds it.
struct LineSettings {
    std::uint32_t baud = 0;
    int dataBits = 0;
    char parity = 'N';  // 'N', 'E' or 'O'
    int stopBits = 1;
    bool hardwareFlowControl = false;
    bool softwareFlowControl = false;
    bool raw = false;  // no line editing, echo, signals or byte translation
    bool receiverEnabled = false;
    bool ignoresModemLines = false;
    bool hangUpOnClose = false;  // HUPCL: the last close drops DTR and RTS
};

// Raw 8 data bits, even parity, one stop bit at any rate the driver accepts (set as a plain
// number, so 14400 and 56000 work as well as the standard rates), no flow control, the
// receiver on. Stops at the first failing step.
std::optional<StepFailure> applyBootloaderLine(int fd, std::uint32_t baud);

std::optional<LineSettings> readLineSettings(int fd);

// Clears HUPCL, so closing the device leaves DTR and RTS where they are.
std::optional<StepFailure> keepLinesOnClose(int fd);

// What applyBootloaderLine makes of a line whose every flag was set before: pseudo-terminals
// force 8 data bits without parity, so on them the applied parity cannot be read back.
LineSettings bootloaderLineFromAnyState(std::uint32_t baud);

}  // namespace pellion::posix
