#include <gtest/gtest.h>

#include "ui/CellPainter.h"

namespace ListCtrlEx {
namespace {

TEST(CellGeometry, CheckHotZoneIsHWideFromSevenPixelsInAndFullHeight) {
    const QRect cell = rectFromEdges(100, 40, 160, 60);  // H = 20
    const QRect zone = checkHotZone(cell);
    EXPECT_FALSE(zone.contains(106, 50));
    EXPECT_TRUE(zone.contains(107, 50));
    EXPECT_TRUE(zone.contains(126, 40));
    EXPECT_TRUE(zone.contains(126, 59));
    EXPECT_FALSE(zone.contains(127, 50));
    EXPECT_FALSE(zone.contains(110, 60));
}

TEST(CellGeometry, ProgressFractionAndText) {
    struct Case {
        uint32_t pos, max;
        float fraction;
        const char* text;
    };
    const Case cases[] = {
        {0, 100, 0.0f, "0.00%"},     {1, 3, 1.0f / 3.0f, "33.33%"},
        {150, 100, 1.0f, "100.00%"}, {0, 0, 1.0f, "100.00%"},
        {3, 8, 0.375f, "37.50%"},    {100, 100, 1.0f, "100.00%"},
        {5, 0, 1.0f, "100.00%"},     {0xFFFFFFFFu, 0xFFFFFFFFu, 1.0f, "100.00%"},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(progressFraction(c.pos, c.max), c.fraction) << c.pos << "/" << c.max;
        EXPECT_EQ(progressText(true, c.pos, c.max, "own"), QString(c.text))
            << c.pos << "/" << c.max;
    }
    EXPECT_EQ(progressText(false, 1, 3, QString::fromUtf8("写入中")), QString::fromUtf8("写入中"));
}

TEST(CellGeometry, ProgressFillStartsInsideTheEdgeAndStopsBeforeTheRightEdge) {
    const QRect cell = rectFromEdges(10, 0, 110, 20);  // R = 110, B = 20
    const QRect bar = progressBarRect(cell, cell.left());
    EXPECT_EQ(bar, rectFromEdges(13, 0, 110, 20));

    const QRect empty = progressFillRect(cell, bar, progressFraction(0, 100));
    EXPECT_EQ(empty.width(), 0);

    const QRect third = progressFillRect(cell, bar, progressFraction(1, 3));
    EXPECT_EQ(third, rectFromEdges(14, 1, 14 + 32, 19));  // w = trunc(97 / 3)

    const QRect over = progressFillRect(cell, bar, progressFraction(150, 100));
    EXPECT_EQ(over, rectFromEdges(14, 1, 109, 19));  // clipped at R - 1
}

TEST(CellGeometry, AlternatingRowColoursStartWithCyan) {
    EXPECT_EQ(alternatingRowColour(0), QColor(0, 255, 255));
    EXPECT_EQ(alternatingRowColour(1), QColor(100, 255, 100));
    EXPECT_EQ(alternatingRowColour(2), QColor(0, 255, 255));
}

}  // namespace
}  // namespace ListCtrlEx
