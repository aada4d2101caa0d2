#include "engine/RunHost.h"

#include <cstdlib>

namespace pellion {

namespace {
constexpr std::uint32_t kDefaultBaud = 57600;
}  // namespace

SlotInputs RunHost::SlotInputsOf(std::int32_t slot) const {
    SlotInputs inputs;
    inputs.baud = std::uint32_t(std::strtoul(RowText(slot, ColumnBaud).c_str(), nullptr, 10));
    if (inputs.baud == 0)
        inputs.baud = kDefaultBaud;
    inputs.writePauseMs = WritePauseMs();
    inputs.model = RowText(slot, ColumnModel);
    inputs.verify = IsVerifyChecked();
    inputs.protect = IsReadProtectChecked();
    inputs.write = StationWritePlan();
    inputs.boot = StationBootSequences();
    return inputs;
}

}  // namespace pellion
