#include "ui/CellPainter.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include <algorithm>

namespace ListCtrlEx {

QRect rectFromEdges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

namespace {

struct Edges {
    int L, T, R, B, H;
};

Edges edgesOf(const QRect& r) {
    const int L = r.left();
    const int T = r.top();
    const int R = r.left() + r.width();
    const int B = r.top() + r.height();
    return {L, T, R, B, B - T};
}

QColor textColour(const CellPaint& p) {
    return p.palette->color(p.selected ? QPalette::HighlightedText : QPalette::WindowText);
}

QColor backgroundColour(const CellPaint& p) {
    return p.palette->color(p.selected ? QPalette::Highlight : QPalette::Base);
}

Qt::Alignment alignmentFor(ColumnFormat format) {
    switch (format) {
        case ColumnFormat::Right:
            return Qt::AlignRight;
        case ColumnFormat::Left:
            return Qt::AlignLeft;
        case ColumnFormat::Center:
            break;
    }
    return Qt::AlignHCenter;
}

void drawText(QPainter* painter, const QRect& rect, Qt::Alignment horizontal, const QColor& colour,
              const QString& text) {
    if (text.isEmpty() || rect.width() <= 0) {
        return;
    }
    painter->save();
    painter->setPen(colour);
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->drawText(rect, int(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), text);
    painter->restore();
}

// Draws the cell's image into an H x H square at the left and returns where content begins.
int drawImageStep(QPainter* painter, const CellPaint& p, const Edges& e) {
    if (p.image == nullptr || p.image->isNull()) {
        return e.L;
    }
    const QRect square = rectFromEdges(e.L, e.T, e.L + e.H, e.B);
    painter->fillRect(square, backgroundColour(p));
    painter->drawPixmap(square, *p.image);
    return e.L + e.H;
}

void paintText(QPainter* painter, const CellPaint& p) {
    const Edges e = edgesOf(p.cell);
    painter->fillRect(p.cell, backgroundColour(p));
    const int left = drawImageStep(painter, p, e);
    // Left-aligned columns are centred too: only a right-aligned column keeps its side.
    const Qt::Alignment align = p.format == ColumnFormat::Right ? Qt::AlignRight : Qt::AlignHCenter;
    drawText(painter, rectFromEdges(left + 3, e.T, e.R, e.B), align, textColour(p), p.text);
}

void paintEdit(QPainter* painter, const CellPaint& p) {
    const Edges e = edgesOf(p.cell);
    painter->fillRect(p.cell, backgroundColour(p));
    const int left = drawImageStep(painter, p, e);
    QColor colour = textColour(p);
    if (!p.info->enabled && !p.selected) {
        colour = QColor(kDisabledEditText);
    }
    drawText(painter, rectFromEdges(left + 3, e.T, e.R, e.B), alignmentFor(p.format), colour,
             p.text);
}

// The style option of a button-like part of a cell: greyed out unless the cell is enabled.
QStyleOptionButton buttonOption(const CellPaint& p, const QRect& rect, QStyle::State state) {
    QStyleOptionButton option;
    option.rect = rect;
    option.palette = *p.palette;
    option.state = state;
    if (p.info->enabled) {
        option.state |= QStyle::State_Enabled;
    }
    return option;
}

QStyle::State checkState(const CellPaint& p) {
    return p.info->checked ? QStyle::State_On : QStyle::State_Off;
}

void paintCheckBox(QPainter* painter, const CellPaint& p) {
    const Edges e = edgesOf(p.cell);
    const QRect textRect = rectFromEdges(e.L + e.H + 6, e.T, e.R, e.B);
    painter->fillRect(textRect, backgroundColour(p));
    const QRect box = rectFromEdges(e.L + 7, e.T + 2, e.L + e.H + 3, e.B - 2);
    painter->fillRect(box, p.palette->color(QPalette::Base));
    QStyleOptionButton option = buttonOption(p, box, checkState(p));
    if (p.selected) {
        option.state |= QStyle::State_MouseOver;
    }
    p.style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter, p.widget);
    drawText(painter, textRect, Qt::AlignLeft, textColour(p), p.text);
}

void paintRadio(QPainter* painter, const CellPaint& p) {
    const Edges e = edgesOf(p.cell);
    const QRect textRect = rectFromEdges(e.L + e.H + 8, e.T, e.R, e.B);
    painter->fillRect(textRect, backgroundColour(p));
    const QRect button = rectFromEdges(e.L + 7, e.T + 1, e.L + e.H + 5, e.B - 1);
    painter->fillRect(button, p.palette->color(QPalette::Base));
    const QStyleOptionButton option = buttonOption(p, button, checkState(p));
    p.style->drawPrimitive(QStyle::PE_IndicatorRadioButton, &option, painter, p.widget);
    drawText(painter, textRect, Qt::AlignLeft, textColour(p), p.text);
}

void paintCombo(QPainter* painter, const CellPaint& p) {
    const Edges e = edgesOf(p.cell);
    painter->fillRect(p.cell, p.palette->color(QPalette::Base));
    const QRect textRect = rectFromEdges(e.L + 2, e.T, e.R - e.H - 4, e.B);
    painter->fillRect(textRect, backgroundColour(p));
    const QRect button = rectFromEdges(e.R - e.H - 1, e.T + 1, e.R - 2, e.B);
    // A checked combo cell shows its button pressed.
    QStyleOptionButton option =
        buttonOption(p, button, p.info->checked ? QStyle::State_Sunken : QStyle::State_Raised);
    if (p.selected) {
        option.state |= QStyle::State_MouseOver;
    }
    p.style->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, painter, p.widget);
    QStyleOption arrow = option;
    const int inset = std::max(2, button.width() / 4);
    arrow.rect = button.adjusted(inset, inset, -inset, -inset);
    p.style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, p.widget);
    drawText(painter, textRect, Qt::AlignLeft, textColour(p), p.text);
}

