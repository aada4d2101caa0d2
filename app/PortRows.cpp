#include "app/PortRows.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <algorithm>

#include "app/Utf8Text.h"
#include "app/WindowTexts.h"
#include "engine/RunHost.h"
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
        {QT_TRANSLATE_NOOP("pellion::PortRows", "序号"), 40, CellKind::CheckBox},
        {QT_TRANSLATE_NOOP("pellion::PortRows", "串口"), 52, CellKind::Text},
        {QT_TRANSLATE_NOOP("pellion::PortRows", "波特率"), 70, CellKind::Combo},
        {QT_TRANSLATE_NOOP("pellion::PortRows", "初始化"), 50, CellKind::Text},
        {QT_TRANSLATE_NOOP("pellion::PortRows", "可读？"), 50, CellKind::Text},
        {QT_TRANSLATE_NOOP("pellion::PortRows", "设备型号"), 120, CellKind::Combo},
        {QT_TRANSLATE_NOOP("pellion::PortRows", "完成状态"), 100, CellKind::Progress},
        {QT_TRANSLATE_NOOP("pellion::PortRows", "备注"), 287, CellKind::Text},
    };
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        const Column& c = kColumns[column];
        list.InsertColumn(column, QCoreApplication::translate("pellion::PortRows", c.heading),
                          c.width, c.kind, ListCtrlEx::ColumnFormat::Center,
                          ListCtrlEx::SortKind::Text, -1);
    }
}

std::vector<PortRow> describePortRows(const std::vector<PortIdentity>& ports,
                                      const DiscoverySources& sources) {
    std::vector<PortRow> rows;
    for (const PortIdentity& port : ports) {
        PortRow row{port, DescribeSerialPort(port.devicePath, sources), {}};
        row.stationKey = row.details.usbPlace.empty() ? port.portName : row.details.usbPlace;
        rows.push_back(std::move(row));
    }
    return rows;
}

void fillPortRows(ListCtrlEx::CListCtrlEx& list, const std::vector<PortRow>& rows,
                  const QStringList& partNames, const StationLabels& labels) {
    list.DeleteAllItems();
    for (int slot = 0; slot < static_cast<int>(rows.size()); ++slot) {
        const auto label = labels.find(rows[slot].stationKey);
        const QString first =
            label != labels.end() ? fromUtf8(label->second) : QString::number(slot + 1);
        const int row = list.InsertItem(list.GetItemCount(), first, slot);
        list.SetItemText(row, ColumnPort, fromUtf8(rows[slot].port.portName));
        list.SetSlotToolTip(slot, ColumnPort, portToolTip(rows[slot]));
        list.SetItemText(row, ColumnInit, QStringLiteral("N"));
        list.SetItemText(row, ColumnBaud, QStringLiteral("57600"));
        list.GetCell(row, ColumnBaud).items = kBaudRates;
        list.GetCell(row, ColumnModel).items = partNames;
        if (const auto label = labels.find(rows[slot].stationKey); label != labels.end())
            list.SetItemText(row, ColumnNumber, fromUtf8(label->second));
    }
    list.options |=
        ListCtrlEx::CListCtrlEx::OptProgressPercent | ListCtrlEx::CListCtrlEx::OptSortOnClick;
    fitPortColumn(list);
    fitStationLabels(list);
}

void fitStationLabels(ListCtrlEx::CListCtrlEx& list) {
    const QFontMetrics metrics(list.font());
    int widest = list.columnWidth(ColumnNumber);
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const QString text = list.GetItemText(row, ColumnNumber);
        if (text == QString::number(list.SlotOfRow(row) + 1))
            continue;
        // The text begins after the check box: a square of the row's height and 6 pixels.
        widest = std::max(widest, list.rowHeight(row) + 6 + metrics.horizontalAdvance(text) +
                                      kTextCellPadding / 2);
    }
    list.setColumnWidth(ColumnNumber, widest);
}

void showStationLabel(ListCtrlEx::CListCtrlEx& list, int slot, const std::string& label) {
    const QString text = label.empty() ? QString::number(slot + 1) : fromUtf8(label);
    list.SetSlotText(slot, ColumnNumber, text);
    fitStationLabels(list);
}

QString portToolTip(const PortRow& row) {
    const SerialPortDetails& details = row.details;
    QStringList lines{windowText(kTextPortDevice).arg(fromUtf8(row.port.devicePath))};
    if (!details.byPath.empty() && details.byPath != row.port.devicePath)
        lines << windowText(kTextPortByPath).arg(fromUtf8(details.byPath));
    if (const std::string adapter = AdapterDescription(details); !adapter.empty())
        lines << windowText(kTextPortAdapter).arg(fromUtf8(adapter));
    if (!details.serialNumber.empty())
        lines << windowText(kTextPortSerialNumber).arg(fromUtf8(details.serialNumber));
    if (!details.usbLocation.empty())
        lines << windowText(kTextPortUsbLocation).arg(fromUtf8(details.usbLocation));
    return lines.join(QLatin1Char('\n'));
}

}  // namespace pellion
