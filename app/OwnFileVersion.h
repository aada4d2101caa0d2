#pragma once

#include <string>

namespace pellion {

inline constexpr const char* kNoVersionText = "None VerSion Supprot";
inline constexpr const char* kProgramTitle = "Tessaline ";

// The version compiled into this build, or kNoVersionText when the build carries none.
std::string ownFileVersion();
// The version text for a compiled-in version string (empty: none).
std::string versionTextOf(const std::string& compiledVersion);
// The window caption: the title, one blank, then the version text.
std::string windowCaption(const std::string& versionText);

}  // namespace pellion
