#pragma once

#include <map>
#include <string>

namespace pellion {

// The operator's names for ports ("工位3", "socket 3"), keyed by where a port sits: its USB
// place ("1-2.3:1.0-port0") when it is behind USB, so that a label stays with the socket when
// the kernel renumbers the device, otherwise its name ("ttyS0"). A label replaces the row's
// number in the port list.
using StationLabels = std::map<std::string, std::string>;

// Longest label kept, in characters.
inline constexpr std::size_t kStationLabelLimit = 32;

// The settings text: "key=label" entries joined by ';', with '\', ';' and '=' inside keys and
// labels escaped by a '\'. Entries without a key or label are dropped when read.
std::string stationLabelsText(const StationLabels& labels);
StationLabels parseStationLabels(const std::string& text);

}  // namespace pellion
