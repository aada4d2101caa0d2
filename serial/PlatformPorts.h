#pragma once

#include <string>
#include <vector>

#include "serial/PortDiscovery.h"

namespace pellion {

// What each platform lists, unsorted (serial/posix/, serial/win32/).
// The serial ports the machine itself reports.
std::vector<SerialPortEntry> MachinePorts(const DiscoverySources& sources);
// The ports a directory of links names (virtual chips); none where links to devices mean nothing.
std::vector<SerialPortEntry> DirectoryPorts(const std::string& directory);

}  // namespace pellion
