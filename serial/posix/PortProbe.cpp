// The busy test without opening: on Linux every open of a port raises DTR and RTS, which resets
// a board wired for boot entry. What an open would find out is read from the file system and
// /proc instead.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "serial/PortAccess.h"

namespace pellion {

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

// Whether a tty driver serves the character device `rdev`, by /proc/tty/drivers: one driver a
// line, its major number and its minor range third and second from the end ("136 0-1048575").
// Without the list every character device is taken for a terminal; the open tells later.
bool isTerminalDevice(dev_t rdev) {
    std::ifstream in("/proc/tty/drivers");
    if (!in)
        return true;
    const unsigned long wantedMajor = major(rdev);
    const unsigned long wantedMinor = minor(rdev);
    for (std::string line; std::getline(in, line);) {
        const auto w = words(line);
        if (w.size() < 4)
            continue;
        const std::string& range = w[w.size() - 2];
        try {
            if (std::stoul(w[w.size() - 3]) != wantedMajor)
                continue;
            const auto dash = range.find('-');
            const unsigned long first = std::stoul(range.substr(0, dash));
            const unsigned long last =
                dash == std::string::npos ? first : std::stoul(range.substr(dash + 1));
            if (wantedMinor >= first && wantedMinor <= last)
                return true;
        } catch (const std::exception&) {
            continue;
        }
    }
    return false;
}

// Whether any process holds a lock on the node, by /proc/locks, whose lines name the locked
// file as "MAJOR:MINOR:INODE" of its file system in hex, hex and decimal. Every opener of ours
// takes one; so do other programs that open ports exclusively.
bool isLocked(const struct stat& node) {
    std::ifstream in("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    for (std::string line; std::getline(in, line);) {
        for (const auto& word : words(line)) {
            if (word == wanted)
                return true;
        }
    }
    return false;
}

}  // namespace

PortAccess probePortAccess(const std::string& devicePath) {
    struct stat node {};
    if (::stat(devicePath.c_str(), &node) != 0)
        return errno == EACCES ? PortAccess::Denied : PortAccess::Absent;
    // A fifo or a plain file is no line, and neither is a device no tty driver serves.
    if (!S_ISCHR(node.st_mode) || !isTerminalDevice(node.st_rdev))
        return PortAccess::NotATerminal;
    if (::faccessat(AT_FDCWD, devicePath.c_str(), R_OK | W_OK, AT_EACCESS) != 0)
        return errno == ENOENT ? PortAccess::Absent : PortAccess::Denied;
    if (isLocked(node))
        return PortAccess::Busy;
    return PortAccess::Free;
}

}  // namespace pellion
