#include "serial/PortDiscovery.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "serial/PlatformPorts.h"

namespace pellion {

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
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
    auto ports = MachinePorts(sources);
    sortByName(ports);
    auto virtualPorts = DirectoryPorts(sources.portDirectory);
    sortByName(virtualPorts);
    ports.insert(ports.end(), virtualPorts.begin(), virtualPorts.end());
    return ports;
}

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    return EnumerateSerialPorts(DiscoverySources::fromEnvironment());
}

}  // namespace pellion
