#pragma once

#include <string>

#include "catalogue/DeviceCatalogue.h"
#include "engine/OperatorText.h"
#include "serial/PortTable.h"

namespace pellion {

// A model chosen by hand applies only to a chip that did not name itself. For a chip that did,
// a part name of another geometry is refused: its pages would be erased by the wrong size and
// the rest of its image written over old data. True when `model` must be refused for `slot`.
bool IsModelChoiceRefused(const PortSlot& slot, const DeviceCatalogue& catalogue,
                          const std::string& model);

// What the operator is told then, in the window's words: "COM3芯片已识别为KTM1C8A-0064,不能选择
// 其他型号!".
OperatorText ModelRefusal(const std::string& port, const std::string& partName);

}  // namespace pellion
