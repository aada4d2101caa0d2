#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace pellion::cli {

// Exit codes of every verb.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,  // the job ran and failed (a refused file, a chip not programmed)
    kExitUsage = 2,    // the command line itself is wrong
};

struct Command {
    std::string name;
    std::string synopsis;  // one line for --help
    std::function<int(const std::vector<std::string>& args)> run;
};

// Each verb's file registers itself with a static CommandRegistration.
std::vector<Command>& commandRegistry();

struct CommandRegistration {
    explicit CommandRegistration(Command command) {
        commandRegistry().push_back(std::move(command));
    }
};

}  // namespace pellion::cli
