#include "app/SettingsFile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/IniFile.h"

namespace pellion {

namespace {

constexpr const char* kWaitTimeKey = "DownloadWaitTime";
constexpr const char* kPathKey = "DownloadPath";
constexpr const char* kVerifyKey = "VerifyAfterDownload";
constexpr const char* kWidthKey = "WindowWidth";
constexpr const char* kHeightKey = "WindowHeight";
constexpr const char* kColumnsKey = "ColumnWidths";
constexpr const char* kStationLabelsKey = "StationLabels";
constexpr const char* kLanguageKey = "Language";
constexpr const char* kBlockSizeKey = "WriteBlockSize";
constexpr const char* kSkipBlankKey = "SkipBlankBlocks";
constexpr const char* kContinuousKey = "ContinuousProgramming";
constexpr const char* kStationSoundKey = "StationSound";
constexpr const char* kBootEntryKey = "BootEntry";
constexpr const char* kBootExitKey = "BootExit";
// Every label of a large station fits; a damaged, endless line is still cut.
constexpr std::size_t kStationLabelsValueLimit = 65535;
// Beyond any screen: a damaged value must not make a window nobody can handle.
constexpr int kLargestDimension = 20000;

// Cuts a UTF-8 text after `limit` characters, never inside a character.
std::string limitedText(const std::string& text, std::size_t limit) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter && ++characters > limit)
            return text.substr(0, i);
    }
    return text;
}

std::string readLimited(const std::string& path, const char* key,
                        std::size_t limit = kSettingsValueLimit) {
    return limitedText(IniFile::readValue(path, kSettingsSection, key).value_or(""), limit);
}

// A saved size in pixels, or 0 when the text is not one.
int dimensionOf(const std::string& text) {
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > kLargestDimension)
            return 0;
        value = value * 10 + (c - '0');
    }
    return value <= kLargestDimension ? value : 0;
}

// "40,52,70": every width must be a size, or none is taken.
std::vector<int> widthsOf(const std::string& text) {
    std::vector<int> widths;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const int width = dimensionOf(text.substr(start, comma - start));
        if (width == 0)
            return {};
        widths.push_back(width);
        start = comma + 1;
    }
    return widths;
}

std::string widthsText(const std::vector<int>& widths) {
    std::string text;
    for (const int width : widths)
        text += (text.empty() ? "" : ",") + std::to_string(width);
    return text;
}

std::string userConfigDirectory() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return std::string(xdg) + "/Pellion";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::string(home) + "/.config/Pellion";
    }
    return std::filesystem::temp_directory_path().string() + "/Pellion";
}

}  // namespace

std::string moduleDirectory() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return executable.parent_path().string();
}

bool isInstalledProgramDirectory(const std::string& directory) {
    const std::filesystem::path bin(directory);
    std::error_code error;
    return !directory.empty() && bin.filename() == "bin" &&
           std::filesystem::is_directory(bin.parent_path() / "share" / "pellion", error);
}

SettingsLocation settingsLocation() {
    const std::string directory = moduleDirectory();
    return settingsLocationFor(directory, ::access(directory.c_str(), W_OK) == 0,
                               isInstalledProgramDirectory(directory));
}

SettingsLocation settingsLocationFor(const std::string& directory, bool directoryWritable,
                                     bool installed) {
    const std::string user = userConfigDirectory() + "/" + kSettingsFileName;
    std::error_code error;
    if (installed || directory.empty() || std::filesystem::exists(user, error))
        return {user, user};
    const std::string beside = directory + "/" + kSettingsFileName;
    return {beside, directoryWritable ? beside : user};
}

SavedSettings readSettings(const std::string& path) {
    SavedSettings settings;
    settings.downloadWaitTime = readLimited(path, kWaitTimeKey);
    settings.downloadPath = readLimited(path, kPathKey);
    settings.verifyAfterDownload = readLimited(path, kVerifyKey) != "0";
    settings.windowWidth = dimensionOf(readLimited(path, kWidthKey));
    settings.windowHeight = dimensionOf(readLimited(path, kHeightKey));
    settings.columnWidths = widthsOf(readLimited(path, kColumnsKey));
    settings.stationLabels =
        parseStationLabels(readLimited(path, kStationLabelsKey, kStationLabelsValueLimit));
    settings.language = readLimited(path, kLanguageKey);
    if (const std::string size = readLimited(path, kBlockSizeKey); !size.empty()) {
        const int bytes = dimensionOf(size);
        if (IsValidWriteBlockSize(bytes))
            settings.writePlan.blockBytes = bytes;
        else
            settings.badBlockSize = size;
    }
    settings.writePlan.skipBlankBlocks = readLimited(path, kSkipBlankKey) != "0";
    settings.continuousProgramming = readLimited(path, kContinuousKey) == "1";
    settings.stationSound = readLimited(path, kStationSoundKey) != "0";
    settings.bootEntry = readLimited(path, kBootEntryKey);
    settings.bootExit = readLimited(path, kBootExitKey);
    return settings;
}

bool writeSettings(const std::string& path, const SavedSettings& settings) {
    std::error_code error;
    const auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, error);

    bool written =
        IniFile::writeValue(path, kSettingsSection, kWaitTimeKey, settings.downloadWaitTime);
    written =
        IniFile::writeValue(path, kSettingsSection, kPathKey, settings.downloadPath) && written;
    written = IniFile::writeValue(path, kSettingsSection, kVerifyKey,
                                  settings.verifyAfterDownload ? "1" : "0") &&
              written;
    // Written once production mode was used, so that a settings file stays as it was before.
    if (settings.continuousProgramming ||
        IniFile::readValue(path, kSettingsSection, kContinuousKey)) {
        written = IniFile::writeValue(path, kSettingsSection, kContinuousKey,
                                      settings.continuousProgramming ? "1" : "0") &&
                  written;
    }
    if (settings.windowWidth > 0 && settings.windowHeight > 0) {
        written = IniFile::writeValue(path, kSettingsSection, kWidthKey,
                                      std::to_string(settings.windowWidth)) &&
                  written;
        written = IniFile::writeValue(path, kSettingsSection, kHeightKey,
                                      std::to_string(settings.windowHeight)) &&
                  written;
    }
    if (!settings.columnWidths.empty()) {
        written = IniFile::writeValue(path, kSettingsSection, kColumnsKey,
                                      widthsText(settings.columnWidths)) &&
                  written;
    }
    // Once there, the key is kept up to date: removing the last label empties it.
    if (!settings.stationLabels.empty() ||
        IniFile::readValue(path, kSettingsSection, kStationLabelsKey)) {
        written = IniFile::writeValue(path, kSettingsSection, kStationLabelsKey,
                                      stationLabelsText(settings.stationLabels)) &&
                  written;
    }
    // Written once set, so that a file without them stays as it was.
    for (const auto& [key, value] : {std::pair{kBootEntryKey, &settings.bootEntry},
                                     std::pair{kBootExitKey, &settings.bootExit}}) {
        if (!value->empty() || IniFile::readValue(path, kSettingsSection, key))
            written = IniFile::writeValue(path, kSettingsSection, key, *value) && written;
    }
    // Written once chosen; an empty value follows the locale again.
    if (!settings.language.empty() || IniFile::readValue(path, kSettingsSection, kLanguageKey)) {
        written =
            IniFile::writeValue(path, kSettingsSection, kLanguageKey, settings.language) && written;
    }
    return written;
}

}  // namespace pellion
