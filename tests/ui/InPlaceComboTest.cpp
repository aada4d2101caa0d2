// The drop-down editor of combo cells, driven by clicks and keys on the real widgets.

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>

#include "PortListFixture.h"

namespace pellion::test {
namespace {

using ListCtrlEx::CInPlaceCombo;

class InPlaceCombo : public PortListFixture {
  protected:
    void SetUp() override {
        PortListFixture::SetUp();
        DeclarePortColumns();
        FillRows({"ttyUSB0", "ttyUSB1", "ttyUSB2"});
        ShowActive();
    }

    CInPlaceCombo* Open(int row, int column) {
        Click(Centre(row, column));
        CInPlaceCombo* combo = CInPlaceCombo::GetInPlaceCombo();
        EXPECT_TRUE(combo->IsOpen());
        EXPECT_EQ(combo->Row(), row);
        return combo;
    }

    void WaitClosed() {
        EXPECT_TRUE(WaitUntil([] { return !CInPlaceCombo::GetInPlaceCombo()->IsOpen(); }));
    }

    std::vector<Notification> EndEdits() const {
        std::vector<Notification> ends;
        std::copy_if(log.begin(), log.end(), std::back_inserter(ends),
                     [](const Notification& n) { return n.number == 9032; });
        return ends;
    }
};

TEST_F(InPlaceCombo, OpensOverTheCellWithTheCellsChoicesAndItsTextSelected) {
    CInPlaceCombo* combo = Open(1, 2);
    EXPECT_EQ(Numbers(), (std::vector<int>{9033, 9025}));
    EXPECT_EQ(log[0].row, 1);
    EXPECT_EQ(log[0].column, 2);
    EXPECT_EQ(combo->parentWidget(), list->viewport());
    EXPECT_EQ(combo->geometry(), Cell(1, 2).adjusted(0, -3, 0, 3));
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    EXPECT_EQ(items, kBaudRates);
    EXPECT_EQ(combo->currentText(), "57600");
    EXPECT_TRUE(combo->hasFocus());
    EXPECT_TRUE(combo->isVisible());
}

TEST_F(InPlaceCombo, ChoosingAnItemFromTheDroppedListCommitsAtOnce) {
    CInPlaceCombo* combo = Open(0, 2);
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(WaitUntil([&] { return view->isVisible(); }));
    // The list ignores a release right after it opened (the release of the opening click).
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QRect item = view->visualRect(view->model()->index(9, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    EXPECT_TRUE(WaitUntil([&] { return list->GetItemText(0, 2) == "115200"; }));
    WaitClosed();
    const std::vector<Notification> ends = EndEdits();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].text, "115200");
    EXPECT_FALSE(ends[0].cancelled);
    EXPECT_EQ(ends[0].row, 0);
    EXPECT_EQ(ends[0].column, 2);
}

TEST_F(InPlaceCombo, ChoosingWithTheKeyboardInTheDroppedListCommitsAtOnce) {
    CInPlaceCombo* combo = Open(1, 5);
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(WaitUntil([&] { return view->isVisible(); }));
    view->setCurrentIndex(view->model()->index(2, 0));
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_TRUE(WaitUntil([&] { return list->GetItemText(1, 5) == "PartB1"; }));
    WaitClosed();
    ASSERT_EQ(EndEdits().size(), 1u);
    EXPECT_EQ(okPresses, 0);
}

TEST_F(InPlaceCombo, ClosingTheDroppedListWithoutAChoiceCommitsTheShownItem) {
    CInPlaceCombo* combo = Open(2, 2);
    QTest::keyClick(combo, Qt::Key_Up);  // 56000
    combo->showPopup();
    ASSERT_TRUE(WaitUntil([&] { return combo->view()->isVisible(); }));
    combo->hidePopup();
    EXPECT_TRUE(WaitUntil([&] { return list->GetItemText(2, 2) == "56000"; }));
    WaitClosed();
    EXPECT_EQ(EndEdits().size(), 1u);
}

TEST_F(InPlaceCombo, LosingTheFocusCommitsTheChoice) {
    CInPlaceCombo* combo = Open(1, 2);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentText(), "115200");
    EXPECT_EQ(list->GetItemText(1, 2), "57600");  // nothing written while open
    log.clear();
    Click(Centre(0, 7));
    EXPECT_EQ(list->GetItemText(1, 2), "115200");
    ASSERT_EQ(Numbers(), (std::vector<int>{9032, 9025}));  // committed before the click
    WaitClosed();

    // Focus going to another control of the dialog commits just the same.
    combo = Open(2, 2);
    QTest::keyClick(combo, Qt::Key_Up);
    okButton->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(list->GetItemText(2, 2), "56000");
    EXPECT_EQ(okPresses, 0);
}

TEST_F(InPlaceCombo, EscapeWritesBackTheOldTextAndStillReportsTheEnd) {
    CInPlaceCombo* combo = Open(0, 2);
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Escape);
    EXPECT_EQ(list->GetItemText(0, 2), "57600");
    const std::vector<Notification> ends = EndEdits();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_TRUE(ends[0].cancelled);
    EXPECT_EQ(ends[0].text, "57600");
    EXPECT_TRUE(list->hasFocus());
    EXPECT_TRUE(dialog->isVisible());  // Escape did not reach the dialog
    EXPECT_EQ(dialog->result(), 0);
}

