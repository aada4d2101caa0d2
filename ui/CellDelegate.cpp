#include "ui/CellDelegate.h"

#include <QPainter>

#include "ui/CListCtrlEx.h"
#include "ui/CellPainter.h"

namespace ListCtrlEx {

CellDelegate::CellDelegate(CListCtrlEx* list) : QStyledItemDelegate(list), list_(list) {}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const int row = index.row();
    const int column = index.column();
    const CellInfo* found = list_->FindCell(row, column);
    const CellInfo fallback = CellInfo::forColumn(column);
    const CellInfo& info = found != nullptr ? *found : fallback;

    CellPaint paint;
    paint.cell = option.rect;
    paint.row = row;
    paint.kind = list_->kinds_.count(column) != 0 ? list_->kinds_.at(column) : CellKind::Text;
    paint.format = list_->GetColumnFormat(column);
    paint.info = &info;
    paint.text = index.data(Qt::DisplayRole).toString();
    paint.selected = (option.state & QStyle::State_Selected) != 0;
    paint.percent = (list_->options & CListCtrlEx::OptProgressPercent) != 0;
    const QList<QPixmap>& images = list_->ImageList();
    if (info.image >= 0 && info.image < images.size()) {
        paint.image = &images.at(info.image);
    }
    paint.palette = &option.palette;
    paint.style = list_->style();
    paint.widget = list_;

    if (PaintedByKind(column)) {
        paintCellByKind(painter, paint);
    } else {
        paintCellAlternating(painter, paint);
    }
}

}  // namespace ListCtrlEx
