#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/ProgramSession.h"

namespace pellion::cli {

struct ProgramArguments {
    SessionOptions session;
    std::optional<std::string> json;
};

// The highest line speed any adapter offers; above it a number is a typing mistake.
inline constexpr std::uint32_t kMaxBaud = 4'000'000;

// Parses `program`'s options. Returns a usage problem, or nothing when the arguments are
// complete and consistent (ports named once, a report path that can be written and is not the
// download file or a port).
std::optional<std::string> ParseProgramArguments(const std::vector<std::string>& args,
                                                 ProgramArguments& parsed);

// --boot-entry and --boot-exit: parses `value` into `boot`, or says what is wrong with it and
// where. Nothing for another option.
std::optional<std::string> ParseBootOption(const std::string& option, const std::string& value,
                                           BootSequences& boot);
bool IsBootOption(const std::string& option);

// Why the report cannot go to `path`; nothing when it can. Checked before any chip is touched,
// so that a run is never lost for want of its report, and the report never replaces the
// firmware or lands on a port. Paths are compared by the file they name, not by their text.
std::optional<std::string> ReportPathProblem(const std::string& path, const std::string& file,
                                             const std::vector<std::string>& devices);

}  // namespace pellion::cli
