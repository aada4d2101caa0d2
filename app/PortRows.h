#pragma once

#include <QStringList>
#include <vector>

#include "serial/PortTable.h"

namespace ListCtrlEx {
class CListCtrlEx;
}

namespace pellion {

// The eight columns of the port list, with their headings, widths and cell kinds.
void setupPortColumns(ListCtrlEx::CListCtrlEx& list);

// Empties the list, then adds one unticked row per port in order (slot i is row i): number,
// port name with a tooltip naming its device, "N", baud rate 57600 with its choices and the
// part names to choose from. The port column is widened to show the longest name whole.
void fillPortRows(ListCtrlEx::CListCtrlEx& list, const std::vector<PortIdentity>& ports,
                  const QStringList& partNames);

// The port cell's tooltip: the device path and, for a USB adapter, where it is plugged in.
QString portToolTip(const PortIdentity& port);

}  // namespace pellion
