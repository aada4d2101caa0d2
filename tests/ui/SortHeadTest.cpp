// The list's header: no arrow unless a sort column is set, then a triangle in that section.

#include <QHeaderView>
#include <QImage>

#include "PortListFixture.h"
#include "ui/CListCtrlExSortHead.h"

namespace pellion::test {
namespace {

class SortHead : public PortListFixture {
  protected:
    void SetUp() override {
        PortListFixture::SetUp();
        DeclarePortColumns();
        FillRows({"a", "b"});
        ShowActive();
    }

    QImage Section(int column) {
        ListCtrlEx::CListCtrlExSortHead* head = list->SortHead();
        const QRect section(head->sectionViewportPosition(column), 0, head->sectionSize(column),
                            head->height());
        return head->viewport()->grab().toImage().copy(section);
    }
};

TEST_F(SortHead, SortingLeavesTheHeaderWithoutArrowAndWithoutFocus) {
    ListCtrlEx::CListCtrlExSortHead* head = list->SortHead();
    ASSERT_EQ(static_cast<QHeaderView*>(head), list->horizontalHeader());
    EXPECT_EQ(head->SortColumn(), -1);
    EXPECT_EQ(head->Direction(), 0);
    const QImage before = Section(7);
    list->OnColumnClick(7);
    EXPECT_EQ(head->SortColumn(), -1);
    EXPECT_EQ(Section(7), before);
    EXPECT_EQ(head->focusPolicy(), Qt::NoFocus);
}

TEST_F(SortHead, ASortColumnGetsATriangleThatTurnsWithTheDirection) {
    ListCtrlEx::CListCtrlExSortHead* head = list->SortHead();
    const QImage plain = Section(7);
    head->SetSortArrow(7, 0);
    const QImage up = Section(7);
    head->SetSortArrow(7, 1);
    const QImage down = Section(7);
    EXPECT_NE(up, plain);
    EXPECT_NE(down, plain);
    EXPECT_NE(up, down);
    EXPECT_EQ(Section(6), [&] {
        head->SetSortArrow(-1, 0);
        return Section(6);
    }());
    EXPECT_EQ(Section(7), plain);
}

}  // namespace
}  // namespace pellion::test
