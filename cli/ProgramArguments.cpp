#include "cli/ProgramArguments.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "catalogue/DeviceCatalogue.h"
#include "cli/SessionRecords.h"
#include "image/AddressText.h"
#include "serial/PortDetails.h"

namespace pellion::cli {

namespace {

std::optional<std::uint32_t> parseNumber(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    return std::uint32_t(std::strtoul(text.c_str(), nullptr, 10));
}

// Whether two existing paths name one file (following links); no value when either is missing.
std::optional<bool> sameExistingFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    // Windows' stat has no inode numbers: the file system compares the files' ids.
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    if (ec)
        return std::nullopt;
    return same;
#else
    struct stat infoA {};
    struct stat infoB {};
    if (::stat(a.c_str(), &infoA) != 0 || ::stat(b.c_str(), &infoB) != 0)
        return std::nullopt;
    return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
#endif
}

bool sameFile(const std::string& a, const std::string& b) {
    if (const auto same = sameExistingFile(a, b))
        return *same;
    // Neither exists (or one does not): the same text is still the same port.
    return std::filesystem::path(a).lexically_normal() ==
           std::filesystem::path(b).lexically_normal();
}

std::optional<std::string> duplicatePort(const std::vector<std::string>& devices) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (sameFile(devices[i], devices[j])) {
                return "--port '" + devices[i] + "' names the same port as '" + devices[j] +
                       "'; each chip needs a port of its own";
            }
        }
    }
    return std::nullopt;
}

// Windows knows no search permission on folders: there, being writable is what counts.
#ifdef _WIN32
constexpr int kCreateInDirectory = W_OK;
#else
constexpr int kCreateInDirectory = W_OK | X_OK;
#endif

}  // namespace

std::optional<std::string> ReportPathProblem(const std::string& path, const std::string& file,
                                             const std::vector<std::string>& devices) {
    const std::string quoted = "--json '" + path + "'";
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return quoted + " is a directory";
        if (sameExistingFile(path, file).value_or(false))
            return quoted + " is the download file; the report would overwrite the firmware";
        for (const auto& device : devices) {
            if (sameExistingFile(path, device).value_or(false))
                return quoted + " is the port " + device;
        }
        if (::access(path.c_str(), W_OK) != 0)
            return quoted + " cannot be written: " + std::strerror(errno);
        return std::nullopt;
    }
    if (errno != ENOENT)
        return quoted + " cannot be written: " + std::strerror(errno);
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty())
        directory = ".";
    if (::access(directory.string().c_str(), kCreateInDirectory) != 0)
        return quoted + " cannot be created in " + directory.string() + ": " + std::strerror(errno);
    return std::nullopt;
}

bool IsBootOption(const std::string& option) {
    return option == "--boot-entry" || option == "--boot-exit";
}

std::optional<std::string> ParseBootOption(const std::string& option, const std::string& value,
                                           BootSequences& boot) {
    const BootRole role = option == "--boot-entry" ? BootRole::Entry : BootRole::Exit;
    const BootSequenceParse parse = ParseBootSequence(value, role);
    if (!parse.ok()) {
        return option + " '" + value + "': " + BootSequenceErrorTextEnglish(parse) + " (or " +
               BootPresetNames(role) + ")";
    }
    if (role == BootRole::Entry)
        boot.entry = parse.steps;
    else if (parse.go)
        boot.exit.reset();
    else
        boot.exit = parse.steps;
    return std::nullopt;
}

