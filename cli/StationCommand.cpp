// pellion-cli station --file FILE --port DEV [--port DEV ...] [options]
// Production mode: every socket programs the next chip by itself, until stopped.

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/InterruptSignals.h"
#include "cli/ProgramArguments.h"
#include "cli/SessionRecords.h"
#include "cli/StationSession.h"
#include "engine/RunHost.h"

namespace pellion::cli {
namespace {

void printStationHelp(std::ostream& out) {
    out << "usage: pellion-cli station --file FILE --port DEV [--port DEV ...] [options]\n\n"
           "Production mode: every port's socket programs the next chip by itself. An empty\n"
           "socket is probed with SYNC every 250 ms; a chip that answers is identified and\n"
           "programmed (erased, written, read back, started or protected) as 'program' does,\n"
           "and its result stands until the chip is taken away (three unanswered probes) or\n"
           "a chip with another unique ID answers in its place. One line per finished chip\n"
           "(time, port, unique ID, part, result, remark); the counters close the run.\n\n"
           "  --file FILE      Intel HEX or a raw image (see 'program')\n"
           "  --port DEV       a serial device or its by-path/by-id name; repeat for more\n"
           "                   sockets\n"
           "  --address HEX    start address of a raw image (default 8000000)\n"
           "  --baud N         line speed (default 57600)\n"
           "  --interval MS    pause after every frame written (default 0)\n"
           "  --protect        set readout protection after the download\n"
           "  --no-verify      do not read the chips back (they are by default)\n"
           "  --model NAME     part name for chips that do not name themselves\n"
           "  --boot-entry SEQ how DTR and RTS bring a chip into its bootloader, run before\n"
           "                   every probe's SYNC (see 'program': none, dtr-reset,\n"
           "                   rts-reset or steps); a socket's chip is then reset each probe\n"
           "  --boot-exit SEQ  how every programmed chip is started (see 'program')\n"
           "  --lang zh|en     language of the remarks (default: the locale's)\n"
           "  --records WHERE  where every chip's record goes (see 'program'); with a shared\n"
           "                   database the lines say how many records wait for it\n"
           "  --serial-at HEX, --serial-pool NAME, --serial-start N, --serial-format F\n"
           "                   a serial number per chip from a pool (see 'program')\n"
           "  --stop-after N   stop in order once N chips in all have succeeded\n"
           "  --events FILE    write JSON lines (format: docs/station-events.md): chip_started,\n"
           "                   chip_progress, chip_finished, port_waiting, station_stopped;\n"
           "                   '-' for standard output (the chip lines then go to stderr)\n"
           "  --help           this text\n\n"
           "SIGINT or SIGTERM (Ctrl-C) starts no new chip and lets the chips at work finish;\n"
           "a second one stops them at once. The ports are closed either way.\n\n"
           "Exit status: 0 after an orderly stop, whatever the chips' results (the counters\n"
           "say them), 1 the station could not start, 2 wrong command line.\n";
}

int usageError(const std::string& problem) {
    std::cerr << "pellion-cli station: " << problem << "\n\n";
    printStationHelp(std::cerr);
    return kExitUsage;
}

std::optional<std::uint64_t> parseCount(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    const auto count = std::stoull(text);
    return count == 0 ? std::nullopt : std::optional<std::uint64_t>(count);
}

// The station's own options are taken out; the rest are 'program''s.
std::optional<std::string> parseStationArguments(const std::vector<std::string>& args,
                                                 StationOptions& options) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> value;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        if (arg == "--json")
            return "unknown option '" + args[i] + "' (the station writes --events)";
        if (arg != "--stop-after" && arg != "--events") {
            rest.push_back(args[i]);
            continue;
        }
        if (!value && i + 1 < args.size())
            value = args[++i];
        if (!value)
            return arg + " needs a value";
        if (arg == "--events") {
            options.events = *value;
            continue;
        }
        options.stopAfter = parseCount(*value);
        if (!options.stopAfter)
            return "--stop-after '" + *value + "' is not a number of chips";
    }
    ProgramArguments parsed;
    if (auto problem = ParseProgramArguments(rest, parsed))
        return problem;
    options.session = parsed.session;
    if (options.events && *options.events != "-") {
        if (auto problem =
                ReportPathProblem(*options.events, options.session.file, options.session.devices))
            return problem;
    }
    return std::nullopt;
}

int runStation(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            printStationHelp(std::cout);
            return kExitOk;
        }
    }
    StationOptions options;
    if (auto problem = parseStationArguments(args, options))
        return usageError(*problem);

    BlockInterruptSignals();
    options.session.watchInterrupts = true;
    auto image = LoadSessionImage(options.session);
    if (!image) {
        std::cerr << kRunCaption << ": " << image.error(options.session.language) << "\n";
        return kExitFailure;
    }
    if (const std::string problem = SerialPlacementProblem(options.session, image.value());
        !problem.empty()) {
        std::cerr << kRunCaption << ": " << problem << "\n";
        return kExitFailure;
    }
    std::ofstream file;
    std::ostream* events = nullptr;
    const bool eventsToStdout = options.events && *options.events == "-";
    if (eventsToStdout) {
        events = &std::cout;
    } else if (options.events) {
        file.open(*options.events, std::ios::binary | std::ios::trunc);
        if (!file) {
            std::cerr << "pellion-cli station: cannot write " << *options.events << "\n";
            return kExitFailure;
        }
        events = &file;
    }
    std::ostream& lines = eventsToStdout ? std::cerr : std::cout;
    const StationResult result =
        RunStation(options, std::move(image.value()), lines, std::cerr, events);
    if (!result.started) {
        std::cerr << "pellion-cli station: " << result.problem << "\n";
        return kExitFailure;
    }
    lines << "\n" << StationSummary(result) << std::flush;
    return kExitOk;
}

const CommandRegistration registration{
    {"station",
     "station --file FILE --port DEV...              every socket programs the next chip",
     runStation}};

}  // namespace
}  // namespace pellion::cli
