#include "cli/LiveTable.h"

#include <cstdio>
#include <ostream>

#include "cli/RowState.h"

namespace pellion::cli {

std::string ProgressText(std::int32_t position, std::int32_t maximum) {
    if (maximum <= 0)
        return "";
    double percent = position >= maximum ? 100.0 : 100.0 * double(position) / double(maximum);
    if (percent < 0)
        percent = 0;
    char text[16];
    std::snprintf(text, sizeof text, "%.2f%%", percent);
    return text;
}

namespace {

// The columns before the remark, each padded to its width and a blank.
std::string line(const std::string& port, const std::string& state, const std::string& init,
                 const std::string& model, const std::string& done) {
    return PaddedToColumns(port, 24) + " " + PaddedToColumns(state, 12) + " " +
           PaddedToColumns(init, 4) + " " + PaddedToColumns(model, 14) + " " +
           PaddedToColumns(done, 8) + " ";
}

}  // namespace

void LiveTable::remarkChanged(const TableRow& row) {
    if (live_ || row.remark.empty())
        return;
    out_ << row.port << ": " << row.remark << "\n" << std::flush;
}

void LiveTable::redraw(const std::vector<TableRow>& rows) {
    if (!live_)
        return;
    if (drawnLines_ > 0)
        out_ << "\x1b[" << drawnLines_ << "A";
    out_ << "\r\x1b[2K" << line("PORT", "STATE", "INIT", "MODEL", "DONE") << "REMARK\n";
    for (const auto& row : rows) {
        out_ << "\r\x1b[2K"
             << line(row.port, row.state, row.init, row.model,
                     ProgressText(row.progressPosition, row.progressMaximum))
             << row.remark << "\n";
    }
    out_ << std::flush;
    drawnLines_ = rows.size() + 1;
}

}  // namespace pellion::cli
