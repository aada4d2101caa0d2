#include "sim/SimCommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>

namespace pellion::sim {

namespace {

bool parseInteger(const std::string& text, long long min, long long max, long long& out) {
    int base = 10;
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    long long value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
        value < min || value > max)
        return false;
    out = value;
    return true;
}

bool parseNumber(const std::string& text, double min, double max, double& out) {
    std::istringstream in(text);
    double value = 0;
    in >> value;
    if (!in || !in.eof() || !std::isfinite(value) || value < min || value > max)
        return false;
    out = value;
    return true;
}

std::chrono::microseconds fromMilliseconds(double ms) {
    return std::chrono::microseconds(std::llround(ms * 1000.0));
}

}  // namespace

bool parseIndexList(const std::string& text, std::vector<int>& out) {
    std::vector<int> indexes;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto dash = item.find('-');
        long long first = 0;
        long long last = 0;
        if (dash == std::string::npos) {
            if (!parseInteger(item, 0, 100000, first))
                return false;
            last = first;
        } else if (!parseInteger(item.substr(0, dash), 0, 100000, first) ||
                   !parseInteger(item.substr(dash + 1), first, 100000, last)) {
            return false;
        }
        for (long long i = first; i <= last; ++i)
            indexes.push_back(int(i));
    }
    if (indexes.empty())
        return false;
    out = indexes;
    return true;
}

std::string simHelpText() {
    const ChipTiming defaults;
    std::ostringstream help;
    help << "Usage: pellion-sim [options]\n"
            "Virtual chips with a serial bootloader, each on its own pseudo-terminal. Prints one\n"
            "line per chip (\"chipK DEVICE [LINK]\") and serves until SIGINT or SIGTERM. On exit\n"
            "and on SIGUSR1 it writes chipK.flash.bin, chipK.option.bin and chipK.json (a\n"
            "one-line summary: state, unique id, commands seen, modelled busy time, faults) to\n"
            "--dump-dir, and chipK-N.* for the N-th chip that replaced the first in socket K;\n"
            "on exit it also prints the summaries. Each chip's DTR and RTS are set through the\n"
            "abstract socket \"pellion-lines:DEVICE\" (see sim/README.md).\n"
            "\n"
            "Chips:\n"
            "  --chips N               number of chips (default 1)\n"
            "  --code CODE             four-character device code; geometry from the catalogue\n"
            "                          (default 1RCB)\n"
            "  --pid ID                product id answered to Get ID (default 0x0410)\n"
            "  --link-dir DIR          also create symlinks DIR/chip0, DIR/chip1, ...\n"
            "  --link-prefix NAME      name the links NAME0, NAME1, ... instead (several\n"
            "                          simulators can then link into one directory)\n"
            "  --dump-dir DIR          where dumps and summaries go\n"
            "  --loop-per-chip         serve each chip on its own thread (default: one thread)\n"
            "  --control PATH          serve the control endpoint (lines, state, replace, remove,\n"
            "                          insert K) on a Unix socket at PATH\n"
            "\n"
            "Board and socket:\n"
            "  --wiring dtr-reset|rts-reset\n"
            "                          asserted DTR holds RESET and asserted RTS raises BOOT0\n"
            "                          (dtr-reset, default), or the other way round\n"
            "  --start-in-app          BOOT0 is pulled low, not jumpered high: the chip powers up\n"
            "                          in its application and starts its bootloader only when a\n"
            "                          reset ends with BOOT0 raised by the line\n"
            "  --replace-after-go MS   MS after a chip's programming ends (Go, a reset into a\n"
            "                          program written here, or the reset after readout\n"
            "                          protection was set on it), a fresh chip takes its socket\n"
            "\n"
            "Start-up state and behaviour:\n"
            "  --flash FILE            initial flash content (from 0x08000000)\n"
            "  --readout-protected     start with readout protection\n"
            "  --write-protect LIST    start with these 4 KiB regions write-protected (0,1,4-7)\n"
            "  --protected-writes ack|nack\n"
            "                          a write or erase of a protected page: acknowledged without\n"
            "                          effect like current bootloaders (ack, default) or refused\n"
            "  --no-device-code        refuse the Get device code command\n"
            "  --app-text TEXT         in the application, print TEXT as a line every\n"
            "                          --app-interval-ms (after a reset: when flash holds a program)\n"
            "  --app-interval-ms MS    (default 5)\n"
            "\n"
            "Timing (on by default; 11 bits per byte: start, 8 data, parity, stop):\n"
            "  --no-timing             answer at once (busy time is still accounted)\n"
            "  --baud N|auto           line speed of the model; auto follows the speed the host\n"
            "                          set on its side, measured at each sync byte (default auto,\n"
            "                          "
         << ChipTiming::kFallbackBaud
         << " when unknown)\n"
            "  --program-us US         programming time per 16-bit half-word (default "
         << defaults.halfWordProgram.count()
         << ")\n"
            "  --page-erase-ms MS      erase time per page (default "
         << defaults.pageErase.count() / 1000.0
         << ")\n"
            "  --mass-erase-ms MS      mass or bank erase time (default "
         << defaults.massErase.count() / 1000.0
         << ")\n"
            "  --startup-ms MS         deaf time after a reset (default "
         << defaults.startup.count() / 1000.0
         << ")\n"
            "  --latency-ms MS         USB-serial adapter latency timer holding answers back\n"
            "                          (default "
         << defaults.adapterLatency.count() / 1000.0
         << ": none)\n"
            "\n"
            "Faults (seeded, reproducible; each shows in the summary):\n"
            "  --seed N                seed of chip 0; chip K uses N + K (default 1); also\n"
            "                          the seed of the chips' unique ids\n"
            "  --fault-chips LIST      only these chips misbehave and get the start state of\n"
            "                          --flash, --readout-protected, --write-protect (default: all)\n"
            "  --stray-zero            send 0x00 before the ACK of each sync\n"
            "  --nack-probability P    NACK instead of a command's first ACK\n"
            "  --drop-probability P    drop an answer byte\n"
            "  --corrupt-probability P corrupt an answer byte\n"
            "  --silent-after K        answer K commands, then nothing\n"
            "  --disconnect-after K    close the line when K bytes have arrived\n"
            "  --bad-cell-probability P\n"
            "                          per flash write, silently flip one programmed bit\n"
            "  --parity-blind-adapter  the adapter sends without parity: the chip drops every byte\n"
            "                          with an even number of one bits\n"
            "\n"
            "  --help                  this text\n";
    return help.str();
}

