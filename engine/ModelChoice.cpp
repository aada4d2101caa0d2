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

std::string ModelRefusalText(const std::string& port, const std::string& partName,
                             OperatorLanguage language) {
    return Text(TextId::ModelRefused, {{"port", port}, {"part", partName}}, language);
}

}  // namespace pellion
