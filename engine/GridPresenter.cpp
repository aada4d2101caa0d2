#include "engine/GridPresenter.h"

namespace pellion {

std::int32_t& GridPresenter::shownTotal(std::int32_t slot) {
    if (std::size_t(slot) >= shownTotals_.size())
        shownTotals_.resize(std::size_t(slot) + 1, -1);
    return shownTotals_[std::size_t(slot)];
}

void GridPresenter::setText(std::int32_t slot, std::int32_t column, const std::string& text) {
    host_.SetRowText({slot, column, text});
}

void GridPresenter::OnSlotStarted(const SlotStarted& event) {
    if (event.phase != SlotPhase::Programming)
        return;
    shownTotal(event.slot) = -1;
    host_.OnSlotRunStarted(event.slot);
}

void GridPresenter::OnProgress(const Progress& event) {
    std::int32_t& total = shownTotal(event.slot);
    if (event.total != 0 && total != event.total) {
        total = event.total;
        host_.SetRowProgress({event.slot, ColumnProgress, 0, event.total});
    }
    host_.SetRowProgress({event.slot, ColumnProgress, event.done, 0});
}

void GridPresenter::OnSlotEnded(const SlotEnded& event) {
    RowTexts::OnSlotEnded(event);
    if (event.phase == SlotPhase::Programming)
        host_.OnSlotRunEnded(event.slot, event.result == SlotResult::Succeeded);
}

}  // namespace pellion
