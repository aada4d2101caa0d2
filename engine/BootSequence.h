#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellion {

// One step of a line sequence: set DTR and/or RTS (true = asserted), or wait.
struct BootStep {
    std::optional<bool> dtr;
    std::optional<bool> rts;
    std::chrono::milliseconds wait{0};  // a wait when neither line is set

    bool isWait() const { return !dtr && !rts; }
    bool operator==(const BootStep&) const = default;
};

using BootSequence = std::vector<BootStep>;

// What a sequence is for: entering the bootloader before SYNC, or leaving it after programming.
// The preset names mean the matching sequence for each ("dtr-reset" enters with BOOT0 raised,
// leaves with it lowered).
enum class BootRole { Entry, Exit };

// The longest wait a step may ask for; longer is a typing mistake.
inline constexpr std::chrono::milliseconds kMaxBootWait{60000};

enum class BootSequenceError {
    None,
    EmptyStep,    // "||", a leading or trailing "|"
    UnknownStep,  // a step that starts with none of D, R, B, W
    BadLevel,     // D and R take 0 or 1, B two of them
    BadWait,      // W takes a number of milliseconds
    WaitTooLong,  // above kMaxBootWait
};

struct BootSequenceParse {
    BootSequence steps;
    // Exit only: the bootloader's Go command, not a line sequence (the default).
    bool go = false;
    BootSequenceError error = BootSequenceError::None;
    std::size_t errorPosition = 0;  // 1-based character of the text where the error is

    bool ok() const { return error == BootSequenceError::None; }
};

// Parses a preset name or a custom sequence: steps separated by "|", each D0/D1 (DTR), R0/R1
// (RTS), Bxy (DTR x and RTS y at once) or W<ms>; spaces around steps are allowed, letters in
// either case. Entry: "" and "none" are the empty sequence. Exit: "" and "go" are Go.
BootSequenceParse ParseBootSequence(std::string_view text, BootRole role);

// The preset names a role accepts, for help texts: "none|dtr-reset|rts-reset".
const char* BootPresetNames(BootRole role);

// The operator's words for a parse error: "启动序列第5个字符有误,...".
std::string BootSequenceErrorText(const BootSequenceParse& parse);
// The same in the command line's words: "error at character 5: ...".
std::string BootSequenceErrorTextEnglish(const BootSequenceParse& parse);

// The sum of a sequence's waits: what it adds to every chip's time.
std::chrono::milliseconds BootSequenceDuration(const BootSequence& steps);

// A station's entry and exit, parsed.
struct BootSequences {
    BootSequence entry;  // empty: nothing is toggled, the chip waits in its bootloader
    std::optional<BootSequence> exit;  // none: Go

    bool drivesLines() const { return !entry.empty() || exit.has_value(); }
};

}  // namespace pellion
