// The text editor of edit cells: its character and paste filters, Enter and Escape.

#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>

#include "PortListFixture.h"

namespace pellion::test {
namespace {

using ListCtrlEx::CInPlaceEdit;

class InPlaceEdit : public PortListFixture {
  protected:
    void SetUp() override {
        PortListFixture::SetUp();
        list->InsertColumn(0, "n", 60, CellKind::CheckBox);
        list->InsertColumn(1, "digits", 120, CellKind::Edit);
        list->InsertColumn(2, "free", 120, CellKind::Edit, ColumnFormat::Left);
        for (int row = 0; row < 2; ++row) {
            list->InsertItem(row, QString::number(row + 1));
            list->SetItemText(row, 1, "42");
            list->SetItemText(row, 2, "abc");
            list->GetCell(row, 1).allowedChars = "0123456789";
        }
        ShowActive();
        edit = Open(0, 1);
        QObject::connect(edit, &CInPlaceEdit::beeped, [this] { ++beeps; });
    }

    void TearDown() override {
        QObject::disconnect(edit, &CInPlaceEdit::beeped, nullptr, nullptr);
        PortListFixture::TearDown();
    }

    CInPlaceEdit* Open(int row, int column) {
        Click(Centre(row, column));
        CInPlaceEdit* opened = CInPlaceEdit::GetInPlaceEdit();
        EXPECT_TRUE(opened->IsOpen());
        EXPECT_EQ(opened->Row(), row);
        EXPECT_EQ(opened->Column(), column);
        return opened;
    }

    void SetClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }

    CInPlaceEdit* edit = nullptr;
    int beeps = 0;
};

TEST_F(InPlaceEdit, OpensOverTheCellWithItsWholeTextSelected) {
    EXPECT_EQ(edit->parentWidget(), list->viewport());
    EXPECT_EQ(edit->geometry(), Cell(0, 1));
    EXPECT_EQ(edit->text(), "42");
    EXPECT_EQ(edit->selectedText(), "42");
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(Numbers(), (std::vector<int>{9033, 9025}));
}

TEST_F(InPlaceEdit, ARefusedCharacterBeepsAndIsDropped) {
    QTest::keyClick(edit, 'a');
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(edit->text(), "42");
    QTest::keyClicks(edit, "7x8");
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(edit->text(), "78");
    QTest::keyClick(edit, ' ');
    EXPECT_EQ(beeps, 3);
    EXPECT_TRUE(edit->IsOpen());  // the editor stays open
}

TEST_F(InPlaceEdit, EditingAndClipboardKeysPassTheFilter) {
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "4");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), "");
    QTest::keyClicks(edit, "123");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "123");
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "123");
    EXPECT_EQ(beeps, 0);
}

TEST_F(InPlaceEdit, APasteIsAcceptedOnlyWhenEveryCharacterIsAllowedAndRefusedSilently) {
    QTest::keyClick(edit, Qt::Key_End);
    SetClipboard("12a");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "42");
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);  // the other paste key
    EXPECT_EQ(edit->text(), "42");
    SetClipboard("123");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "42123");
    edit->selectAll();
    SetClipboard(QString::fromUtf8("１２"));  // full-width digits are other characters
    edit->PasteFiltered();
    EXPECT_EQ(edit->text(), "42123");
    auto* image = new QMimeData;
    image->setData("image/png", QByteArray("\x89PNG", 4));
    QGuiApplication::clipboard()->setMimeData(image);
    edit->PasteFiltered();
    EXPECT_EQ(edit->text(), "42123");
    EXPECT_EQ(beeps, 0);
}

TEST_F(InPlaceEdit, InputMethodTextIsFilteredToo) {
    QInputMethodEvent refused(QString(), {});
    refused.setCommitString("x");
    QApplication::sendEvent(edit, &refused);
    EXPECT_EQ(edit->text(), "42");
    EXPECT_EQ(beeps, 1);
    QInputMethodEvent accepted(QString(), {});
    accepted.setCommitString("9");
    QApplication::sendEvent(edit, &accepted);
    EXPECT_EQ(edit->text(), "9");
}

TEST_F(InPlaceEdit, WithoutAllowedCharactersEverythingPasses) {
    QTest::keyClick(edit, Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([this] { return !edit->IsOpen(); }));
    Open(1, 2);
    QTest::keyClicks(edit, "x y!");
    SetClipboard(QString::fromUtf8("串口"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QString::fromUtf8("x y!串口"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(list->GetItemText(1, 2), QString::fromUtf8("x y!串口"));
    EXPECT_EQ(beeps, 0);
}

TEST_F(InPlaceEdit, EnterCommitsWithoutPressingTheDialogsDefaultButton) {
    QTest::keyClicks(edit, "17");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(list->GetItemText(0, 1), "17");
    EXPECT_EQ(okPresses, 0);
    EXPECT_TRUE(list->hasFocus());
    ASSERT_EQ(log.back().number, 9032);
    EXPECT_EQ(log.back().text, "17");
    EXPECT_FALSE(log.back().cancelled);
    EXPECT_TRUE(WaitUntil([this] { return !edit->isVisible(); }));
}

TEST_F(InPlaceEdit, EscapeWritesBackTheTextTheCellHadAndReportsTheEnd) {
    QTest::keyClicks(edit, "99");
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(list->GetItemText(0, 1), "42");
    ASSERT_EQ(log.back().number, 9032);
    EXPECT_EQ(log.back().text, "42");
    EXPECT_TRUE(log.back().cancelled);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(InPlaceEdit, ClickingElsewhereCommits) {
    QTest::keyClicks(edit, "5");
    Click(Centre(1, 0));
    EXPECT_EQ(list->GetItemText(0, 1), "5");
    EXPECT_TRUE(WaitUntil([this] { return !edit->IsOpen(); }));
}

}  // namespace
}  // namespace pellion::test
