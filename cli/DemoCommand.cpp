// pellion-cli demo [--chips N] [--baud N] [--file FILE] [--boot-entry SEQ] [--boot-exit SEQ]
// The whole job without hardware: virtual chips on pseudo-terminals in this process, the
// bundled example firmware programmed into all of them, every chip read back and compared.
// With a boot entry the chips sit on fixture boards and power up running their application.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "cli/CommandRegistry.h"
#include "cli/InterruptSignals.h"
#include "cli/ProgramArguments.h"
#include "cli/ProgramSession.h"
#include "cli/StationSession.h"
#include "engine/OperatorText.h"
#include "image/DownloadFile.h"
#include "sim/ChipHost.h"
#include "sim/UniqueId.h"

namespace pellion::cli {
namespace {

constexpr int kDefaultChips = 4;
constexpr int kMaxChips = 64;
constexpr std::uint32_t kDefaultBaud = 115200;
// Chips of several sizes and erase kinds, as on a line that programs a product family.
constexpr const char* kChipCodes[] = {"1RCB", "1C8A", "5RCB", "3REB",
                                      "7RBB", "1CBA", "0R8A", "5R8B"};

// The example firmware: installed with the program (PREFIX/share/pellion beside PREFIX/bin),
// else in the source tree it was built from.
std::string bundledFirmware() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto installed =
            executable.parent_path().parent_path() / "share" / "pellion" / "example.hex";
        if (std::filesystem::is_regular_file(installed, error))
            return installed.string();
    }
    return std::string(PELLION_SOURCE_DIR) + "/firmware/example.hex";
}

void printDemoHelp(std::ostream& out) {
    out << "usage: pellion-cli demo [--chips N] [--baud N] [--file FILE] [--lang zh|en] "
           "[--station]\n"
           "                        [--boot-entry SEQ] [--boot-exit SEQ]\n\n"
           "Starts N virtual chips (each with a serial bootloader on its own\n"
           "pseudo-terminal, timed like a real line), programs the example firmware into all\n"
           "of them at once with read-back verification, then compares every chip's flash\n"
           "with the image and says so.\n\n"
           "  --chips N   number of chips, 1 to "
        << kMaxChips << " (default " << kDefaultChips
        << ")\n"
           "  --baud N    line speed (default "
        << kDefaultBaud
        << ")\n"
           "  --file FILE another firmware image instead of the bundled one\n"
           "  --lang L    zh or en: language of the rows and remarks (default: the locale's)\n"
           "  --station   production mode instead: every chip is swapped for a fresh one\n"
           "              1.5 s after its program starts, as an operator would, and the\n"
           "              station programs 3 chips per socket, then every chip that passed\n"
           "              through a socket is checked\n"
           "  --boot-entry SEQ, --boot-exit SEQ\n"
           "              as for 'program': with an entry other than none the chips sit on\n"
           "              boards wired as rts-reset names (dtr-reset otherwise) and power up\n"
           "              running their application, so the entry has to bring them into\n"
           "              their bootloader\n"
           "  --help      this text\n\n"
           "Exit status: 0 every chip holds the image, 1 otherwise, 2 wrong command line.\n";
}

std::optional<int> parsePositive(const std::string& text, int limit) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > limit)
        return std::nullopt;
    return int(value);
}

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// Where the chip's flash first differs from the image; none when it holds the image.
std::optional<std::uint32_t> firstDifference(const sim::VirtualChip& chip,
                                             const FirmwareImage& image) {
    const auto flash = chip.readFlash(image.startAddress, image.imageBytes.size());
    for (std::size_t i = 0; i < image.imageBytes.size(); ++i) {
        if (i >= flash.size() || flash[i] != image.imageBytes[i])
            return image.startAddress + std::uint32_t(i);
    }
    return std::nullopt;
}

