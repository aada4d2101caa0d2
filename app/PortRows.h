#pragma once

#include <QStringList>
#include <string>
#include <vector>

#include "app/StationLabels.h"
#include "serial/PortDetails.h"
#include "serial/PortTable.h"

namespace ListCtrlEx {
class CListCtrlEx;
}

namespace pellion {

// The eight columns of the port list, with their headings, widths and cell kinds.
void setupPortColumns(ListCtrlEx::CListCtrlEx& list);

// A port with what the machine tells about it and the key its station label is kept under:
// its USB place when it has one, otherwise its name.
struct PortRow {
    PortIdentity port;
    SerialPortDetails details;
    std::string stationKey;
};
std::vector<PortRow> describePortRows(const std::vector<PortIdentity>& ports,
                                      const DiscoverySources& sources);

// Empties the list, then adds one unticked row per port in order (slot i is row i): its
// station label or number, port name with a tooltip describing it, "N", baud rate 57600 with
// its choices and the part names to choose from. The number and port columns are widened to
// show every label and the longest name whole.
void fillPortRows(ListCtrlEx::CListCtrlEx& list, const std::vector<PortRow>& rows,
                  const QStringList& partNames, const StationLabels& labels);

// The first column of a slot's row: its station label, or its number without one.
void showStationLabel(ListCtrlEx::CListCtrlEx& list, int slot, const std::string& label);
// Widens the first column to show every station label whole; numbers keep its width.
void fitStationLabels(ListCtrlEx::CListCtrlEx& list);

// The port cell's tooltip: the device path and, for a USB adapter, its stable by-path link,
// the adapter, its serial number and where it is plugged in.
QString portToolTip(const PortRow& row);

}  // namespace pellion
