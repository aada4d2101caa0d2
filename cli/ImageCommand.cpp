// pellion-cli image FILE [--address HEX] [--output OUT.bin]
// Loads a download file exactly as a run does and describes the image it gives.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "engine/OperatorLanguage.h"
#include "image/AddressText.h"
#include "image/Crc32.h"
#include "image/DownloadFile.h"

namespace pellion::cli {
namespace {

constexpr const char* kDefaultAddress = "8000000";  // the application flash, as the window starts

void printImageHelp(std::ostream& out) {
    out << "usage: pellion-cli image FILE [--address HEX] [--output OUT.bin]\n\n"
           "Loads FILE as a programming run would and prints its kind, start address, size\n"
           "and CRC-32. A file whose name ends in .hex is read as Intel HEX and carries its\n"
           "own addresses; any other file is a raw image placed at --address (default "
        << kDefaultAddress
        << ").\n\n"
           "  --address HEX   start address of a raw image, e.g. 8000000 or 0x1FFFF800\n"
           "  --output FILE   also write the image bytes to FILE\n"
           "  --help          this text\n\n"
           "Exit status: 0 loaded, 1 the file was refused, 2 wrong command line.\n";
}

struct ImageOptions {
    std::string file;
    std::optional<std::string> address;
    std::optional<std::string> output;
};

// Returns a usage problem, or nothing when the arguments are complete.
std::optional<std::string> parseImageOptions(const std::vector<std::string>& args,
                                             ImageOptions& options) {
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--address" || arg == "--output") {
            if (i + 1 >= args.size())
                return arg + " needs a value";
            (arg == "--address" ? options.address : options.output) = args[++i];
        } else if (arg.rfind("--address=", 0) == 0) {
            options.address = arg.substr(10);
        } else if (arg.rfind("--output=", 0) == 0) {
            options.output = arg.substr(9);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (haveFile) {
            return "only one FILE may be given";
        } else {
            options.file = arg;
            haveFile = true;
        }
    }
    if (!haveFile)
        return "FILE is missing";
    if (options.address && !parseStrictAddress(*options.address)) {
        return "--address '" + *options.address + "' is not a hexadecimal address";
    }
    return std::nullopt;
}

bool writeImage(const std::string& path, const FirmwareImage& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.imageBytes.data()),
              static_cast<std::streamsize>(image.imageBytes.size()));
    out.close();
    return static_cast<bool>(out);
}

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

int runImage(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            printImageHelp(std::cout);
            return kExitOk;
        }
    }
    ImageOptions options;
    if (auto problem = parseImageOptions(args, options)) {
        std::cerr << "pellion-cli image: " << *problem << "\n\n";
        printImageHelp(std::cerr);
        return kExitUsage;
    }
    bool hex = downloadFileKind(options.file) == DownloadFileKind::Hex;
    if (hex && options.address) {
        std::cerr << "pellion-cli image: --address is not used: a HEX file carries its own "
                     "addresses\n";
    }
    auto loaded = loadDownloadFile(options.file, options.address.value_or(kDefaultAddress));
    if (!loaded) {
        std::cerr << kLoaderCaption << ": " << loaded.error(chooseOperatorLanguage(std::nullopt))
                  << "\n";
        return kExitFailure;
    }
    const FirmwareImage& image = loaded.value();
    std::cout << "file:    " << options.file << "\n"
              << "kind:    " << (hex ? "HEX" : "BIN") << "\n"
              << "start:   " << hex32(image.startAddress) << "\n"
              << "end:     " << hex32(image.startAddress + image.imageSize - 1) << "\n"
              << "size:    " << image.imageSize << " bytes\n"
              << "crc32:   " << hex32(crc32(image.imageBytes.data(), image.imageBytes.size()))
              << "\n";
    if (options.output) {
        if (!writeImage(*options.output, image)) {
            std::cerr << "pellion-cli image: cannot write " << *options.output << "\n";
            return kExitFailure;
        }
        std::cout << "written: " << *options.output << "\n";
    }
    return kExitOk;
}

const CommandRegistration kImageCommand{
    {"image", "image FILE [--address HEX] [--output OUT.bin]  load a download file and describe it",
     runImage}};

}  // namespace
}  // namespace pellion::cli
