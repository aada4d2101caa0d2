#include "app/PortRows.h"

#include <QFontMetrics>
#include <algorithm>

#include "app/Utf8Text.h"
#include "app/WindowTexts.h"
#include "engine/RunHost.h"
#include "serial/PortDetails.h"
#include "ui/CListCtrlEx.h"

namespace pellion {

namespace {

const QStringList kBaudRates = {"1200",  "2400",  "4800",  "9600",  "14400",
                                "19200", "38400", "56000", "57600", "115200"};

// The text of a row-coloured cell is inset 6 pixels on each side; one more for the grid line.
constexpr int kTextCellPadding = 13;

void fitPortColumn(ListCtrlEx::CListCtrlEx& list) {
    const QFontMetrics metrics(list.font());
    int widest = list.columnWidth(ColumnPort);
    for (int row = 0; row < list.GetItemCount(); ++row) {
        widest = std::max(widest, metrics.horizontalAdvance(list.GetItemText(row, ColumnPort)) +
                                      kTextCellPadding);
    }
    list.setColumnWidth(ColumnPort, widest);
}

}  // namespace

void setupPortColumns(ListCtrlEx::CListCtrlEx& list) {
    using ListCtrlEx::CellKind;
    struct Column {
        const char* heading;
        int width;
        CellKind kind;
    };
    static const Column kColumns[] = {
        {"序号", 40, CellKind::CheckBox},      {"串口", 52, CellKind::Text},
        {"波特率", 70, CellKind::Combo},       {"初始化", 50, CellKind::Text},
        {"可读？", 50, CellKind::Text},        {"设备型号", 120, CellKind::Combo},
        {"完成状态", 100, CellKind::Progress}, {"备注", 287, CellKind::Text},
    };
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        const Column& c = kColumns[column];
        list.InsertColumn(column, QString::fromUtf8(c.heading), c.width, c.kind,
                          ListCtrlEx::ColumnFormat::Center, ListCtrlEx::SortKind::Text, -1);
    }
}

void fillPortRows(ListCtrlEx::CListCtrlEx& list, const std::vector<PortIdentity>& ports,
                  const QStringList& partNames) {
    list.DeleteAllItems();
    for (int slot = 0; slot < static_cast<int>(ports.size()); ++slot) {
        const int row = list.InsertItem(list.GetItemCount(), QString::number(slot + 1), slot);
        list.SetItemText(row, ColumnPort, fromUtf8(ports[slot].portName));
        list.SetSlotToolTip(slot, ColumnPort, portToolTip(ports[slot]));
        list.SetItemText(row, ColumnInit, QStringLiteral("N"));
        list.SetItemText(row, ColumnBaud, QStringLiteral("57600"));
        list.GetCell(row, ColumnBaud).items = kBaudRates;
        list.GetCell(row, ColumnModel).items = partNames;
    }
    list.options |=
        ListCtrlEx::CListCtrlEx::OptProgressPercent | ListCtrlEx::CListCtrlEx::OptSortOnClick;
    fitPortColumn(list);
}

QString portToolTip(const PortIdentity& port) {
    QString tip = kTextPortDevice.arg(fromUtf8(port.devicePath));
    const std::string location = UsbLocationOf(port.devicePath);
    if (!location.empty())
        tip += QLatin1Char('\n') + kTextPortUsbLocation.arg(fromUtf8(location));
    return tip;
}

}  // namespace pellion