std::optional<std::string> ParseProgramArguments(const std::vector<std::string>& args,
                                                 ProgramArguments& parsed) {
    SessionOptions& o = parsed.session;
    std::optional<OperatorLanguage> language;
    if (RecordsAvailable())
        o.records = std::string();  // every chip is recorded, in the default file unless told
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
        if (arg == "--protect") {
            o.protect = true;
            continue;
        }
        if (arg == "--verify" || arg == "--no-verify") {
            o.verify = arg == "--verify";
            continue;
        }
        if (arg == "--write-blank") {
            o.writePlan.skipBlankBlocks = false;
            continue;
        }
        if (arg != "--file" && arg != "--port" && arg != "--address" && arg != "--baud" &&
            arg != "--interval" && arg != "--model" && arg != "--json" && arg != "--lang" &&
            arg != "--block-size" && arg != "--records" && arg != "--serial-at" &&
            arg != "--serial-format" && arg != "--serial-pool" && arg != "--serial-start" &&
            !IsBootOption(arg)) {
            return "unknown option '" + args[i] + "'";
        }
        const auto v = value();
        if (!v)
            return arg + " needs a value";
        if (arg == "--file") {
            o.file = *v;
        } else if (arg == "--port") {
            o.devices.push_back(ResolvePortName(*v));
        } else if (arg == "--address") {
            o.address = parseStrictAddress(*v);
            if (!o.address)
                return "--address '" + *v + "' is not a hexadecimal address";
        } else if (arg == "--baud") {
            const auto baud = parseNumber(*v);
            if (!baud || *baud == 0)
                return "--baud '" + *v + "' is not a baud rate";
            if (*baud > kMaxBaud)
                return "--baud '" + *v + "' is above " + std::to_string(kMaxBaud) +
                       ", faster than any serial adapter";
            o.baud = *baud;
        } else if (arg == "--interval") {
            const auto ms = parseNumber(*v);
            if (!ms || *ms > 10000)
                return "--interval '" + *v + "' is not a pause in ms";
            o.intervalMs = *ms;
        } else if (arg == "--block-size") {
            const auto bytes = parseNumber(*v);
            if (!bytes || *bytes > std::uint32_t(kMaxWriteBlockBytes) ||
                !IsValidWriteBlockSize(int(*bytes)))
                return "--block-size '" + *v + "' is not a block size: a multiple of 4 from 4 to " +
                       std::to_string(kMaxWriteBlockBytes) + " bytes";
            o.writePlan.blockBytes = int(*bytes);
        } else if (arg == "--model") {
            o.model = *v;
        } else if (arg == "--lang") {
            language = parseOperatorLanguage(*v);
            if (!language)
                return "--lang '" + *v + "' is neither zh nor en";
        } else if (IsBootOption(arg)) {
            if (auto problem = ParseBootOption(arg, *v, o.boot))
                return problem;
            if (arg == "--boot-entry")
                o.bootEntryText = *v;
        } else if (arg == "--serial-at") {
            o.serialAt = parseStrictAddress(*v);
            if (!o.serialAt)
                return "--serial-at '" + *v + "' is not a hexadecimal address";
        } else if (arg == "--serial-format") {
            o.serialFormat = *v;
        } else if (arg == "--serial-pool") {
            o.serialPool = *v;
        } else if (arg == "--serial-start") {
            const auto start = v->find_first_not_of("0123456789") == std::string::npos &&
                                       !v->empty() && v->size() <= 10
                                   ? std::optional<unsigned long long>(std::stoull(*v))
                                   : std::nullopt;
            if (!start || *start > 0xFFFFFFFFull)
                return "--serial-start '" + *v + "' is not a number";
            o.serialStart = std::uint32_t(*start);
        } else if (arg == "--records") {
            if (!RecordsAvailable())
                return "--records: this build keeps no records";
            o.records = *v;
        } else {
            parsed.json = *v;
        }
    }
    o.language = chooseOperatorLanguage(language);
    if (o.file.empty())
        return "--file is missing";
    if (o.devices.empty())
        return "at least one --port is needed";
    if (auto duplicate = duplicatePort(o.devices))
        return duplicate;
    if (o.model && !DeviceCatalogue().findCodeByPartName(*o.model))
        return "--model '" + *o.model + "' is no known part name (see 'pellion-cli devices')";
    if (auto problem = SerialOptionsProblem(o))
        return problem;
    if (parsed.json) {
        if (auto problem = ReportPathProblem(*parsed.json, o.file, o.devices))
            return problem;
    }
    return std::nullopt;
}

}  // namespace pellion::cli
