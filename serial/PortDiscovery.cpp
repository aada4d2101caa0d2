#include "serial/PortDiscovery.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace pellion {

namespace fs = std::filesystem;

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The serial core publishes the port type of each UART it registered; 0 is PORT_UNKNOWN,
// a placeholder for a UART that was probed and not found.
std::optional<long> sysfsPortType(const fs::path& ttyEntry) {
    std::ifstream in(ttyEntry / "type");
    long type = 0;
    if (in >> type)
        return type;
    return std::nullopt;
}

// Older kernels lack the sysfs attribute: ask the driver instead. A port that cannot be
// opened because someone holds it is real; one that cannot be opened otherwise is not.
bool uartReportsHardware(const std::string& devicePath) {
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY || errno == EACCES;
    serial_struct info{};
    const bool known = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
}

bool isRealSerialPort(const fs::path& ttyEntry, const std::string& name,
                      const std::string& devicePath) {
    std::error_code ec;
    if (!fs::exists(ttyEntry / "device", ec))
        return false;  // virtual consoles, ptys, ...
    if (!fs::exists(devicePath, ec))
        return false;
    if (const auto type = sysfsPortType(ttyEntry))
        return *type != PORT_UNKNOWN;
    if (name.rfind("ttyS", 0) == 0)
        return uartReportsHardware(devicePath);
    return true;
}

std::vector<SerialPortEntry> machinePorts(const DiscoverySources& sources) {
    std::vector<SerialPortEntry> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sources.sysClassTty, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string devicePath = (fs::path(sources.devDirectory) / name).string();
        if (isRealSerialPort(entry.path(), name, devicePath)) {
            ports.push_back({name, devicePath, false});
        }
    }
    return ports;
}

std::vector<SerialPortEntry> directoryPorts(const std::string& directory) {
    std::vector<SerialPortEntry> ports;
    if (directory.empty())
        return ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.')
            continue;
        struct stat target {};
        if (::stat(entry.path().c_str(), &target) != 0)
            continue;  // dangling link
        if (!S_ISCHR(target.st_mode))
            continue;
        ports.push_back({name, entry.path().string(), true});
    }
    return ports;
}

void sortByName(std::vector<SerialPortEntry>& ports) {
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
        return naturalLess(a.displayName, b.displayName);
    });
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Compare the numbers without converting them: skip leading zeros, then the
            // longer run is larger, then digit by digit.
            std::size_t startA = i;
            std::size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0')
                ++startA;
            while (startB + 1 < endB && b[startB] == '0')
                ++startB;
            const auto numberA = a.substr(startA, endA - startA);
            const auto numberB = b.substr(startB, endB - startB);
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
            if (endA - i != endB - j)
                return endA - i < endB - j;  // "01" after "1"
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

DiscoverySources DiscoverySources::fromEnvironment() {
    DiscoverySources sources;
    if (const char* dir = std::getenv(kPortDirVariable))
        sources.portDirectory = dir;
    return sources;
}

std::vector<SerialPortEntry> EnumerateSerialPorts(const DiscoverySources& sources) {
    auto ports = machinePorts(sources);
    sortByName(ports);
    auto virtualPorts = directoryPorts(sources.portDirectory);
    sortByName(virtualPorts);
    ports.insert(ports.end(), virtualPorts.begin(), virtualPorts.end());
    return ports;
}

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    return EnumerateSerialPorts(DiscoverySources::fromEnvironment());
}

}  // namespace pellion
