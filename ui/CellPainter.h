#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <cstdint>

#include "ui/CellInfo.h"
#include "ui/CellKind.h"

class QPainter;
class QPalette;
class QPixmap;
class QStyle;
class QWidget;

namespace ListCtrlEx {

// Geometry and painting of one cell by its kind. Rectangles are built from edges: left and top
// inclusive, right and bottom exclusive, as the hit test uses them.
QRect rectFromEdges(int left, int top, int right, int bottom);

// The part of a check-box or radio cell that toggles on a click: H pixels wide from L + 7.
QRect checkHotZone(const QRect& cell);

// Filled share of a progress bar: 1 when position >= maximum (0 of 0 counts as complete),
// position / maximum when both are above 0, otherwise 0; in single precision.
float progressFraction(uint32_t position, uint32_t maximum);
// The bar of a progress cell whose content starts at `contentLeft`.
QRect progressBarRect(const QRect& cell, int contentLeft);
// The filled part of the bar, never past the cell's right edge less one pixel.
QRect progressFillRect(const QRect& cell, const QRect& bar, float fraction);
// The text centred on a progress bar: the percentage with two decimals when `percent` is set,
// the cell's own text otherwise.
QString progressText(bool percent, uint32_t position, uint32_t maximum, const QString& cellText);

constexpr QRgb kProgressFill = qRgb(51, 102, 153);
constexpr QRgb kEvenRowBackground = qRgb(0, 255, 255);
constexpr QRgb kOddRowBackground = qRgb(100, 255, 100);
constexpr QRgb kDisabledEditText = qRgb(192, 192, 192);

// Background of the cells the list does not paint by kind: alternating per row.
QColor alternatingRowColour(int row);

struct CellPaint {
    QRect cell;
    int row = 0;
    CellKind kind = CellKind::Text;
    ColumnFormat format = ColumnFormat::Left;
    const CellInfo* info = nullptr;
    QString text;
    bool selected = false;
    bool percent = false;            // progress cells show their percentage
    const QPixmap* image = nullptr;  // the cell's image, nullptr for none
    const QPalette* palette = nullptr;
    QStyle* style = nullptr;
    const QWidget* widget = nullptr;
};

// Paints the cell by its kind (any kind outside CheckBox..Progress as Text).
void paintCellByKind(QPainter* painter, const CellPaint& paint);
// Paints the cell in the alternating row colours with black text, aligned as its column.
void paintCellAlternating(QPainter* painter, const CellPaint& paint);

}  // namespace ListCtrlEx
