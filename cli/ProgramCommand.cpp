// pellion-cli program --file FILE --port DEV [--port DEV ...] [options]
// Programs one image into the chip behind every port, as ticking the rows and pressing OK would.

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "cli/CommandRegistry.h"
#include "cli/ProgramSession.h"
#include "image/AddressText.h"

namespace pellion::cli {
namespace {

void printProgramHelp(std::ostream& out) {
    out << "usage: pellion-cli program --file FILE --port DEV [--port DEV ...] [options]\n\n"
           "Opens every port, identifies the chip behind it through its serial bootloader,\n"
           "then erases, writes and starts (or protects) every chip at once. Rows are shown\n"
           "live on a terminal and as plain lines otherwise.\n\n"
           "  --file FILE      Intel HEX (.hex, carries its own addresses) or a raw image\n"
           "  --port DEV       a serial device, e.g. /dev/ttyUSB0; repeat for more chips\n"
           "  --address HEX    start address of a raw image (default 8000000; 1FFFF800 for\n"
           "                   the option bytes)\n"
           "  --baud N         line speed (default 57600)\n"
           "  --interval MS    pause after every frame written (default 0)\n"
           "  --protect        set readout protection after the download\n"
           "  --verify         read every chip back and compare before calling it done\n"
           "  --model NAME     part name for every chip, as chosen by hand (see 'devices')\n"
           "  --json FILE      write a report: per port the device code, part name, result,\n"
           "                   remark, bytes written, duration and whether it was verified\n"
           "  --help           this text\n\n"
           "Exit status: 0 every chip programmed, 1 a chip failed or the run was refused,\n"
           "2 wrong command line.\n";
}

struct ProgramArguments {
    SessionOptions session;
    std::optional<std::string> json;
};

std::optional<std::uint32_t> parseNumber(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    return std::uint32_t(std::strtoul(text.c_str(), nullptr, 10));
}

// Returns a usage problem, or nothing when the arguments are complete.
std::optional<std::string> parseProgramArguments(const std::vector<std::string>& args,
                                                 ProgramArguments& parsed) {
    SessionOptions& o = parsed.session;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        if (arg == "--protect" || arg == "--verify") {
            (arg == "--protect" ? o.protect : o.verify) = true;
            continue;
        }
        if (arg != "--file" && arg != "--port" && arg != "--address" && arg != "--baud" &&
            arg != "--interval" && arg != "--model" && arg != "--json") {
            return "unknown option '" + args[i] + "'";
        }
        const auto v = value();
        if (!v)
            return arg + " needs a value";
        if (arg == "--file") {
            o.file = *v;
        } else if (arg == "--port") {
            o.devices.push_back(*v);
        } else if (arg == "--address") {
            if (!parseStrictAddress(*v))
                return "--address '" + *v + "' is not a hexadecimal address";
            o.address = *v;
        } else if (arg == "--baud") {
            const auto baud = parseNumber(*v);
            if (!baud || *baud == 0)
                return "--baud '" + *v + "' is not a baud rate";
            o.baud = *baud;
        } else if (arg == "--interval") {
            const auto ms = parseNumber(*v);
            if (!ms || *ms > 10000)
                return "--interval '" + *v + "' is not a pause in ms";
            o.intervalMs = *ms;
        } else if (arg == "--model") {
            o.model = *v;
        } else {
            parsed.json = *v;
        }
    }
    if (o.file.empty())
        return "--file is missing";
    if (o.devices.empty())
        return "at least one --port is needed";
    if (o.model && !DeviceCatalogue().findCodeByPartName(*o.model))
        return "--model '" + *o.model + "' is no known part name (see 'pellion-cli devices')";
    return std::nullopt;
}

int runProgram(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            printProgramHelp(std::cout);
            return kExitOk;
        }
    }
    ProgramArguments parsed;
    if (auto problem = parseProgramArguments(args, parsed)) {
        std::cerr << "pellion-cli program: " << *problem << "\n\n";
        printProgramHelp(std::cerr);
        return kExitUsage;
    }
    const SessionResult result =
        RunProgrammingSession(parsed.session, std::cout, std::cerr, IsTerminal(std::cout));

    for (const auto& port : result.ports) {
        std::cout << (port.succeeded() ? "ok      " : "FAILED  ") << port.port;
        if (!port.partName.empty())
            std::cout << " (" << port.partName << ")";
        // An identified chip's remark says it is ready: not why nothing was written to it.
        if (port.refused)
            std::cout << ": not started, the run was refused";
        else
            std::cout << ": " << (port.remark.empty() ? port.result : port.remark);
        if (port.succeeded())
            std::cout << ", " << port.bytesWritten << " bytes";
        if (port.verified)
            std::cout << ", verified";
        std::cout << "\n";
    }
    if (parsed.json && !WriteTextFile(*parsed.json, SessionReportJson(result))) {
        std::cerr << "pellion-cli program: cannot write " << *parsed.json << "\n";
        return kExitFailure;
    }
    return result.allSucceeded() ? kExitOk : kExitFailure;
}

const CommandRegistration registration{
    {"program",
     "program --file FILE --port DEV...              program a firmware image into chips",
     runProgram}};

}  // namespace
}  // namespace pellion::cli
