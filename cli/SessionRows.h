#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/LiveTable.h"
#include "engine/RowTexts.h"

namespace pellion::cli {

// The session's rows as the command line shows them and reports them, made from the engine's
// events: one row per port, in the port order. The state word is the caller's.
class SessionRows : public RowTexts {
  public:
    SessionRows(const std::vector<std::string>& ports, OperatorLanguage language);

    const TableRow& row(std::int32_t slot) const { return rows_.at(std::size_t(slot)); }
    std::int32_t rowCount() const { return std::int32_t(rows_.size()); }

    // Called after a row's remark changed (plain output prints it).
    std::function<void(const TableRow&)> onRemark;

    void OnProgress(const Progress& event) override;

  protected:
    void setText(std::int32_t slot, std::int32_t column, const std::string& text) override;

  private:
    std::vector<TableRow> rows_;
};

}  // namespace pellion::cli
