#pragma once

#include <string>
#include <vector>

#include "app/StationLabels.h"
#include "engine/WritePlan.h"

namespace pellion {

// What the window keeps between runs of the program.
struct SavedSettings {
    std::string downloadWaitTime;     // the interval combo's text, milliseconds as typed
    std::string downloadPath;         // the download-file box's text
    bool verifyAfterDownload = true;  // the "下载后校验" check box; checked at first start
    // The window's size and the port list's column widths as the operator left them; 0 and
    // empty until known (the window's own layout then).
    int windowWidth = 0;
    int windowHeight = 0;
    std::vector<int> columnWidths;
    // The operator's names for ports, shown instead of the row numbers.
    StationLabels stationLabels;
    // The "连续烧录" check box (production mode); unchecked at first start.
    bool continuousProgramming = false;
    // Production mode's sound for each finished chip; "0" turns it off. Set by hand.
    bool stationSound = true;
    // The window's language, "zh" or "en"; anything else follows the locale. Chosen in the
    // window's context menu (LanguageSetting.h) or by hand; written once it holds a choice.
    std::string language;
    // Keys only the station's file sets: WriteBlockSize (default 200) and SkipBlankBlocks
    // (0 sends blocks of 0xFF too). A block size that is not one keeps its text here, and the
    // plan its default, so that the run can be refused in words.
    WritePlan writePlan;
    std::string badBlockSize;
    // How DTR and RTS bring chips into their bootloader and start them after programming, as
    // the operator typed them; empty: none and Go.
    std::string bootEntry;
    std::string bootExit;
};

inline constexpr const char* kSettingsFileName = "KTZozOvConfig.ini";
inline constexpr const char* kSettingsSection = "Config";
// Longest value read back, in characters; longer values are cut.
inline constexpr std::size_t kSettingsValueLimit = 1023;

// The directory of the running executable, without a trailing separator.
std::string moduleDirectory();
// Whether the executable in `directory` is an installed one: it sits in PREFIX/bin beside
// PREFIX/share/pellion, the program's installed data (/usr/bin and /usr/share/pellion).
bool isInstalledProgramDirectory(const std::string& directory);
// Where the settings are read from and written to. An installed program keeps them only in
// the user's copy (in the user's configuration directory), from its first start on: its
// directory belongs to the system even where it can be written. Elsewhere the user's copy wins
// once it exists; otherwise the file beside the executable is read, and written while the
// executable's directory is writable; when it is not, the first save creates the user's copy.
struct SettingsLocation {
    std::string readPath;
    std::string writePath;
};
SettingsLocation settingsLocation();
// The same choice for an executable in `directory`, which may be written or not.
SettingsLocation settingsLocationFor(const std::string& directory, bool directoryWritable,
                                     bool installed = false);
// Missing file or keys give empty texts, a ticked verify box and no window geometry.
SavedSettings readSettings(const std::string& path);
// Creates the file (and its directory) when missing. The geometry keys are written once known.
// A value holding a line break is not written (it would start a key line of its own).
// Failures are not reported to the operator; the result says whether every value reached the
// file.
bool writeSettings(const std::string& path, const SavedSettings& settings);

}  // namespace pellion
