#pragma once

#include <cstdint>
#include <vector>

#include "engine/RowTexts.h"
#include "engine/RunHost.h"

namespace pellion {

// A surface's grid as a listener: the rows' texts, progress cells and the start and end of
// each slot's run, written through its RunHost.
class GridPresenter : public RowTexts {
  public:
    explicit GridPresenter(RunHost& host, OperatorLanguage language = OperatorLanguage::Chinese)
        : RowTexts(language), host_(host) {}

    void OnSlotStarted(const SlotStarted& event) override;
    void OnProgress(const Progress& event) override;
    void OnSlotEnded(const SlotEnded& event) override;

  protected:
    void setText(std::int32_t slot, std::int32_t column, const std::string& text) override;

  private:
    std::int32_t& shownTotal(std::int32_t slot);

    RunHost& host_;
    std::vector<std::int32_t> shownTotals_;  // the progress maximum each row shows
};

}  // namespace pellion
