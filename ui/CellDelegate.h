#pragma once

#include <QStyledItemDelegate>

namespace ListCtrlEx {

class CListCtrlEx;

// Paints the list's cells: columns 0 and 6 by their kind, every other column in the
// alternating row colours. Editing goes through the list's own in-place editors, not here.
class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    explicit CellDelegate(CListCtrlEx* list);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The columns whose cells keep the list's own painting; the others are painted as rows.
    static bool PaintedByKind(int column) { return column == 0 || column == 6; }

  private:
    CListCtrlEx* list_;
};

}  // namespace ListCtrlEx