TEST_F(InPlaceCombo, AnEmptyCellStaysEmptyUnlessAnItemIsChosen) {
    CInPlaceCombo* combo = Open(0, 5);
    EXPECT_EQ(combo->currentIndex(), -1);
    QTest::keyClick(combo, Qt::Key_Escape);
    EXPECT_EQ(list->GetItemText(0, 5), "");
    WaitClosed();

    Open(1, 5);
    Click(Centre(2, 7));  // leave without choosing
    EXPECT_EQ(list->GetItemText(1, 5), "");
    WaitClosed();

    combo = Open(2, 5);
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(list->GetItemText(2, 5), "PartA");
}

TEST_F(InPlaceCombo, EnterCommitsWithoutPressingTheDialogsDefaultButton) {
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(okPresses, 1);  // Enter on the list itself does reach the default button

    CInPlaceCombo* combo = Open(1, 2);
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(list->GetItemText(1, 2), "115200");
    EXPECT_EQ(okPresses, 1);
    EXPECT_TRUE(list->hasFocus());
    WaitClosed();
}

TEST_F(InPlaceCombo, ClickingStraightOntoAnotherComboCellNeedsASecondClick) {
    CInPlaceCombo* combo = Open(0, 2);
    QTest::keyClick(combo, Qt::Key_Down);
    Click(Centre(1, 2));
    EXPECT_EQ(list->GetItemText(0, 2), "115200");
    EXPECT_EQ(combo->Row(), 0);  // the closing editor keeps its cell
    WaitClosed();
    EXPECT_FALSE(combo->isVisible());
    combo = Open(1, 2);
    EXPECT_EQ(combo->geometry(), Cell(1, 2).adjusted(0, -3, 0, 3));
}

TEST_F(InPlaceCombo, AHeaderClickWhileEditingCommitsIntoTheEditedRowBeforeSorting) {
    list->SetItemText(0, 1, "b");
    list->SetItemText(1, 1, "c");
    list->SetItemText(2, 1, "a");
    CInPlaceCombo* combo = Open(2, 2);  // slot 2
    QTest::keyClick(combo, Qt::Key_Down);
    QHeaderView* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    // Descending by name: c (slot 1), b (slot 0), a (slot 2).
    ASSERT_EQ(list->RowOfSlot(2), 2);
    ASSERT_EQ(list->RowOfSlot(1), 0);
    EXPECT_EQ(list->GetSlotText(2, 2), "115200");
    EXPECT_EQ(list->GetSlotText(1, 2), "57600");
    EXPECT_EQ(list->GetSlotText(0, 2), "57600");
    const std::vector<Notification> ends = EndEdits();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].slot, 2);
    WaitClosed();
}

TEST_F(InPlaceCombo, RowsMovingWhileEditingDoNotMisdirectTheText) {
    CInPlaceCombo* combo = Open(1, 2);  // slot 1
    list->InsertItem(0, "new");         // slot 1 moves to row 2
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(list->GetItemText(2, 2), "115200");
    EXPECT_EQ(list->GetItemText(1, 2), "57600");
    const std::vector<Notification> ends = EndEdits();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].row, 2);
    EXPECT_EQ(ends[0].slot, 1);

    // A list emptied while editing takes no text at all, not even into its new rows.
    WaitClosed();
    combo = Open(0, 2);
    QTest::keyClick(combo, Qt::Key_Down);
    FillRows({"ttyUSB5", "ttyUSB6"});  // a refresh: slots start again from 0
    EXPECT_FALSE(combo->IsOpen());
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(list->GetItemText(0, 2), "57600");
    EXPECT_EQ(EndEdits().size(), 1u);
}

TEST_F(InPlaceCombo, TheCellTextSelectsAnExactItemBeforeALongerOne) {
    CInPlaceCombo* combo = CInPlaceCombo::GetInPlaceCombo();
    combo->clear();
    combo->addItems({"X", "AB1", "AB", "ab2"});
    combo->SelectCellText("AB");
    EXPECT_EQ(combo->currentText(), "AB");
    combo->SelectCellText("ab");
    EXPECT_EQ(combo->currentText(), "AB");
    combo->SelectCellText("a");
    EXPECT_EQ(combo->currentText(), "AB1");
    combo->SelectCellText("Q");
    EXPECT_EQ(combo->currentIndex(), -1);
    combo->SelectCellText("");
    EXPECT_EQ(combo->currentIndex(), -1);
}

TEST_F(InPlaceCombo, DisabledCellsOpenNoEditor) {
    list->GetCell(1, 2).enabled = false;
    Click(Centre(1, 2));
    EXPECT_FALSE(CInPlaceCombo::Exists() && CInPlaceCombo::GetInPlaceCombo()->IsOpen());
    EXPECT_EQ(Numbers(), (std::vector<int>{9025}));
}

}  // namespace
}  // namespace pellion::test