void paintProgress(QPainter* painter, const CellPaint& p) {
    const Edges e = edgesOf(p.cell);
    painter->fillRect(p.cell, backgroundColour(p));
    const int left = drawImageStep(painter, p, e);
    const QRect bar = progressBarRect(p.cell, left);
    // The empty part keeps the button colour when selected: a highlight there reads as full.
    painter->fillRect(bar, p.palette->color(QPalette::Button));
    qDrawWinPanel(painter, bar, *p.palette, true, nullptr);
    const float f = progressFraction(p.info->progressPos, p.info->progressMax);
    const QRect fill = progressFillRect(p.cell, bar, f);
    if (fill.width() > 0 && fill.height() > 0) {
        const QColor colour = p.info->progressFill;
        painter->fillRect(fill, colour.isValid() ? colour : QColor(kProgressFill));
    }
    const QString text = progressText(p.percent, p.info->progressPos, p.info->progressMax, p.text);
    drawText(painter, bar, Qt::AlignHCenter, textColour(p), text);
}

}  // namespace

QRect checkHotZone(const QRect& cell) {
    const Edges e = edgesOf(cell);
    return rectFromEdges(e.L + 7, e.T, e.L + 7 + e.H, e.B);
}

float progressFraction(uint32_t position, uint32_t maximum) {
    if (position >= maximum) {
        return 1.0f;
    }
    if (position > 0 && maximum > 0) {
        return static_cast<float>(static_cast<double>(position) / static_cast<double>(maximum));
    }
    return 0.0f;
}

QRect progressBarRect(const QRect& cell, int contentLeft) {
    const Edges e = edgesOf(cell);
    return rectFromEdges(contentLeft + 3, e.T, e.R, e.B);
}

QRect progressFillRect(const QRect& cell, const QRect& bar, float fraction) {
    const Edges e = edgesOf(cell);
    const int barLeft = bar.left();
    const int barRight = bar.left() + bar.width();
    const int w = static_cast<int>(fraction * static_cast<float>(barRight - barLeft));
    const int right = std::min(barLeft + 1 + w, e.R - 1);
    return rectFromEdges(barLeft + 1, e.T + 1, std::max(right, barLeft + 1), e.B - 1);
}

QString progressText(bool percent, uint32_t position, uint32_t maximum, const QString& cellText) {
    if (!percent) {
        return cellText;
    }
    const float f = progressFraction(position, maximum);
    return QString::asprintf("%.2f%%", static_cast<double>(f * 100.0f));
}

QColor alternatingRowColour(int row) {
    return QColor(row % 2 != 0 ? kOddRowBackground : kEvenRowBackground);
}

void paintCellByKind(QPainter* painter, const CellPaint& paint) {
    painter->save();
    switch (paint.kind) {
        case CellKind::CheckBox:
            paintCheckBox(painter, paint);
            break;
        case CellKind::Radio:
            paintRadio(painter, paint);
            break;
        case CellKind::Combo:
            paintCombo(painter, paint);
            break;
        case CellKind::Edit:
            paintEdit(painter, paint);
            break;
        case CellKind::Progress:
            paintProgress(painter, paint);
            break;
        case CellKind::Text:
        default:
            paintText(painter, paint);
            break;
    }
    painter->restore();
}

void paintCellAlternating(QPainter* painter, const CellPaint& paint) {
    painter->save();
    const QColor background = paint.selected ? paint.palette->color(QPalette::Highlight)
                                             : alternatingRowColour(paint.row);
    const QColor text =
        paint.selected ? paint.palette->color(QPalette::HighlightedText) : QColor(Qt::black);
    painter->fillRect(paint.cell, background);
    drawText(painter, paint.cell.adjusted(6, 0, -6, 0), alignmentFor(paint.format), text,
             paint.text);
    painter->restore();
}

}  // namespace ListCtrlEx
