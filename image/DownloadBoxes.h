#pragma once

#include <optional>
#include <string>

#include "engine/OperatorText.h"

namespace pellion {

// What the window's download controls become when the operator picks a file: the file box,
// the address box and the enabled state of the address box with its three radio buttons.
// An absent value leaves that control as it is.
struct DownloadBoxes {
    std::string filePath;
    std::optional<std::string> addressText;
    std::optional<bool> addressControlsEnabled;
    OperatorText problem;  // why a HEX file's start address could not be shown; may be empty
};

// A file chosen in the browse dialog or dropped on the file box (both act alike). A HEX file
// puts its start address into the address box and disables the address controls, since the
// file's own addresses are used; if that address cannot be read the address box is emptied
// and `problem` says why. Any other file enables the address controls and keeps the address.
DownloadBoxes boxesForChosenFile(const std::string& path);

}  // namespace pellion