// Production mode on the chips of `host`: 3 chips per socket, then every chip that passed
// through a socket is checked; each must hold the image, and 3 per socket must have passed.
int runStationDemo(sim::ChipHost& host, const SessionOptions& options, const FirmwareImage& image) {
    constexpr std::uint64_t kChipsPerSocket = 3;
    StationOptions station;
    station.session = options;
    station.stopAfter = kChipsPerSocket * host.size();
    std::cout << "Production mode: " << *station.stopAfter << " chips through " << host.size()
              << " sockets.\n";
    const StationResult result = RunStation(station, image, std::cout, std::cerr, nullptr);
    std::cout << "\n" << StationSummary(result) << "\nComparing every chip's flash:\n";
    std::uint64_t holding = 0;
    std::uint64_t programmed = 0;
    for (std::size_t i = 0; i < host.size(); ++i) {
        auto chips = host.chip(i).retiredChips();
        chips.push_back(host.chip(i).snapshot());
        for (const auto& chip : chips) {
            if (chip.stats.bytesProgrammed == 0)
                continue;
            ++programmed;
            const auto flash = chip.fullFlash();
            const std::size_t offset = image.startAddress - 0x08000000;
            const bool holds = flash.size() >= offset + image.imageBytes.size() &&
                               std::equal(image.imageBytes.begin(), image.imageBytes.end(),
                                          flash.begin() + std::ptrdiff_t(offset));
            holding += holds ? 1 : 0;
            std::cout << "  socket " << i + 1 << " chip " << sim::uniqueIdText(chip.uniqueId)
                      << ": " << (holds ? "holds the image" : "DIFFERS") << "\n";
        }
    }
    host.stop();
    const bool allGood = result.started && holding == programmed &&
                         result.succeeded == *station.stopAfter && programmed == result.succeeded;
    std::cout << holding << " of " << programmed << " programmed chips hold the image.\n";
    return allGood ? kExitOk : kExitFailure;
}

