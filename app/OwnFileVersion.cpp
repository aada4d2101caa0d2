#include "app/OwnFileVersion.h"

#include "Version.h"

namespace pellion {

std::string versionTextOf(const std::string& compiledVersion) {
    return compiledVersion.empty() ? std::string(kNoVersionText) : compiledVersion;
}

std::string ownFileVersion() {
    return versionTextOf(PELLION_FILE_VERSION);
}

std::string windowCaption(const std::string& versionText) {
    return kProgramTitle + versionText;
}

}  // namespace pellion
