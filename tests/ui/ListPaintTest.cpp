// What the port list paints, read back from a rendering of its viewport.

#include <QImage>

#include "PortListFixture.h"
#include "ui/CellPainter.h"

namespace pellion::test {
namespace {

class ListPaint : public PortListFixture {
  protected:
    void SetUp() override {
        PortListFixture::SetUp();
        DeclarePortColumns();
        FillRows({"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"});
        ShowActive();
        list->clearSelection();
    }

    QImage Render() { return list->viewport()->grab().toImage(); }

    QColor Pixel(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

    QColor BarColour() const { return list->palette().color(QPalette::Button); }
};

TEST_F(ListPaint, ProgressBarsFillTheirShareInTheFillColour) {
    const QColor fill(ListCtrlEx::kProgressFill);
    struct Case {
        int row;
        uint32_t pos, max;
    };
    const Case cases[] = {{0, 0, 100}, {1, 1, 3}, {2, 150, 100}, {3, 0, 0}};
    for (const Case& c : cases) {
        list->SetProgressMax(c.row, 6, c.max);
        list->SetProgressPos(c.row, 6, c.pos);
    }
    const QImage image = Render();
    for (const Case& c : cases) {
        const QRect cell = Cell(c.row, 6);
        const QRect bar = ListCtrlEx::progressBarRect(cell, cell.left());
        const QRect filled =
            ListCtrlEx::progressFillRect(cell, bar, ListCtrlEx::progressFraction(c.pos, c.max));
        const int y = cell.top() + 2;  // inside the bar, above any text
        const int right = cell.left() + cell.width();
        SCOPED_TRACE(QString("%1 of %2").arg(c.pos).arg(c.max).toStdString());
        if (c.pos == 0 && c.max == 100) {
            EXPECT_EQ(Pixel(image, bar.left() + 2, y), BarColour());
            EXPECT_EQ(Pixel(image, right - 3, y), BarColour());
            continue;
        }
        EXPECT_EQ(Pixel(image, bar.left() + 2, y), fill);
        EXPECT_EQ(Pixel(image, filled.right(), y), fill);
        if (c.pos >= c.max) {
            EXPECT_EQ(filled.right(), right - 2);  // full: the fill ends one pixel short of R
            EXPECT_NE(Pixel(image, right - 1, y), fill);
        } else {
            EXPECT_EQ(filled.width(), (right - bar.left()) / 3);
            EXPECT_EQ(Pixel(image, filled.right() + 1, y), BarColour());
        }
    }
    // The strip left of the bar keeps the cell background.
    EXPECT_EQ(Pixel(image, Cell(1, 6).left() + 1, Cell(1, 6).top() + 2),
              list->palette().color(QPalette::Base));
}

// The window marks a slot's result in its bar; the selected row's empty bar stays empty.
TEST_F(ListPaint, ResultFillsColourTheBarAndSelectionNeverFillsIt) {
    list->SetProgressMax(1, 6, 3);
    list->SetProgressPos(1, 6, 1);
    list->SetSlotProgressFill(list->SlotOfRow(1), 6, QColor(Qt::red));
    list->selectRow(0);  // 0 of 100
    const QImage image = Render();
    const int y0 = Cell(0, 6).top() + 2;
    const QRect bar0 = ListCtrlEx::progressBarRect(Cell(0, 6), Cell(0, 6).left());
    EXPECT_EQ(Pixel(image, bar0.left() + 2, y0), BarColour());
    EXPECT_EQ(Pixel(image, bar0.center().x(), y0), BarColour());
    const QRect bar1 = ListCtrlEx::progressBarRect(Cell(1, 6), Cell(1, 6).left());
    EXPECT_EQ(Pixel(image, bar1.left() + 2, Cell(1, 6).top() + 2), QColor(Qt::red));

    list->SetSlotProgressFill(list->SlotOfRow(1), 6, QColor());  // the usual fill again
    EXPECT_EQ(Pixel(Render(), bar1.left() + 2, Cell(1, 6).top() + 2),
              QColor(ListCtrlEx::kProgressFill));
}

// A cell change is painted before the call returns, not at the next turn of the event loop.
TEST_F(ListPaint, CellChangesArePaintedAtOnce) {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    QCoreApplication::processEvents();
    list->viewport()->installEventFilter(&counter);
    list->SetProgressPos(2, 6, 40);
    EXPECT_EQ(counter.paints, 1);
    list->SetProgressMax(2, 6, 80);
    EXPECT_EQ(counter.paints, 2);
    list->SetCheck(2, 0, true);
    EXPECT_EQ(counter.paints, 3);
    list->viewport()->removeEventFilter(&counter);
}

TEST_F(ListPaint, ProgressTextIsThePercentageOnlyWhenTheOptionIsSet) {
    list->SetProgressMax(0, 6, 3);
    list->SetProgressPos(0, 6, 1);
    list->SetItemText(0, 6, "");
    const QRect cell = Cell(0, 6);
    const QImage withPercent = Render().copy(cell);
    list->options &= ~CListCtrlEx::OptProgressPercent;
    const QImage withoutText = Render().copy(cell);
    list->SetItemText(0, 6, "33.33%");
    const QImage withItemText = Render().copy(cell);
    EXPECT_NE(withPercent, withoutText);   // the percentage is drawn when the option is set
    EXPECT_EQ(withPercent, withItemText);  // ... exactly as the same text of the cell itself
}

TEST_F(ListPaint, RowsAlternateColoursInEveryColumnButTheCheckAndProgressColumns) {
    const QImage image = Render();
    for (int row = 0; row < 4; ++row) {
        const QColor expected = row % 2 == 0 ? QColor(0, 255, 255) : QColor(100, 255, 100);
        for (int column : {1, 2, 3, 4, 5, 7}) {
            const QRect cell = Cell(row, column);
            EXPECT_EQ(Pixel(image, cell.left() + 1, cell.top() + 1), expected)
                << row << "," << column;
            // Combo columns too: the list's alternating colours cover their drop button.
            EXPECT_EQ(Pixel(image, cell.right() - 3, cell.bottom() - 1), expected)
                << row << "," << column;
        }
        for (int column : {0, 6}) {
            const QRect cell = Cell(row, column);
            EXPECT_EQ(Pixel(image, cell.left() + 1, cell.top() + 1),
                      list->palette().color(QPalette::Base))
                << row << "," << column;
        }
    }
}

TEST_F(ListPaint, CheckBoxShowsItsState) {
    const QRect cell = Cell(2, 0);
    const QRect box(cell.left() + 7, cell.top() + 2, cell.height() - 4, cell.height() - 4);
    const QImage before = Render().copy(box);
    list->SetCheck(2, 0, true);
    const QImage after = Render().copy(box);
    EXPECT_NE(before, after);
    list->SetCheck(2, 0, false);
    EXPECT_EQ(Render().copy(box), before);
}

// Horizontal extent of the pixels darker than mid grey in a rectangle of the image.
std::pair<int, int> InkSpan(const QImage& image, const QRect& rect) {
    int first = -1;
    int last = -1;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (qGray(image.pixel(x, y)) < 100) {
                if (first < 0) {
                    first = x;
                }
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

class ListPaintByKind : public PortListFixture {};

TEST_F(ListPaintByKind, ALeftAlignedTextColumnPaintedByKindIsCentredAndComboShowsItsButton) {
    list->InsertColumn(0, "t", 160, CellKind::Text, ColumnFormat::Left);
    list->InsertColumn(1, "x", 60, CellKind::Text, ColumnFormat::Left);
    list->InsertColumn(2, "x", 60, CellKind::Text, ColumnFormat::Left);
    list->InsertColumn(3, "x", 60, CellKind::Text, ColumnFormat::Left);
    list->InsertColumn(4, "x", 60, CellKind::Text, ColumnFormat::Left);
    list->InsertColumn(5, "x", 60, CellKind::Text, ColumnFormat::Left);
    list->InsertColumn(6, "c", 160, CellKind::Combo, ColumnFormat::Left);
    list->InsertItem(0, "WWW");
    list->SetItemText(0, 6, "");
    ShowActive();
    list->clearSelection();
    const QImage image = list->viewport()->grab().toImage();

    const QRect text = Cell(0, 0);
    const auto [first, last] = InkSpan(image, text.adjusted(3, 1, 0, -1));
    ASSERT_GE(first, 0);
    const int textCentre = (first + last) / 2;
    const int expectedCentre = (text.left() + 3 + text.right()) / 2;
    EXPECT_NEAR(textCentre, expectedCentre, 3);

    const QRect combo = Cell(0, 6);
    const int h = combo.height();
    const QRect button(combo.right() - h, combo.top() + 1, h - 1, h - 1);
    const QRect textArea(combo.left() + 2, combo.top(), combo.width() - h - 6, h);
    EXPECT_EQ(QColor(image.pixel(textArea.center())), list->palette().color(QPalette::Base));
    const auto [bfirst, blast] = InkSpan(image, button);
    EXPECT_GE(bfirst, button.left());  // the drop arrow is drawn inside the button
    EXPECT_GT(blast, bfirst);
}

}  // namespace
}  // namespace pellion::test

namespace pellion::test {
namespace {

class ListPaintDetails : public PortListFixture {};

TEST_F(ListPaintDetails, CellImagesAndDisabledEditTextAreDrawn) {
    list->InsertColumn(0, "e", 160, CellKind::Edit, ColumnFormat::Left);
    list->InsertItem(0, "MMMM");
    list->InsertItem(1, "MMMM");
    QPixmap red(16, 16);
    red.fill(Qt::red);
    list->SetImageList({red});
    list->GetCell(0, 0).image = 0;
    list->GetCell(1, 0).enabled = false;
    ShowActive();
    list->clearSelection();
    const QImage image = list->viewport()->grab().toImage();

    const QRect withImage = Cell(0, 0);
    const int h = withImage.height();
    EXPECT_EQ(QColor(image.pixel(withImage.left() + h / 2, withImage.top() + h / 2)),
              QColor(Qt::red));
    EXPECT_NE(QColor(image.pixel(withImage.left() + h + 1, withImage.top() + h / 2)),
              QColor(Qt::red));

    // The disabled cell's text is light grey; the enabled one's is dark.
    auto darkest = [&](const QRect& r) {
        int gray = 255;
        for (int x = r.left() + h + 3; x < r.right(); ++x) {
            for (int y = r.top(); y < r.bottom(); ++y) {
                gray = std::min(gray, qGray(image.pixel(x, y)));
            }
        }
        return gray;
    };
    EXPECT_LT(darkest(Cell(0, 0)), 100);
    const int disabled = darkest(Cell(1, 0).adjusted(-h, 0, 0, 0));
    EXPECT_GE(disabled, 150);
    EXPECT_LT(disabled, 255);
}

}  // namespace
}  // namespace pellion::test
