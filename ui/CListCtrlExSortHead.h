#pragma once

#include <QHeaderView>

namespace ListCtrlEx {

// The list's header. It remembers a sort column and a direction and, when a sort column is
// set, draws a small triangle in that column's section (apex up for direction 0, down
// otherwise). The list does not set one, so by default the header shows no arrow.
class CListCtrlExSortHead : public QHeaderView {
    Q_OBJECT

  public:
    explicit CListCtrlExSortHead(QWidget* parent = nullptr);

    int SortColumn() const { return sortColumn_; }
    int Direction() const { return direction_; }
    void SetSortArrow(int column, int direction);

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

  private:
    void DrawArrow(QPainter* painter, const QRect& rect) const;

    int sortColumn_ = -1;
    int direction_ = 0;
};

}  // namespace ListCtrlEx
