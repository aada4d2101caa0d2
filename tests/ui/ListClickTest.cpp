// Clicks on the port list as the operator makes them, through the real widget.

#include "PortListFixture.h"

namespace pellion::test {
namespace {

class ListClicks : public PortListFixture {
  protected:
    void SetUp() override {
        PortListFixture::SetUp();
        DeclarePortColumns();
        FillRows({"ttyUSB0", "ttyUSB1", "ttyACM0"});
        ShowActive();
    }
};

TEST_F(ListClicks, CheckBoxTogglesOnlyInsideTheHotZone) {
    const QRect cell = Cell(1, 0);
    const int h = cell.height();
    Click(At(1, 0, 6));
    EXPECT_FALSE(list->GetCell(1, 0).checked);
    EXPECT_EQ(Numbers(), (std::vector<int>{9025}));

    log.clear();
    Click(At(1, 0, 7));
    EXPECT_TRUE(list->GetCell(1, 0).checked);
    EXPECT_EQ(Numbers(), (std::vector<int>{9028, 9030, 9025}));
    EXPECT_EQ(log[1].checked, 2);
    EXPECT_EQ(log[1].row, 1);
    EXPECT_EQ(log[1].slot, 1);

    log.clear();
    Click(QPoint(cell.left() + 7 + h - 1, cell.top()));  // last column and first line of the zone
    EXPECT_FALSE(list->GetCell(1, 0).checked);
    EXPECT_EQ(Numbers(), (std::vector<int>{9028, 9030, 9025}));
    EXPECT_EQ(log[1].checked, 0);

    log.clear();
    Click(At(1, 0, 7 + h));
    EXPECT_FALSE(list->GetCell(1, 0).checked);
    EXPECT_EQ(Numbers(), (std::vector<int>{9025}));
}

TEST_F(ListClicks, ShiftOrCtrlClickChangesNothingAndReportsNothing) {
    Click(At(0, 0, 8), Qt::ControlModifier);
    Click(At(2, 0, 8), Qt::ShiftModifier);
    Click(Centre(1, 2), Qt::ControlModifier);
    EXPECT_FALSE(list->GetCell(0, 0).checked);
    EXPECT_FALSE(list->GetCell(2, 0).checked);
    EXPECT_FALSE(ListCtrlEx::CInPlaceCombo::Exists() &&
                 ListCtrlEx::CInPlaceCombo::GetInPlaceCombo()->IsOpen());
    EXPECT_TRUE(log.empty());
}

TEST_F(ListClicks, DisabledCellsIgnoreClicksButTheClickIsReported) {
    list->GetCell(0, 0).enabled = false;
    Click(At(0, 0, 9));
    EXPECT_FALSE(list->GetCell(0, 0).checked);
    ASSERT_EQ(Numbers(), (std::vector<int>{9025}));
    EXPECT_EQ(log[0].row, 0);
    EXPECT_EQ(log[0].column, 0);
}

TEST_F(ListClicks, ACheckClickHandlerMayUntickAgainAsTheBusyPathDoes) {
    QObject::connect(list, &CListCtrlEx::listExCheckClick, [this](CListCtrlEx* l, CellCheckInfo i) {
        if (i.checked == 2) {
            l->SetSlotCheck(i.slot, i.column, false);  // "port busy": untick at once
        }
    });
    Click(At(2, 0, 9));
    EXPECT_FALSE(list->GetCell(2, 0).checked);
    // The handler runs inside the click: its change is reported before the click itself.
    EXPECT_EQ(Numbers(), (std::vector<int>{9028, 9030, 9028, 9025}));
    EXPECT_EQ(log[1].checked, 2);
    EXPECT_EQ(log[2].checked, 0);
}

TEST_F(ListClicks, ClicksOutsideAnyCellAndOtherButtonsAreReported) {
    const QRect last = Cell(2, 7);
    Click(QPoint(last.center().x(), last.bottom() + 30));  // below the rows
    list->viewport()->update();
    QTest::mouseClick(list->viewport(), Qt::RightButton, Qt::NoModifier, Centre(1, 3));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, Centre(2, 7));
    const std::vector<int> numbers = Numbers();
    ASSERT_GE(numbers.size(), 3u);
    EXPECT_EQ(log[0].number, 9025);
    EXPECT_EQ(log[0].row, -1);
    EXPECT_EQ(log[0].column, -1);
    EXPECT_EQ(log[1].number, 9027);
    EXPECT_EQ(log[1].row, 1);
    EXPECT_EQ(log[1].column, 3);
    // The double click arrives after its first press: exactly one 9026, for row 2, column 7.
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 9026), 1);
    const auto dbl = std::find_if(log.begin(), log.end(),
                                  [](const Notification& n) { return n.number == 9026; });
    EXPECT_EQ(dbl->row, 2);
    EXPECT_EQ(dbl->column, 7);
}

TEST_F(ListClicks, RadioButtonsOfOneColumnExcludeEachOtherAcrossRows) {
    dialog.reset();
    PortListFixture::SetUp();
    list->InsertColumn(0, "r", 80, CellKind::Radio);
    list->InsertColumn(1, "t", 80, CellKind::Text);
    for (int i = 0; i < 3; ++i) {
        list->InsertItem(i, QString::number(i));
    }
    ShowActive();
    Click(At(0, 0, 8));
    Click(At(2, 0, 8));
    EXPECT_FALSE(list->GetCell(0, 0).checked);
    EXPECT_TRUE(list->GetCell(2, 0).checked);

    log.clear();
    Click(At(2, 0, 8));  // already checked: stays checked and is reported again
    EXPECT_TRUE(list->GetCell(2, 0).checked);
    ASSERT_EQ(Numbers(), (std::vector<int>{9028, 9030, 9025}));
    EXPECT_EQ(log[0].checked, 1);
    EXPECT_EQ(log[1].checked, 2);
}

}  // namespace
}  // namespace pellion::test

namespace pellion::test {
namespace {

// Events as the platform delivers a real double click: press, release, press, double click,
// release, with timestamps a few milliseconds apart.
void SendDoubleClick(QWidget* viewport, const QPoint& point, ulong start) {
    const QPoint global = viewport->mapToGlobal(point);
    auto send = [&](QEvent::Type type, ulong time, Qt::MouseButtons buttons) {
        QMouseEvent event(type, point, global, Qt::LeftButton, buttons, Qt::NoModifier);
        event.setTimestamp(time);
        QApplication::sendEvent(viewport, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + 40, Qt::NoButton);
    send(QEvent::MouseButtonPress, start + 90, Qt::LeftButton);
    send(QEvent::MouseButtonDblClick, start + 90, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + 130, Qt::NoButton);
}

class ListDoubleClick : public PortListFixture {};

TEST_F(ListDoubleClick, ADoubleClickOnACheckBoxTogglesItOnce) {
    DeclarePortColumns();
    FillRows({"a", "b"});
    ShowActive();
    SendDoubleClick(list->viewport(), At(1, 0, 9), 50'000'000);
    EXPECT_TRUE(list->GetCell(1, 0).checked);
    EXPECT_EQ(Numbers(), (std::vector<int>{9028, 9030, 9025, 9026}));

    // Two presses far apart in time are two clicks.
    log.clear();
    Click(At(1, 0, 9));
    Click(At(1, 0, 9));
    EXPECT_TRUE(list->GetCell(1, 0).checked);
    EXPECT_EQ(Numbers(), (std::vector<int>{9028, 9030, 9025, 9028, 9030, 9025}));
}

}  // namespace
}  // namespace pellion::test
