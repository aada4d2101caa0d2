#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"

namespace pellion::cli {

std::vector<Command>& commandRegistry() {
    static std::vector<Command> commands;
    return commands;
}

namespace {

void printUsage(std::ostream& out) {
    auto commands = commandRegistry();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    out << "usage: pellion-cli COMMAND [OPTIONS]\n\n"
           "Programs firmware into microcontrollers through their serial bootloaders.\n\n"
           "Commands:\n";
    for (const auto& command : commands) out << "  " << command.synopsis << "\n";
    out << "\n'pellion-cli COMMAND --help' describes one command.\n";
}

}  // namespace
}  // namespace pellion::cli

int main(int argc, char** argv) {
    using namespace pellion::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        printUsage(std::cerr);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(std::cout);
        return kExitOk;
    }
    for (const auto& command : commandRegistry()) {
        if (command.name == args[0]) {
            return command.run(std::vector<std::string>(args.begin() + 1, args.end()));
        }
    }
    std::cerr << "pellion-cli: unknown command '" << args[0] << "'\n";
    printUsage(std::cerr);
    return kExitUsage;
}
