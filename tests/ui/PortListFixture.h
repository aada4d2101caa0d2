#pragma once

// A dialog holding a port list laid out as the operator window declares it, shown and active
// on the offscreen platform, plus helpers to click cells and record the list's signals.

#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <vector>

#include "support/QtApp.h"
#include "ui/CInPlaceCombo.h"
#include "ui/CInPlaceEdit.h"
#include "ui/CListCtrlEx.h"

namespace pellion::test {

using ListCtrlEx::CellCheckInfo;
using ListCtrlEx::CellKind;
using ListCtrlEx::CellPos;
using ListCtrlEx::CListCtrlEx;
using ListCtrlEx::ColumnFormat;
using ListCtrlEx::EndEditInfo;
using ListCtrlEx::SortKind;

inline const QStringList kBaudRates = {"1200",  "2400",  "4800",  "9600",  "14400",
                                       "19200", "38400", "56000", "57600", "115200"};

// Everything the list reported, in order, as (notification number, payload).
struct Notification {
    int number = 0;
    int row = -1;
    int column = -1;
    int checked = -1;
    int slot = -1;
    QString text;
    bool cancelled = false;
};

// Runs the event loop until `done` holds or five seconds have passed; true when it holds.
// (QTest's QTRY/QVERIFY macros only return on failure outside a QTest run, so they are not
// used here.)
template <typename Predicate>
bool WaitUntil(Predicate done) {
    return QTest::qWaitFor(done, 5000);
}

inline Notification Note(int number, int row, int column, int checked, int slot,
                         const QString& text = QString(), bool cancelled = false) {
    Notification n;
    n.number = number;
    n.row = row;
    n.column = column;
    n.checked = checked;
    n.slot = slot;
    n.text = text;
    n.cancelled = cancelled;
    return n;
}

class PortListFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = std::make_unique<QDialog>();
        auto* layout = new QVBoxLayout(dialog.get());
        list = new CListCtrlEx(dialog.get());
        layout->addWidget(list);
        okButton = new QPushButton(QStringLiteral("OK"), dialog.get());
        okButton->setDefault(true);
        okButton->setAutoDefault(true);
        layout->addWidget(okButton);
        QObject::connect(okButton, &QPushButton::clicked, [this] { ++okPresses; });
        Record();
    }

    void TearDown() override { dialog.reset(); }

    // The eight columns of the port list; `numericColumn` (if >= 0) sorts numerically.
    void DeclarePortColumns(int numericColumn = -1) {
        struct Column {
            const char* heading;
            int width;
            CellKind kind;
        };
        const Column columns[] = {
            {"序号", 60, CellKind::CheckBox},      {"串口", 60, CellKind::Text},
            {"波特率", 80, CellKind::Combo},       {"初始化", 60, CellKind::Text},
            {"可读？", 60, CellKind::Text},        {"设备型号", 120, CellKind::Combo},
            {"完成状态", 120, CellKind::Progress}, {"备注", 200, CellKind::Text},
        };
        for (int i = 0; i < 8; ++i) {
            const SortKind sort = i == numericColumn ? SortKind::Numeric : SortKind::Text;
            list->InsertColumn(i, QString::fromUtf8(columns[i].heading), columns[i].width,
                               columns[i].kind, ColumnFormat::Center, sort);
        }
    }

    // One row per name, filled as the operator window fills a fresh list.
    void FillRows(const QStringList& names) {
        list->DeleteAllItems();
        for (int i = 0; i < names.size(); ++i) {
            const int row = list->InsertItem(list->GetItemCount(), QString::number(i + 1));
            list->SetItemText(row, 1, names[i]);
            list->SetItemText(row, 2, QStringLiteral("57600"));
            list->GetCell(row, 2).items = kBaudRates;
            list->SetItemText(row, 3, QStringLiteral("N"));
            list->GetCell(row, 5).items = {"PartA", "PartB", "PartB1", "PartC"};
        }
        list->options |= CListCtrlEx::OptProgressPercent | CListCtrlEx::OptSortOnClick;
    }

    void ShowActive() {
        dialog->resize(900, 400);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }

    QRect Cell(int row, int column) const {
        QRect rect;
        EXPECT_TRUE(list->GetCellRect(row, column, rect)) << row << "," << column;
        return rect;
    }

    // A point `dx` pixels right of the cell's left edge, vertically centred.
    QPoint At(int row, int column, int dx) const {
        const QRect r = Cell(row, column);
        return QPoint(r.left() + dx, r.top() + r.height() / 2);
    }

    QPoint Centre(int row, int column) const { return Cell(row, column).center(); }

    void Click(const QPoint& point, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, point);
    }

    void Record() {
        QObject::connect(list, &CListCtrlEx::listExClick, [this](CListCtrlEx*, CellPos p) {
            log.push_back(Note(9025, p.row, p.column, -1, p.slot));
        });
        QObject::connect(list, &CListCtrlEx::listExDblClk, [this](CListCtrlEx*, CellPos p) {
            log.push_back(Note(9026, p.row, p.column, -1, p.slot));
        });
        QObject::connect(list, &CListCtrlEx::listExRClick, [this](CListCtrlEx*, CellPos p) {
            log.push_back(Note(9027, p.row, p.column, -1, p.slot));
        });
        QObject::connect(list, &CListCtrlEx::listExCheckChanged,
                         [this](CListCtrlEx*, CellCheckInfo i) {
                             log.push_back(Note(9028, i.row, i.column, i.checked, i.slot));
                         });
        QObject::connect(list, &CListCtrlEx::listExCheckClick,
                         [this](CListCtrlEx*, CellCheckInfo i) {
                             log.push_back(Note(9030, i.row, i.column, i.checked, i.slot));
                         });
        QObject::connect(list, &CListCtrlEx::listExEndEdit, [this](CListCtrlEx*, EndEditInfo i) {
            log.push_back(Note(9032, i.row, i.column, -1, i.slot, i.text, i.cancelled));
        });
        QObject::connect(list, &CListCtrlEx::listExBeginEdit, [this](CListCtrlEx*, CellPos p) {
            log.push_back(Note(9033, p.row, p.column, -1, p.slot));
        });
    }

    std::vector<int> Numbers() const {
        std::vector<int> numbers;
        for (const Notification& n : log) {
            numbers.push_back(n.number);
        }
        return numbers;
    }

    std::unique_ptr<QDialog> dialog;
    CListCtrlEx* list = nullptr;
    QPushButton* okButton = nullptr;
    int okPresses = 0;
    std::vector<Notification> log;
};

}  // namespace pellion::test
