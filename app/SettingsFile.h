#pragma once

#include <string>

namespace pellion {

// What the window keeps between runs of the program.
struct SavedSettings {
    std::string downloadWaitTime;      // the interval combo's text, milliseconds as typed
    std::string downloadPath;          // the download-file box's text
    bool verifyAfterDownload = false;  // the "下载后校验" check box
};

inline constexpr const char* kSettingsFileName = "KTZozOvConfig.ini";
inline constexpr const char* kSettingsSection = "Config";
// Longest value read back, in characters; longer values are cut.
inline constexpr std::size_t kSettingsValueLimit = 1023;

// The directory of the running executable, without a trailing separator.
std::string moduleDirectory();
// The settings file beside the executable, or in the user's configuration directory when the
// executable's directory is not writable (an installed program).
std::string settingsFilePath();
// The same choice for an executable in `directory`.
std::string settingsFilePathFor(const std::string& directory);
// Missing file or keys give empty texts and an unticked box.
SavedSettings readSettings(const std::string& path);
// Creates the file (and its directory) when missing. Failures are not reported to the
// operator; the result says whether the values reached the file.
bool writeSettings(const std::string& path, const SavedSettings& settings);

}  // namespace pellion
