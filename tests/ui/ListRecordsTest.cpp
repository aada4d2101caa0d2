// Records, column kinds, check boxes, radio groups and the slot key of the port list.

#include "PortListFixture.h"

namespace pellion::test {
namespace {

class ListRecords : public PortListFixture {};

TEST_F(ListRecords, RecordsAreCreatedWithDefaultsAndTheirColumnAsGroup) {
    DeclarePortColumns();
    FillRows({"ttyUSB0", "ttyUSB1"});
    const ListCtrlEx::CellInfo& cell = list->GetCell(1, 5);
    EXPECT_TRUE(cell.enabled);
    EXPECT_FALSE(cell.checked);
    EXPECT_EQ(cell.image, -1);
    EXPECT_EQ(cell.group, 5);
    EXPECT_EQ(cell.progressPos, 0u);
    EXPECT_EQ(cell.progressMax, 100u);
    EXPECT_EQ(cell.items.size(), 4);
    // Records of cells outside the list are created on demand as well.
    EXPECT_EQ(list->GetCell(40, 12).group, 12);
    EXPECT_EQ(&list->GetCell(1, 5), &cell);
}

TEST_F(ListRecords, ColumnKindsAreRecordedEvenForUndeclaredOrRefusedColumns) {
    EXPECT_EQ(list->InsertColumn(0, "a", 40, CellKind::CheckBox), 0);
    EXPECT_EQ(list->InsertColumn(5, "b", 40, CellKind::Progress), 1);  // appended at the end
    EXPECT_EQ(list->InsertColumn(-1, "c", 40, CellKind::Radio), -1);
    EXPECT_EQ(list->GetColumnCount(), 2);
    EXPECT_EQ(list->GetColumnType(0), CellKind::CheckBox);
    EXPECT_EQ(list->GetColumnType(5), CellKind::Progress);
    EXPECT_EQ(list->GetColumnType(-1), CellKind::Radio);
    EXPECT_EQ(list->GetColumnType(7), CellKind::Text);
    EXPECT_TRUE(list->GetSortInfo(0).ascending);
    EXPECT_EQ(list->GetColumnFormat(0), ColumnFormat::Left);
    EXPECT_EQ(list->GetColumnFormat(9), ColumnFormat::Center);
}

TEST_F(ListRecords, SetCheckOnACheckBoxNotifiesAndOnOtherKindsDoesNothing) {
    DeclarePortColumns();
    FillRows({"a", "b"});
    list->SetCheck(1, 0, true);
    EXPECT_TRUE(list->GetCell(1, 0).checked);
    list->SetCheck(1, 0, false);
    EXPECT_FALSE(list->GetCell(1, 0).checked);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].number, 9028);
    EXPECT_EQ(log[0].checked, 1);
    EXPECT_EQ(log[1].checked, 0);
    EXPECT_EQ(log[1].row, 1);
    EXPECT_EQ(log[1].slot, 1);

    log.clear();
    for (int column : {1, 2, 6}) {
        list->SetCheck(0, column, true);
        EXPECT_FALSE(list->GetCell(0, column).checked) << column;
    }
    EXPECT_TRUE(log.empty());

    // A row that does not exist: the record changes but nothing is reported.
    list->SetCheck(9, 0, true);
    EXPECT_TRUE(list->GetCell(9, 0).checked);
    EXPECT_TRUE(log.empty());
}

TEST_F(ListRecords, RadioGroupsSpanRowsAndEveryRadioColumn) {
    list->InsertColumn(0, "r0", 60, CellKind::Radio);
    list->InsertColumn(1, "r1", 60, CellKind::Radio);
    list->InsertColumn(2, "t", 60, CellKind::Text);
    for (int i = 0; i < 3; ++i) {
        list->InsertItem(i, QString::number(i));
    }
    list->SetCheck(0, 0, true);
    list->SetCheck(2, 0, false);  // the argument is not consulted: a radio cell gets checked
    EXPECT_FALSE(list->GetCell(0, 0).checked);
    EXPECT_TRUE(list->GetCell(2, 0).checked);

    list->SetCheck(1, 1, true);  // group 1: the other column is untouched
    EXPECT_TRUE(list->GetCell(2, 0).checked);
    EXPECT_TRUE(list->GetCell(1, 1).checked);

    list->GetCell(0, 1).group = 0;  // joins the first column's group
    list->SetCheck(0, 1, true);
    EXPECT_FALSE(list->GetCell(2, 0).checked);
    EXPECT_TRUE(list->GetCell(0, 1).checked);
    EXPECT_TRUE(list->GetCell(1, 1).checked);

    // Only the newly checked cell is reported, always with checked 1.
    ASSERT_EQ(log.size(), 4u);
    for (const Notification& n : log) {
        EXPECT_EQ(n.number, 9028);
        EXPECT_EQ(n.checked, 1);
    }
    EXPECT_EQ(log[3].row, 0);
    EXPECT_EQ(log[3].column, 1);
}

