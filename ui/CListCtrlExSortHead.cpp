#include "ui/CListCtrlExSortHead.h"

#include <QPainter>

namespace ListCtrlEx {

CListCtrlExSortHead::CListCtrlExSortHead(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setSortIndicatorShown(false);
    setFocusPolicy(Qt::NoFocus);  // a header click leaves the focus where it was
}

void CListCtrlExSortHead::SetSortArrow(int column, int direction) {
    sortColumn_ = column;
    direction_ = direction;
    viewport()->update();
}

void CListCtrlExSortHead::paintSection(QPainter* painter, const QRect& rect,
                                       int logicalIndex) const {
    // The style may leave the painter clipped to nothing: draw the arrow on a fresh state.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex == sortColumn_ && sortColumn_ >= 0) {
        DrawArrow(painter, rect);
    }
}

void CListCtrlExSortHead::DrawArrow(QPainter* painter, const QRect& rect) const {
    const int s = 2 * fontMetrics().horizontalAdvance(QLatin1Char(' '));
    const int R = rect.left() + rect.width();
    const int B = rect.top() + rect.height();
    const int T = rect.top();
    const QPen light(palette().color(QPalette::Light), 1);
    const QPen shadow(palette().color(QPalette::Dark), 1);

    painter->save();
    painter->setClipRect(rect);
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (direction_ == 0) {  // apex at the top
        painter->setPen(light);
        painter->drawLine(R - 2 * s, T + s - 1, R - 3 * s / 2, B - s);
        painter->drawLine(R - 3 * s / 2, B - s, R - 5 * s / 2 - 2, B - s);
        painter->setPen(shadow);
        painter->drawLine(R - 5 * s / 2 - 1, B - s - 1, R - 2 * s, T + s - 2);
    } else {  // apex at the bottom
        painter->setPen(light);
        painter->drawLine(R - 3 * s / 2, T + s - 1, R - 2 * s - 1, B - s + 1);
        painter->setPen(shadow);
        painter->drawLine(R - 2 * s - 1, B - s, R - 5 * s / 2 - 1, T + s - 1);
        painter->drawLine(R - 5 * s / 2 - 1, T + s - 1, R - 3 * s / 2, T + s - 1);
    }
    painter->restore();
}

}  // namespace ListCtrlEx