int runDemo(const std::vector<std::string>& args) {
    bool station = false;
    int chips = kDefaultChips;
    std::uint32_t baud = kDefaultBaud;
    std::string file = bundledFirmware();
    // What the operator is told the file is: the bundled one by name, not by where the build
    // happens to keep it.
    std::string fileName = "the example firmware";
    std::optional<OperatorLanguage> language;
    BootSequences boot;
    sim::Wiring wiring = sim::Wiring::DtrReset;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            printDemoHelp(std::cout);
            return kExitOk;
        }
        if (arg == "--station") {
            station = true;
            continue;
        }
        if ((arg == "--chips" || arg == "--baud" || arg == "--file" || arg == "--lang" ||
             IsBootOption(arg)) &&
            i + 1 < args.size()) {
            const std::string& value = args[++i];
            if (IsBootOption(arg)) {
                if (auto problem = ParseBootOption(arg, value, boot)) {
                    std::cerr << "pellion-cli demo: " << *problem << "\n";
                    return kExitUsage;
                }
                if (arg == "--boot-entry")
                    wiring = value == "rts-reset" ? sim::Wiring::RtsReset : sim::Wiring::DtrReset;
                continue;
            }
            if (arg == "--lang") {
                language = parseOperatorLanguage(value);
                if (!language) {
                    std::cerr << "pellion-cli demo: --lang '" << value
                              << "' is neither zh nor en\n";
                    return kExitUsage;
                }
                continue;
            }
            if (arg == "--file") {
                file = fileName = value;
                continue;
            }
            const auto number = parsePositive(value, arg == "--chips" ? kMaxChips : 4000000);
            if (!number) {
                std::cerr << "pellion-cli demo: " << arg << " '" << value << "' is not valid\n";
                return kExitUsage;
            }
            if (arg == "--chips") {
                chips = *number;
            } else {
                baud = std::uint32_t(*number);
            }
            continue;
        }
        std::cerr << "pellion-cli demo: unknown or incomplete option '" << arg << "'\n\n";
        printDemoHelp(std::cerr);
        return kExitUsage;
    }

    // Before the chips' threads start, so that Ctrl-C ends the demo in order.
    BlockInterruptSignals();
    SessionOptions options;
    options.file = file;
    options.baud = baud;
    options.verify = true;
    options.watchInterrupts = true;
    options.language = chooseOperatorLanguage(language);
    options.boot = boot;
    auto image = LoadSessionImage(options);
    if (!image) {
        std::cerr << kLoaderCaption << ": " << image.error(options.language) << "\n";
        return kExitFailure;
    }

    sim::ChipHost host(sim::ChipHost::Threading::SharedLoop);
    for (int i = 0; i < chips; ++i) {
        sim::ChipOptions chipOptions;
        chipOptions.code = *DeviceCode::fromText(kChipCodes[i % std::size(kChipCodes)]);
        chipOptions.timing.enabled = true;  // bytes take the time they take on a real line
        chipOptions.serialNumber = std::uint32_t(i + 1);
        if (station)
            chipOptions.replaceAfterGo = std::chrono::milliseconds(1500);
        chipOptions.wiring = wiring;
        chipOptions.startInApplication = !boot.entry.empty();
        const auto added = host.addChip(chipOptions);
        if (!added.chip) {
            std::cerr << "pellion-cli demo: " << added.error << "\n";
            return kExitFailure;
        }
        options.devices.push_back(added.chip->devicePath());
    }

    if (!boot.entry.empty()) {
        std::cout << OperatorText(TextId::DemoBootEntry)
                         .with("ms", std::to_string(BootSequenceDuration(boot.entry).count()))
                         .words(options.language)
                  << "\n";
    }
    if (station)
        return runStationDemo(host, options, image.value());
    const OperatorLanguage spoken = options.language;
    std::cout << OperatorText(TextId::DemoProgramming)
                     .with("file", fileName)
                     .with("size", std::to_string(image.value().imageSize))
                     .with("address", hex32(image.value().startAddress))
                     .with("chips", std::to_string(chips))
                     .with("baud", std::to_string(baud))
                     .words(spoken)
              << "\n";
    const SessionResult result =
        RunProgrammingSession(options, image.value(), std::cout, std::cerr, IsTerminal(std::cout));

    std::cout << "\n" << Text(TextId::DemoComparing, {}, spoken) << "\n";
    int matching = 0;
    for (int i = 0; i < chips; ++i) {
        const auto& chip = host.chip(std::size_t(i));
        const auto& port = result.ports[std::size_t(i)];
        const auto difference = firstDifference(chip, image.value());
        TextId id = TextId::DemoChipDiffers;
        if (!difference) {
            ++matching;
            const bool verified = port.verified == Verification::Passed;
            const bool running = std::string(chip.board().mode) == "application";
            id = verified ? (running ? TextId::DemoChipHoldsVerifiedRunning
                                     : TextId::DemoChipHoldsVerified)
                          : (running ? TextId::DemoChipHoldsRunning : TextId::DemoChipHolds);
        }
        std::cout << OperatorText(id)
                         .with("number", std::to_string(i + 1))
                         .with("device", chip.devicePath())
                         .with("part", port.partName.empty() ? chip.code().text() : port.partName)
                         .with("size", std::to_string(image.value().imageSize))
                         .with("address", difference ? hex32(*difference) : std::string())
                         .with("remark", port.remark)
                         .words(spoken)
                  << "\n";
    }
    host.stop();
    const bool allGood = matching == chips && result.allSucceeded();
    std::cout << OperatorText(allGood ? TextId::DemoAllHold : TextId::DemoOnlySomeHold)
                     .with("count", std::to_string(allGood ? chips : matching))
                     .with("chips", std::to_string(chips))
                     .with("ms", std::to_string(result.wallMs))
                     .words(spoken)
              << "\n";
    if (result.interrupted)
        return kExitInterrupted;
    return allGood ? kExitOk : kExitFailure;
}

const CommandRegistration registration{
    {"demo",
     "demo [--chips N] [--baud N] [--boot-entry SEQ]   program virtual chips and check them",
     runDemo}};

}  // namespace
}  // namespace pellion::cli