TEST_F(ListRecords, DeleteAllItemsGivesFreshRecordsAndRestartsSlots) {
    DeclarePortColumns(4);
    FillRows({"a", "b", "c"});
    list->SetCheck(0, 0, true);
    list->SetProgressMax(0, 6, 7);
    list->GetCell(0, 0).enabled = false;
    list->OnColumnClick(4);
    const ListCtrlEx::SortInfo before = list->GetSortInfo(4);

    ASSERT_TRUE(list->DeleteAllItems());
    EXPECT_EQ(list->GetItemCount(), 0);
    FillRows({"x"});
    EXPECT_TRUE(list->GetCell(0, 0).enabled);
    EXPECT_FALSE(list->GetCell(0, 0).checked);
    EXPECT_EQ(list->GetCell(0, 6).progressMax, 100u);
    EXPECT_EQ(list->SlotOfRow(0), 0);
    EXPECT_EQ(list->GetColumnType(6), CellKind::Progress);
    EXPECT_EQ(list->GetSortInfo(4).sortKind, SortKind::Numeric);
    EXPECT_EQ(list->GetSortInfo(4).ascending, before.ascending);
}

TEST_F(ListRecords, InsertingInTheMiddleMovesTheRecordsOfTheRowsBelow) {
    DeclarePortColumns();
    FillRows({"a", "b"});
    list->SetCheck(1, 0, true);
    list->SetProgressPos(1, 6, 42);
    const int row = list->InsertItem(1, "new");
    EXPECT_EQ(row, 1);
    EXPECT_EQ(list->SlotOfRow(1), 2);
    EXPECT_FALSE(list->GetCell(1, 0).checked);
    EXPECT_TRUE(list->GetCell(2, 0).checked);
    EXPECT_EQ(list->GetCell(2, 6).progressPos, 42u);
    EXPECT_EQ(list->GetItemText(2, 1), "b");
    EXPECT_EQ(list->RowOfSlot(1), 2);
}

TEST_F(ListRecords, SlotOperationsReachTheRowOfTheirSlot) {
    DeclarePortColumns();
    FillRows({"a", "b", "c"});
    EXPECT_EQ(list->RowOfSlot(7), -1);
    EXPECT_EQ(list->SlotOfRow(3), -1);
    EXPECT_FALSE(list->SetSlotText(7, 7, "x"));
    EXPECT_EQ(list->GetSlotCell(7, 0), nullptr);

    EXPECT_TRUE(list->SetSlotText(2, 7, "done"));
    EXPECT_TRUE(list->SetSlotProgressMax(2, 6, 8));
    EXPECT_TRUE(list->SetSlotProgressPos(2, 6, 3));
    EXPECT_TRUE(list->SetSlotCheck(2, 0, true));
    EXPECT_EQ(list->GetItemText(2, 7), "done");
    EXPECT_EQ(list->GetSlotText(2, 7), "done");
    EXPECT_EQ(list->GetCell(2, 6).progressPos, 3u);
    EXPECT_EQ(list->GetCell(2, 6).progressMax, 8u);
    ASSERT_NE(list->GetSlotCell(2, 0), nullptr);
    EXPECT_TRUE(list->GetSlotCell(2, 0)->checked);

    // Explicit keys are kept; later rows continue after the highest one.
    EXPECT_EQ(list->InsertItem(3, "d", 10), 3);
    EXPECT_EQ(list->InsertItem(4, "e"), 4);
    EXPECT_EQ(list->SlotOfRow(3), 10);
    EXPECT_EQ(list->SlotOfRow(4), 11);
}

TEST_F(ListRecords, ItemDataAndTextsOfMissingCells) {
    DeclarePortColumns();
    FillRows({"a"});
    EXPECT_TRUE(list->SetItemData(0, 1234));
    EXPECT_EQ(list->GetItemData(0), 1234);
    EXPECT_FALSE(list->SetItemData(3, 1));
    EXPECT_FALSE(list->SetItemText(0, 8, "x"));
    EXPECT_FALSE(list->SetItemText(-1, 0, "x"));
    EXPECT_EQ(list->GetItemText(0, 4), QString());
    EXPECT_EQ(list->GetItemText(5, 4), QString());
}

}  // namespace
}  // namespace pellion::test
