#include "engine/ModelChoice.h"

#include "image/FormatText.h"

namespace pellion {

bool IsModelChoiceRefused(const PortSlot& slot, const DeviceCatalogue& catalogue,
                          const std::string& model) {
    if (!slot.run.namedItself || model.empty())
        return false;
    const auto code = catalogue.findCodeByPartName(model);
    const auto geometry = code ? catalogue.findGeometry(*code) : std::nullopt;
    return !geometry || !(*geometry == slot.geometry);
}

std::string ModelRefusalText(const std::string& port, const std::string& partName) {
    return formatText("%s芯片已识别为%s,不能选择其他型号!", port.c_str(), partName.c_str());
}

}  // namespace pellion
