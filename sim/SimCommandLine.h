#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/ChipOptions.h"

namespace pellion::sim {

// What pellion-sim was asked to do.
struct SimSettings {
    int chips = 1;
    ChipOptions chip;  // every chip's options; timing on unless --no-timing
    // Chips that get the fault options and the start state (protection, --flash); empty: all.
    std::vector<int> faultChips;
    std::string flashFile;  // initial flash content of every chip
    std::string linkDir;
    std::string linkPrefix = "chip";  // links are named prefix0, prefix1, ...
    std::string dumpDir;
    std::string controlPath;  // the control endpoint's socket; empty: none
    bool loopPerChip = false;
};

struct SimCommandLine {
    SimSettings settings;
    bool help = false;
    std::string error;  // empty when the command line was understood
};

SimCommandLine parseSimCommandLine(const std::vector<std::string>& arguments);
std::string simHelpText();

// The options of chip `index`: its own serial number and fault seed, and faults and a start state
// only when it is one of the fault chips.
ChipOptions optionsForChip(const SimSettings& settings, int index);

// "0,1,4-7" -> {0, 1, 4, 5, 6, 7}; false on anything else.
bool parseIndexList(const std::string& text, std::vector<int>& out);

}  // namespace pellion::sim
