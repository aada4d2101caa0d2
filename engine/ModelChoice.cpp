#include "engine/ModelChoice.h"

#include "engine/TextTable.h"

namespace pellion {

bool IsModelChoiceRefused(const PortSlot& slot, const DeviceCatalogue& catalogue,
                          const std::string& model) {
    if (!slot.chip.namedItself || model.empty())
        return false;
    const auto code = catalogue.findCodeByPartName(model);
    const auto geometry = code ? catalogue.findGeometry(*code) : std::nullopt;
    return !geometry || !(*geometry == slot.chip.geometry);
}

OperatorText ModelRefusal(const std::string& port, const std::string& partName) {
    return OperatorText(TextId::ModelRefused).with("port", port).with("part", partName);
}

}  // namespace pellion
