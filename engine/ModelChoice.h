#pragma once

#include <string>

#include "catalogue/DeviceCatalogue.h"
#include "serial/PortTable.h"

namespace pellion {

// Said (after the port names) when a model chosen by hand would change the flash geometry of a
// chip that named itself by its device code.
inline constexpr const char* kTextModelDiffersFromChip = "芯片已自动识别,所选型号与芯片不符!";

// A model chosen by hand applies only to a chip that did not name itself. For a chip that did,
// a part name of another geometry is refused: its pages would be erased by the wrong size and
// the rest of its image written over old data. True when `model` must be refused for `slot`.
bool IsModelChoiceRefused(const PortSlot& slot, const DeviceCatalogue& catalogue,
                          const std::string& model);

}  // namespace pellion
