// pellion-cli program --file FILE --port DEV [--port DEV ...] [options]
// Programs one image into the chip behind every port, as ticking the rows and pressing OK would.

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/InterruptSignals.h"
#include "cli/ProgramArguments.h"
#include "cli/ProgramSession.h"
#include "cli/SessionRecords.h"
#include "cli/SessionReport.h"
#include "engine/RunHost.h"

namespace pellion::cli {
namespace {

void printProgramHelp(std::ostream& out) {
    out << "usage: pellion-cli program --file FILE --port DEV [--port DEV ...] [options]\n\n"
           "Loads and checks the file, opens every port, identifies the chip behind it through\n"
           "its serial bootloader, then erases, writes, reads back and starts (or protects)\n"
           "every chip at once. A chip that cannot be identified is left out and named; the\n"
           "others are programmed. Rows are shown live on a terminal and as plain lines\n"
           "otherwise; a summary closes the run.\n\n"
           "  --file FILE      Intel HEX (.hex, carries its own addresses) or a raw image\n"
           "  --port DEV       a serial device, e.g. /dev/ttyUSB0, or its name under\n"
           "                   /dev/serial/by-path or by-id (see 'ports'); repeat for more\n"
           "                   chips\n"
           "  --address HEX    start address of a raw image (default 8000000; 1FFFF800 for\n"
           "                   the option bytes); with a HEX file only its own start\n"
           "  --baud N         line speed, up to 4000000 (default 57600)\n"
           "  --interval MS    pause after every frame written (default 0)\n"
           "  --protect        set readout protection after the download\n"
           "  --no-verify      do not read the chips back (they are by default; --verify\n"
           "                   is accepted). Without it a chip can keep a wrong bit that no\n"
           "                   acknowledgement reveals\n"
           "  --block-size N   bytes per Write Memory frame: a multiple of 4 up to 256, for\n"
           "                   chips that take it (default 200)\n"
           "  --write-blank    also send blocks that are all 0xFF (by default they are left\n"
           "                   as the erase left them; read-back still reads them)\n"
           "  --model NAME     part name for the chips that do not name themselves by their\n"
           "                   device code (see 'devices'); chips that do keep their own\n"
           "  --lang zh|en     language of the rows and remarks (default: the locale's, Chinese\n"
           "                   where it names no language or Chinese)\n"
           "  --boot-entry SEQ how DTR and RTS bring every chip into its bootloader before\n"
           "                   it is identified: none (default: the chip waits there\n"
           "                   already), dtr-reset (DTR drives RESET, RTS drives BOOT0),\n"
           "                   rts-reset (the other way round), or steps separated by '|':\n"
           "                   D0/D1 and R0/R1 set DTR/RTS de-asserted/asserted, Bxy sets\n"
           "                   DTR x and RTS y at once, W<ms> waits (e.g. R1|D1|W20|D0|W50)\n"
           "  --boot-exit SEQ  how every programmed chip is started: go (default: the Go\n"
           "                   command), dtr-reset or rts-reset (BOOT0 low and a reset\n"
           "                   pulse, as at power-up), or steps as above\n"
           "  --records WHERE  where every chip's record goes (docs/records.md): an SQLite\n"
           "                   file, or a shared PostgreSQL database (postgresql://host/db,\n"
           "                   service=NAME; passwords from libpq's password file only);\n"
           "                   default ~/.local/share/Pellion/records.sqlite3\n"
           "  --serial-at HEX  write a serial number per chip at this flash address, after\n"
           "                   the image, and read it back with it; it must not overlap the\n"
           "                   image's data (the run is refused before any port opens)\n"
           "  --serial-pool NAME  the records' pool the numbers come from (with --serial-at)\n"
           "  --serial-start N the pool's first number when it is new (default 1)\n"
           "  --serial-format F  u32le (default), u32be, or ascii:TEXT with one printf field\n"
           "                   such as ascii:PLN-%06u\n"
           "  --json FILE      write a report (format: docs/program-report.md): the run, the\n"
           "                   image and per port the chip, result, failed step, remark,\n"
           "                   bytes written, duration and verification\n"
           "  --help           this text\n\n"
           "SIGINT or SIGTERM (Ctrl-C) lets every port finish the frame it is sending, closes\n"
           "the ports, writes the report with the interrupted ports marked and exits 130; a\n"
           "second one stops at once.\n\n"
           "Exit status: 0 every chip programmed, 1 a chip failed or the run was refused,\n"
           "2 wrong command line, 130 interrupted.\n";
}

int usageError(const std::string& problem) {
    std::cerr << "pellion-cli program: " << problem << "\n\n";
    printProgramHelp(std::cerr);
    return kExitUsage;
}

// A HEX file is programmed from its own lowest address; another --address is a mistake.
std::optional<std::string> hexAddressProblem(const SessionOptions& options,
                                             const FirmwareImage& image) {
    if (!options.address || downloadFileKind(options.file) != DownloadFileKind::Hex ||
        *options.address == image.startAddress) {
        return std::nullopt;
    }
    char text[128];
    std::snprintf(text, sizeof text,
                  "--address %X does not match the HEX file, which starts at %X (a HEX file "
                  "carries its own addresses)",
                  unsigned(*options.address), unsigned(image.startAddress));
    return text;
}

int runProgram(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            printProgramHelp(std::cout);
            return kExitOk;
        }
    }
    ProgramArguments parsed;
    if (auto problem = ParseProgramArguments(args, parsed))
        return usageError(*problem);
    SessionOptions& options = parsed.session;

    // Before any thread starts, so that none of them is killed by Ctrl-C.
    BlockInterruptSignals();
    options.watchInterrupts = true;

    // The file is loaded and checked before any port is opened.
    auto image = LoadSessionImage(options);
    if (image) {
        if (auto problem = hexAddressProblem(options, image.value()))
            return usageError(*problem);
        // Refused before any port is opened when no chip could take the block.
        if (const std::string problem = SerialPlacementProblem(options, image.value());
            !problem.empty()) {
            std::cerr << kRunCaption << ": " << problem << "\n";
            return kExitFailure;
        }
    }
    SessionResult result;
    if (image) {
        result = RunProgrammingSession(options, std::move(image.value()), std::cout, std::cerr,
                                       IsTerminal(std::cout));
    } else {
        std::cerr << kRunCaption << ": " << image.error(options.language) << "\n";
        result = RefusedSession(options, image.error(options.language));
    }

    for (const auto& port : result.ports)
        std::cout << PortLine(port, options.language);
    std::cout << "\n" << SessionSummary(result, options.language) << std::flush;
    if (parsed.json && !WriteTextFile(*parsed.json, SessionReportJson(options, result))) {
        std::cerr << "pellion-cli program: cannot write " << *parsed.json << "\n";
        return result.interrupted ? kExitInterrupted : kExitFailure;
    }
    if (result.interrupted)
        return kExitInterrupted;
    return result.allSucceeded() ? kExitOk : kExitFailure;
}

const CommandRegistration registration{
    {"program",
     "program --file FILE --port DEV...              program a firmware image into chips",
     runProgram}};

}  // namespace
}  // namespace pellion::cli
