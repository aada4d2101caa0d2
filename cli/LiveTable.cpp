#include "cli/LiveTable.h"

#include <cstdio>
#include <ostream>

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
    char line[160];
    std::snprintf(line, sizeof line, "%-24s %-12s %-4s %-14s %-8s %s", "PORT", "STATE", "INIT",
                  "MODEL", "DONE", "REMARK");
    out_ << "\r\x1b[2K" << line << "\n";
    for (const auto& row : rows) {
        std::snprintf(line, sizeof line, "%-24s %-12s %-4s %-14s %-8s ", row.port.c_str(),
                      row.state.c_str(), row.init.c_str(), row.model.c_str(),
                      ProgressText(row.progressPosition, row.progressMaximum).c_str());
        out_ << "\r\x1b[2K" << line << row.remark << "\n";
    }
    out_ << std::flush;
    drawnLines_ = rows.size() + 1;
}

}  // namespace pellion::cli
