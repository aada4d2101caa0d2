#include "cli/LiveTable.h"

#include <cstdio>
#include <ostream>

#include "cli/RowState.h"
#include "engine/TextTable.h"

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

// The columns before the remark, each padded to its width and a blank; "初始化" needs two
// columns more than "INIT".
std::string line(OperatorLanguage language, const std::string& port, const std::string& state,
                 const std::string& init, const std::string& model, const std::string& done) {
    const std::size_t initWidth = language == OperatorLanguage::Chinese ? 6 : 4;
    return PaddedToColumns(port, 24) + " " + PaddedToColumns(state, 12) + " " +
           PaddedToColumns(init, initWidth) + " " + PaddedToColumns(model, 14) + " " +
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
    const auto head = [this](TextId id) { return Text(id, {}, language_); };
    out_ << "\r\x1b[2K"
         << line(language_, head(TextId::CliHeadPort), head(TextId::CliHeadState),
                 head(TextId::CliHeadInit), head(TextId::CliHeadModel), head(TextId::CliHeadDone))
         << head(TextId::CliHeadRemark) << "\n";
    for (const auto& row : rows) {
        out_ << "\r\x1b[2K"
             << line(language_, row.port, row.state, row.init, row.model,
                     ProgressText(row.progressPosition, row.progressMaximum))
             << row.remark << "\n";
    }
    out_ << std::flush;
    drawnLines_ = rows.size() + 1;
}

}  // namespace pellion::cli
