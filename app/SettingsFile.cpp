#include "app/SettingsFile.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/IniFile.h"

namespace pellion {

namespace {

constexpr const char* kWaitTimeKey = "DownloadWaitTime";
constexpr const char* kPathKey = "DownloadPath";
constexpr const char* kVerifyKey = "VerifyAfterDownload";

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

std::string readLimited(const std::string& path, const char* key) {
    return limitedText(IniFile::readValue(path, kSettingsSection, key).value_or(""),
                       kSettingsValueLimit);
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

std::string settingsFilePath() {
    return settingsFilePathFor(moduleDirectory());
}

std::string settingsFilePathFor(const std::string& directory) {
    if (!directory.empty() && ::access(directory.c_str(), W_OK) == 0) {
        return directory + "/" + kSettingsFileName;
    }
    return userConfigDirectory() + "/" + kSettingsFileName;
}

SavedSettings readSettings(const std::string& path) {
    SavedSettings settings;
    settings.downloadWaitTime = readLimited(path, kWaitTimeKey);
    settings.downloadPath = readLimited(path, kPathKey);
    settings.verifyAfterDownload = readLimited(path, kVerifyKey) == "1";
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
    return written;
}

}  // namespace pellion
