#include "app/Logo.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPolygon>

namespace zul {

namespace {

constexpr int kLogoWidth = 90;
constexpr int kLogoHeight = 45;
constexpr int kIconSize = 32;

// A larch: three stacked tiers over a trunk, centred at x, standing on base.
void DrawTree(QPainter& p, int x, int base) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 70, 30));
    p.drawRect(x - 2, base - 7, 4, 7);
    p.setBrush(QColor(20, 110, 50));
    for (int tier = 0; tier < 3; ++tier) {
        const int bottom = base - 6 - tier * 9;
        const int half = 12 - tier * 3;
        p.drawPolygon(
            QPolygon({QPoint(x - half, bottom), QPoint(x + half, bottom), QPoint(x, bottom - 14)}));
    }
}

// Bold Arial text of the given pixel height, centred in box.
void DrawLabel(QPainter& p, const QRect& box, int pixels, const QColor& colour,
               const QString& text) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

QPixmap DrawLogo() {
    QImage image(kLogoWidth, kLogoHeight, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    p.setPen(QPen(QColor(20, 110, 50), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1, 1, kLogoWidth - 2, kLogoHeight - 2), 6, 6);

    DrawTree(p, 19, 40);

    DrawLabel(p, QRect(34, 4, 52, 24), 20, QColor(20, 110, 50), QStringLiteral("TMK"));
    DrawLabel(p, QRect(34, 27, 52, 12), 9, QColor(40, 40, 40), QStringLiteral("TAMARACK"));
    p.end();
    return QPixmap::fromImage(image);
}

QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    // Drawn on a 32 x 32 grid.
    p.scale(static_cast<qreal>(size) / kIconSize, static_cast<qreal>(size) / kIconSize);

    // The validator's front with its slot.
    p.setPen(Qt::black);
    p.setBrush(Qt::gray);
    p.drawRect(2, 18, 27, 12);
    p.setBrush(Qt::black);
    p.drawRect(6, 21, 19, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::green);
    p.drawRect(24, 26, 3, 2);  // power lamp

    // The note going in.
    p.setPen(Qt::black);
    p.setBrush(Qt::darkGreen);
    p.drawRect(8, 2, 15, 19);
    p.setPen(QPen(Qt::yellow, 2));
    p.drawLine(12, 7, 19, 7);
    p.drawLine(19, 7, 12, 16);
    p.drawLine(12, 16, 19, 16);
    p.end();
    return image;
}

QIcon ProgramIcon() {
    return QIcon(QPixmap::fromImage(DrawProgramIcon(kIconSize)));
}

}  // namespace zul
