// pellion-cli ports [--dir DIR]
// The serial ports the machine reports, as the window lists them, with what tells them apart
// when device names move: the socket's stable path and the adapter.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "serial/CSerialPort.h"
#include "serial/PortDetails.h"
#include "serial/PortDiscovery.h"

namespace pellion::cli {
namespace {

void printPortsHelp(std::ostream& out) {
    out << "usage: pellion-cli ports [--dir DIR]\n\n"
           "Lists the serial ports the machine reports, one line each: the name, the device\n"
           "to pass to 'program --port', and whether another program holds it now.\n"
           "Indented lines follow where the machine knows them: udev's stable paths (by-path\n"
           "stays with the socket an adapter is plugged into, by-id with an adapter that has\n"
           "a serial number; 'program --port' takes either, also without its directory), the\n"
           "adapter's USB ids, maker, product and serial number, and its USB place (bus-port\n"
           "path and interface), which the window's station labels follow.\n"
           "On Windows the first indented line is the name the system gives the device.\n"
           "Entries of DIR (or of $"
        << kPortDirVariable
        << ") follow, such as the chip links\n"
           "'pellion-sim --link-dir DIR' makes.\n\n"
           "  --dir DIR   also list the entries of DIR\n"
           "  --help      this text\n";
}

void printDetail(const char* label, const std::string& value) {
    if (!value.empty())
        std::cout << std::string(17, ' ') << label << value << "\n";
}

void printDetails(const SerialPortEntry& port, const DiscoverySources& sources) {
    const SerialPortDetails details = DescribeSerialPort(port.devicePath, sources);
    printDetail("name:    ", port.description);
    printDetail("by-path: ", details.byPath);
    printDetail("by-id:   ", details.byId);
    std::string adapter = AdapterDescription(details);
    if (!adapter.empty()) {
        adapter += details.serialNumber.empty() ? ", no serial number"
                                                : ", serial " + details.serialNumber;
    }
    printDetail("adapter: ", adapter);
    printDetail("usb:     ", details.usbPlace);
}

int runPorts(const std::vector<std::string>& args) {
    DiscoverySources sources = DiscoverySources::fromEnvironment();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            printPortsHelp(std::cout);
            return kExitOk;
        }
        if (args[i] == "--dir" && i + 1 < args.size()) {
            sources.portDirectory = args[++i];
            continue;
        }
        std::cerr << "pellion-cli ports: unknown or incomplete option '" << args[i] << "'\n\n";
        printPortsHelp(std::cerr);
        return kExitUsage;
    }
    const auto ports = EnumerateSerialPorts(sources);
    if (ports.empty()) {
        std::cout << "No serial ports found.\n";
        return kExitOk;
    }
    char line[512];
    std::snprintf(line, sizeof line, "%-16s %-32s %s", "NAME", "DEVICE", "STATE");
    std::cout << line << "\n";
    for (const auto& port : ports) {
        const char* state = CSerialPort::IsPortBusy(port.devicePath) ? "busy" : "free";
        std::snprintf(line, sizeof line, "%-16s %-32s %s%s", port.displayName.c_str(),
                      port.devicePath.c_str(), state, port.isVirtual ? " (virtual)" : "");
        std::cout << line << "\n";
        if (!port.isVirtual)
            printDetails(port, sources);
    }
    return kExitOk;
}

const CommandRegistration registration{
    {"ports", "ports [--dir DIR]                              list the serial ports", runPorts}};

}  // namespace
}  // namespace pellion::cli
