#include "serial/PlatformPorts.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace pellion {

namespace fs = std::filesystem;

namespace {

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

}  // namespace

std::vector<SerialPortEntry> MachinePorts(const DiscoverySources& sources) {
    std::vector<SerialPortEntry> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sources.sysClassTty, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string devicePath = (fs::path(sources.devDirectory) / name).string();
        if (isRealSerialPort(entry.path(), name, devicePath)) {
            ports.push_back({name, devicePath, false, {}});
        }
    }
    return ports;
}

std::vector<SerialPortEntry> DirectoryPorts(const std::string& directory) {
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
        ports.push_back({name, entry.path().string(), true, {}});
    }
    return ports;
}

}  // namespace pellion
