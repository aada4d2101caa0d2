// Draws the window's icon and banners (icon.png, banner.png, banner_en.png beside this file). Run once by hand:
//   g++ -std=c++17 -fPIC draw_artwork.cpp -o draw_artwork $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen ./draw_artwork
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QLinearGradient>
#include <QPainterPath>
#include <QFont>

static void drawChip(QPainter& p, QRectF body, QColor bodyColor, QColor pinColor, int pinsPerSide) {
    p.setPen(Qt::NoPen);
    p.setBrush(pinColor);
    const double pinW = body.width() / (pinsPerSide * 2.0 + 1);
    const double pinL = body.width() * 0.16;
    for (int i = 0; i < pinsPerSide; ++i) {
        double off = pinW * (2 * i + 1.5) - pinW * 0.5;
        p.drawRect(QRectF(body.left() + off, body.top() - pinL, pinW, pinL));
        p.drawRect(QRectF(body.left() + off, body.bottom(), pinW, pinL));
        p.drawRect(QRectF(body.left() - pinL, body.top() + off, pinL, pinW));
        p.drawRect(QRectF(body.right(), body.top() + off, pinL, pinW));
    }
    p.setBrush(bodyColor);
    p.drawRoundedRect(body, body.width() * 0.08, body.width() * 0.08);
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    // Icon: a chip with a downward arrow (an image flowing into it).
    {
        QImage img(256, 256, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        drawChip(p, QRectF(48, 48, 160, 160), QColor(0x1f, 0x3a, 0x5f), QColor(0xc8, 0xa0, 0x3c), 5);
        QPainterPath arrow;
        arrow.moveTo(108, 70); arrow.lineTo(148, 70); arrow.lineTo(148, 128);
        arrow.lineTo(176, 128); arrow.lineTo(128, 184); arrow.lineTo(80, 128);
        arrow.lineTo(108, 128); arrow.closeSubpath();
        p.setBrush(QColor(0x4c, 0xd9, 0x7b));
        p.drawPath(arrow);
        p.end();
        img.save("icon.png");
    }
    // Banner 770 x 60, with the tagline in Chinese (banner.png) and in English (banner_en.png).
    const struct {
        const char* tagline;
        const char* file;
    } banners[] = {{"多路串口 · 并行烧录", "banner.png"}, {"Many ports · one run", "banner_en.png"}};
    for (const auto& banner : banners) {
        QImage img(770, 60, QImage::Format_RGB32);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 770, 0);
        g.setColorAt(0, QColor(0x12, 0x2a, 0x4a));
        g.setColorAt(1, QColor(0x2e, 0x6f, 0xa8));
        p.fillRect(img.rect(), g);
        // thin circuit traces
        p.setPen(QPen(QColor(255, 255, 255, 40), 2));
        for (int i = 0; i < 6; ++i) {
            int y = 8 + i * 9;
            p.drawLine(470, y, 560 + i * 12, y);
            p.drawLine(560 + i * 12, y, 575 + i * 12, y + 6);
        }
        for (int i = 0; i < 4; ++i) {
            drawChip(p, QRectF(600 + i * 42, 17, 26, 26), QColor(0x0d, 0x1b, 0x2e), QColor(0xc8, 0xa0, 0x3c), 3);
            p.setBrush(QColor(0x4c, 0xd9, 0x7b));
            p.drawEllipse(QPointF(613 + i * 42, 30), 4, 4);
        }
        drawChip(p, QRectF(18, 14, 32, 32), QColor(0x0d, 0x1b, 0x2e), QColor(0xc8, 0xa0, 0x3c), 3);
        QFont title("Noto Sans CJK SC");
        title.setPixelSize(26);
        title.setBold(true);
        p.setFont(title);
        p.setPen(Qt::white);
        p.drawText(QRectF(66, 0, 300, 60), Qt::AlignVCenter | Qt::AlignLeft, "Pellion");
        QFont sub("Noto Sans CJK SC");
        sub.setPixelSize(17);
        p.setFont(sub);
        p.setPen(QColor(0xd8, 0xe8, 0xf8));
        p.drawText(QRectF(210, 0, 300, 60), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromUtf8(banner.tagline));
        p.end();
        img.save(banner.file);
    }
    return 0;
}
