#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellion {

// Names a directory whose entries are listed as ports after the machine's own: each entry
// (typically a symbolic link to a pseudo-terminal, as `pellion-sim --link-dir DIR` makes them,
// chip0, chip1, ...) becomes a port named after the entry and opened through its path.
inline constexpr const char* kPortDirVariable = "PELLION_PORT_DIR";

struct SerialPortEntry {
    std::string displayName;  // "ttyUSB0", or the entry's name in the port directory
    std::string devicePath;   // "/dev/ttyUSB0", or the entry's path
    bool isVirtual = false;   // listed from the port directory
    std::string description;  // the system's name for the device, where it gives one (Windows)
};

// Where the ports are looked for; the defaults are the running machine's.
struct DiscoverySources {
    std::string sysClassTty = "/sys/class/tty";
    std::string devDirectory = "/dev";  // with udev's links in serial/by-path and serial/by-id
    std::string portDirectory;          // empty: no virtual ports

    // The defaults, with portDirectory taken from PELLION_PORT_DIR.
    static DiscoverySources fromEnvironment();
};

// The serial ports the machine reports: terminals backed by a device (USB adapters ttyUSB*,
// modems ttyACM*, on-board UARTs ttyS* and the like), without the placeholder UARTs the
// kernel registers for hardware that is not there; in natural order of their names (ttyS2
// before ttyS10). Then the entries of the port directory, in the same order. Dangling links
// and entries that are not devices are left out.
std::vector<SerialPortEntry> EnumerateSerialPorts(const DiscoverySources& sources);
std::vector<SerialPortEntry> EnumerateSerialPorts();

// Orders names with digit runs compared as numbers: "ttyUSB2" < "ttyUSB10" < "ttyUSB10a".
bool naturalLess(std::string_view a, std::string_view b);

}  // namespace pellion
