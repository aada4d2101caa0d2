// pellion-cli devices: the device catalogue, one device a line, in code order.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "cli/CommandRegistry.h"

namespace pellion::cli {
namespace {

void printDevicesHelp(std::ostream& out) {
    out << "usage: pellion-cli devices\n\n"
           "Lists every known device: its code as the bootloader reports it, part name,\n"
           "flash size in KiB, page size in bytes (first 512 KiB), number of erase pages and\n"
           "erase mode (0 one-byte page numbers, 1 or 2 extended erase).\n";
}

int runDevices(const std::vector<std::string>& args) {
    if (!args.empty()) {
        if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
            printDevicesHelp(std::cout);
            return kExitOk;
        }
        std::cerr << "pellion-cli devices: takes no arguments\n\n";
        printDevicesHelp(std::cerr);
        return kExitUsage;
    }
    DeviceCatalogue catalogue;
    std::printf("%-4s  %-12s  %9s  %10s  %10s  %10s\n", "CODE", "PART NAME", "FLASH_KIB",
                "PAGE_BYTES", "PAGE_COUNT", "ERASE_MODE");
    for (const CatalogueEntry& e : catalogue.entries()) {
        const DeviceGeometry& g = e.geometry;
        std::printf("%-4s  %-12s  %9d  %10d  %10d  %10d\n", e.code.text().c_str(),
                    e.partName.c_str(), g.flashKiB, g.pageBytes, g.pageCount, g.eraseMode);
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

const CommandRegistration kDevicesCommand{
    {"devices", "devices                                        list the known devices",
     runDevices}};

}  // namespace
}  // namespace pellion::cli
