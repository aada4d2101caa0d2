#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/OperatorLanguage.h"

namespace pellion::cli {

// One port's row as the command line shows it.
struct TableRow {
    std::string port;
    std::string state;  // RowStateText: "identifying", "ready", "programming", "done"...
    std::string init;   // "Y" once synchronised
    std::string model;
    std::int32_t progressPosition = 0;
    std::int32_t progressMaximum = 0;
    std::string remark;
};

// "42.50%" as the port list draws a progress cell: full once the position reaches the maximum;
// empty before a maximum is known.
std::string ProgressText(std::int32_t position, std::int32_t maximum);

// Shows the rows of a session: redrawn in place on a terminal, or as plain lines (one per
// change of a row's remark) when the output is a file or a pipe.
class LiveTable {
  public:
    LiveTable(std::ostream& out, bool live, OperatorLanguage language = OperatorLanguage::Chinese)
        : out_(out), live_(live), language_(language) {}

    bool live() const { return live_; }
    // Plain mode: a row's remark changed.
    void remarkChanged(const TableRow& row);
    // Live mode: draws the rows over the previous drawing.
    void redraw(const std::vector<TableRow>& rows);

  private:
    std::ostream& out_;
    bool live_;
    OperatorLanguage language_;
    std::size_t drawnLines_ = 0;
};

}  // namespace pellion::cli
