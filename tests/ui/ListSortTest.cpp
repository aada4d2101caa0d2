// Header clicks sort the port list; every row keeps its records, its data and its slot.

#include <QHeaderView>

#include "PortListFixture.h"

namespace pellion::test {
namespace {

class ListSort : public PortListFixture {
  protected:
    void SetUp() override {
        PortListFixture::SetUp();
        DeclarePortColumns(/*numericColumn=*/4);
        FillRows({"COM7", "COM3", "COM12", "COM9"});
        const QStringList numbers = {"9", "10", "-5", "2.9"};
        for (int row = 0; row < 4; ++row) {
            list->SetItemText(row, 4, numbers[row]);
            list->SetItemText(row, 7, QString("remark of slot %1").arg(row));
            list->SetItemData(row, 100 + row);
            list->SetProgressMax(row, 6, 10);
            list->SetProgressPos(row, 6, row + 1);
            list->GetCell(row, 2).items = {QString("choice of slot %1").arg(row)};
        }
        list->SetCheck(1, 0, true);  // COM3
        ShowActive();
    }

    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < list->GetItemCount(); ++row) {
            texts << list->GetItemText(row, column);
        }
        return texts;
    }

    // Every row still shows the texts, data and records of the slot it carries.
    void ExpectRowsCarryTheirSlots() {
        const QStringList names = {"COM7", "COM3", "COM12", "COM9"};
        for (int row = 0; row < list->GetItemCount(); ++row) {
            const int slot = list->SlotOfRow(row);
            ASSERT_GE(slot, 0);
            SCOPED_TRACE(QString("row %1 slot %2").arg(row).arg(slot).toStdString());
            EXPECT_EQ(list->RowOfSlot(slot), row);
            EXPECT_EQ(list->GetItemText(row, 0), QString::number(slot + 1));
            EXPECT_EQ(list->GetItemText(row, 1), names[slot]);
            EXPECT_EQ(list->GetItemText(row, 7), QString("remark of slot %1").arg(slot));
            EXPECT_EQ(list->GetItemData(row), 100 + slot);
            EXPECT_EQ(list->GetCell(row, 6).progressPos, uint32_t(slot + 1));
            EXPECT_EQ(list->GetCell(row, 0).checked, slot == 1);
            EXPECT_EQ(list->GetCell(row, 2).items,
                      QStringList{QString("choice of slot %1").arg(slot)});
        }
    }

    void ClickHeader(int column) {
        const int x = list->horizontalHeader()->sectionViewportPosition(column) + 5;
        QTest::mouseClick(list->horizontalHeader()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(x, list->horizontalHeader()->height() / 2));
    }
};

TEST_F(ListSort, TextColumnSortsDescendingFirstThenAscending) {
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"COM9", "COM7", "COM3", "COM12"}));
    EXPECT_FALSE(list->GetSortInfo(1).ascending);
    ExpectRowsCarryTheirSlots();

    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"COM12", "COM3", "COM7", "COM9"}));
    ExpectRowsCarryTheirSlots();
}

TEST_F(ListSort, NumericColumnComparesIntegerValues) {
    ClickHeader(4);
    EXPECT_EQ(Column(4), (QStringList{"10", "9", "2.9", "-5"}));
    ClickHeader(4);
    EXPECT_EQ(Column(4), (QStringList{"-5", "2.9", "9", "10"}));
    ExpectRowsCarryTheirSlots();
}

TEST_F(ListSort, EveryColumnKeepsItsOwnDirection) {
    ClickHeader(1);  // column 1 descending
    ClickHeader(4);  // column 4 descending: its first click
    EXPECT_EQ(Column(4), (QStringList{"10", "9", "2.9", "-5"}));
    ClickHeader(1);  // column 1 now ascending
    EXPECT_EQ(Column(1), (QStringList{"COM12", "COM3", "COM7", "COM9"}));
    EXPECT_TRUE(list->GetSortInfo(1).ascending);
    EXPECT_FALSE(list->GetSortInfo(4).ascending);
    ExpectRowsCarryTheirSlots();
}

TEST_F(ListSort, WithoutTheOptionAHeaderClickChangesNothingNotEvenTheDirection) {
    list->options &= ~CListCtrlEx::OptSortOnClick;
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"COM7", "COM3", "COM12", "COM9"}));
    EXPECT_TRUE(list->GetSortInfo(1).ascending);
    list->options |= CListCtrlEx::OptSortOnClick;
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"COM9", "COM7", "COM3", "COM12"}));
}

TEST_F(ListSort, SlotAddressedUpdatesAndClicksFollowTheRowAfterASort) {
    ClickHeader(1);  // COM9, COM7, COM3, COM12: slot 2 (COM12) is now the last row
    ASSERT_EQ(list->RowOfSlot(2), 3);
    list->SetSlotProgressPos(2, 6, 7);
    list->SetSlotText(2, 7, QString::fromUtf8("下载完成后成功跳转"));
    EXPECT_EQ(list->GetItemText(3, 7), QString::fromUtf8("下载完成后成功跳转"));
    EXPECT_EQ(list->GetCell(3, 6).progressPos, 7u);
    EXPECT_EQ(list->GetItemText(3, 1), "COM12");
    EXPECT_EQ(list->GetCell(list->RowOfSlot(0), 6).progressPos, 1u);  // others untouched

    // A tick on the row of COM12 names slot 2, whatever its position.
    log.clear();
    Click(At(3, 0, 9));
    ASSERT_EQ(Numbers(), (std::vector<int>{9028, 9030, 9025}));
    EXPECT_EQ(log[1].row, 3);
    EXPECT_EQ(log[1].slot, 2);
    ASSERT_NE(list->GetSlotCell(2, 0), nullptr);
    EXPECT_TRUE(list->GetSlotCell(2, 0)->checked);
}

TEST_F(ListSort, TheSelectedRowStaysSelectedWhereverItMoves) {
    Click(Centre(2, 7));  // COM12
    ASSERT_EQ(list->currentRow(), 2);
    ClickHeader(1);
    EXPECT_EQ(list->currentRow(), 3);
    EXPECT_TRUE(list->selectionModel()->isRowSelected(3, QModelIndex()));
    EXPECT_FALSE(list->selectionModel()->isRowSelected(2, QModelIndex()));
}

TEST_F(ListSort, RecordsNeverTouchedBeforeASortAreCreatedForTheirRowAfterIt) {
    list->DeleteAllItems();
    for (const char* name : {"b", "a"}) {
        list->InsertItem(list->GetItemCount(), name);
    }
    list->OnColumnClick(0);  // descending: b, a; no record existed
    list->OnColumnClick(0);  // ascending: a, b
    EXPECT_EQ(Column(0), (QStringList{"a", "b"}));
    EXPECT_EQ(list->SlotOfRow(0), 1);
    EXPECT_EQ(list->GetCell(0, 3).group, 3);
    EXPECT_EQ(list->GetCell(0, 0).progressMax, 100u);
}

}  // namespace
}  // namespace pellion::test
