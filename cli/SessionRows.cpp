#include "cli/SessionRows.h"

#include "engine/RunHost.h"

namespace pellion::cli {

SessionRows::SessionRows(const std::vector<std::string>& ports, OperatorLanguage language)
    : RowTexts(language) {
    for (const auto& port : ports) {
        TableRow row;
        row.port = port;
        row.init = Text(TextId::NotSynchronised, {}, language);
        rows_.push_back(std::move(row));
    }
}

void SessionRows::OnProgress(const Progress& event) {
    if (event.slot < 0 || event.slot >= rowCount())
        return;
    TableRow& row = rows_[std::size_t(event.slot)];
    row.progressPosition = event.done;
    if (event.total != 0)
        row.progressMaximum = event.total;
}

void SessionRows::setText(std::int32_t slot, std::int32_t column, const std::string& text) {
    if (slot < 0 || slot >= rowCount())
        return;
    TableRow& row = rows_[std::size_t(slot)];
    switch (column) {
        case ColumnInit:
            row.init = text;
            break;
        case ColumnModel:
            row.model = text;
            break;
        case ColumnRemark:
            row.remark = text;
            if (onRemark)
                onRemark(row);
            break;
        default:
            break;
    }
}

}  // namespace pellion::cli
