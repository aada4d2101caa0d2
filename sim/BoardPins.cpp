#include "sim/BoardPins.h"

namespace pellion::sim {

const char* wiringName(Wiring wiring) {
    return wiring == Wiring::DtrReset ? "dtr-reset" : "rts-reset";
}

BoardPins::ResetEdge BoardPins::setLines(std::optional<bool> dtr, std::optional<bool> rts) {
    const bool before = resetHeld();
    if (dtr)
        lines_.dtr = *dtr;
    if (rts)
        lines_.rts = *rts;
    if (before == resetHeld())
        return ResetEdge::None;
    return before ? ResetEdge::Released : ResetEdge::Asserted;
}

bool BoardPins::resetHeld() const {
    return resetLine();
}

bool BoardPins::boot0High() const {
    return bootJumper_ || bootLine();
}

}  // namespace pellion::sim