SimCommandLine parseSimCommandLine(const std::vector<std::string>& arguments) {
    SimCommandLine result;
    SimSettings& s = result.settings;
    ChipOptions& chip = s.chip;
    chip.timing.enabled = true;

    using Handler = std::function<bool(const std::string&)>;
    auto ms = [](std::chrono::microseconds& target) {
        return [&target](const std::string& v) {
            double value = 0;
            if (!parseNumber(v, 0, 3'600'000, value))
                return false;
            target = fromMilliseconds(value);
            return true;
        };
    };
    auto probability = [](double& target) {
        return [&target](const std::string& v) { return parseNumber(v, 0, 1, target); };
    };
    auto count = [](std::int64_t& target) {
        return [&target](const std::string& v) {
            long long value = 0;
            if (!parseInteger(v, 0, 1'000'000'000'000LL, value))
                return false;
            target = value;
            return true;
        };
    };
    const std::map<std::string, Handler> withValue = {
        {"--chips",
         [&](const std::string& v) {
             long long n = 0;
             if (!parseInteger(v, 1, 1024, n))
                 return false;
             s.chips = int(n);
             return true;
         }},
        {"--code",
         [&](const std::string& v) {
             auto code = DeviceCode::fromText(v);
             if (code)
                 chip.code = *code;
             return code.has_value();
         }},
        {"--pid",
         [&](const std::string& v) {
             long long id = 0;
             if (!parseInteger(v, 0, 0xFFFF, id))
                 return false;
             chip.productId = std::uint16_t(id);
             return true;
         }},
        {"--baud",
         [&](const std::string& v) {
             long long baud = 0;
             if (v == "auto") {
                 chip.timing.baud = 0;
                 return true;
             }
             if (!parseInteger(v, 50, 20'000'000, baud))
                 return false;
             chip.timing.baud = std::uint32_t(baud);
             return true;
         }},
        {"--link-dir", [&](const std::string& v) { return !(s.linkDir = v).empty(); }},
        {"--link-prefix",
         [&](const std::string& v) {
             s.linkPrefix = v;
             return !v.empty() && v.find('/') == std::string::npos && v != "." && v != "..";
         }},
        {"--dump-dir", [&](const std::string& v) { return !(s.dumpDir = v).empty(); }},
        {"--control", [&](const std::string& v) { return !(s.controlPath = v).empty(); }},
        {"--wiring",
         [&](const std::string& v) {
             if (v != "dtr-reset" && v != "rts-reset")
                 return false;
             chip.wiring = v == "dtr-reset" ? Wiring::DtrReset : Wiring::RtsReset;
             return true;
         }},
        {"--replace-after-go",
         [&](const std::string& v) {
             long long value = 0;
             if (!parseInteger(v, 0, 3'600'000, value))
                 return false;
             chip.replaceAfterGo = std::chrono::milliseconds(value);
             return true;
         }},
        {"--flash", [&](const std::string& v) { return !(s.flashFile = v).empty(); }},
        {"--write-protect",
         [&](const std::string& v) {
             std::vector<int> regions;
             if (!parseIndexList(v, regions))
                 return false;
             for (int r : regions) {
                 if (r > 31)
                     return false;
                 chip.writeProtectedRegions |= 1u << r;
             }
             return true;
         }},
        {"--protected-writes",
         [&](const std::string& v) {
             if (v != "ack" && v != "nack")
                 return false;
             chip.protectedWrites =
                 v == "ack" ? ProtectedWritePolicy::AckWithoutEffect : ProtectedWritePolicy::Nack;
             return true;
         }},
        {"--app-text",
         [&](const std::string& v) {
             chip.applicationText = v;
             return true;
         }},
        {"--app-interval-ms",
         [&](const std::string& v) {
             long long value = 0;
             if (!parseInteger(v, 1, 3'600'000, value))
                 return false;
             chip.applicationInterval = std::chrono::milliseconds(value);
             return true;
         }},
        {"--program-us",
         [&](const std::string& v) {
             double value = 0;
             if (!parseNumber(v, 0, 1'000'000, value))
                 return false;
             chip.timing.halfWordProgram = std::chrono::microseconds(std::llround(value));
             return true;
         }},
        {"--page-erase-ms", ms(chip.timing.pageErase)},
        {"--mass-erase-ms", ms(chip.timing.massErase)},
        {"--startup-ms", ms(chip.timing.startup)},
        {"--latency-ms", ms(chip.timing.adapterLatency)},
        {"--seed",
         [&](const std::string& v) {
             long long value = 0;
             if (!parseInteger(v, 0, 0x7FFFFFFFFFFFFFFFLL, value))
                 return false;
             chip.faults.seed = std::uint64_t(value);
             chip.uniqueIdSeed = std::uint64_t(value);
             return true;
         }},
        {"--fault-chips", [&](const std::string& v) { return parseIndexList(v, s.faultChips); }},
        {"--nack-probability", probability(chip.faults.nackProbability)},
        {"--drop-probability", probability(chip.faults.dropAnswerByteProbability)},
        {"--corrupt-probability", probability(chip.faults.corruptAnswerByteProbability)},
        {"--bad-cell-probability", probability(chip.faults.badCellProbability)},
        {"--silent-after", count(chip.faults.silentAfterCommands)},
        {"--disconnect-after", count(chip.faults.disconnectAfterBytes)},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--help", [&] { result.help = true; }},
        {"-h", [&] { result.help = true; }},
        {"--no-timing", [&] { chip.timing.enabled = false; }},
        {"--no-device-code", [&] { chip.deviceCodeCommand = false; }},
        {"--readout-protected", [&] { chip.readoutProtected = true; }},
        {"--loop-per-chip", [&] { s.loopPerChip = true; }},
        {"--stray-zero", [&] { chip.faults.strayZeroBeforeSyncAck = true; }},
        {"--parity-blind-adapter", [&] { chip.faults.parityBlindAdapter = true; }},
        {"--start-in-app", [&] { chip.startInApplication = true; }},
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (auto flag = flags.find(name); flag != flags.end() && !inlineValue) {
            flag->second();
            continue;
        }
        auto option = withValue.find(name);
        if (option == withValue.end()) {
            result.error = "unknown option " + arguments[i];
            return result;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                result.error = name + " needs a value";
                return result;
            }
            value = arguments[++i];
        }
        if (!option->second(value)) {
            result.error = "invalid value for " + name + ": " + value;
            return result;
        }
    }
    for (int index : s.faultChips) {
        if (index >= s.chips) {
            result.error = "--fault-chips names chip " + std::to_string(index) + " of " +
                           std::to_string(s.chips);
            return result;
        }
    }
    return result;
}

ChipOptions optionsForChip(const SimSettings& settings, int index) {
    ChipOptions options = settings.chip;
    options.serialNumber = std::uint32_t(index + 1);
    options.faults.seed = settings.chip.faults.seed + std::uint64_t(index);
    const bool faulty = settings.faultChips.empty() ||
                        std::find(settings.faultChips.begin(), settings.faultChips.end(), index) !=
                            settings.faultChips.end();
    if (!faulty) {
        options.faults = FaultOptions{};
        options.readoutProtected = false;
        options.writeProtectedRegions = 0;
        options.initialFlash.clear();
    }
    return options;
}

}  // namespace pellion::sim
