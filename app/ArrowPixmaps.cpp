#include "app/ArrowPixmaps.h"

#include <QPainter>
#include <QPolygon>

namespace {

constexpr int kArrowHeight = 18;
constexpr int kSingleWidth = 39;
constexpr int kDoubleWidth = 62;
constexpr int kHeadLength = 8;
const QColor kLightGrey(192, 192, 192);

// A head pointing left with its tip at x (dir +1) or right (dir -1).
void DrawHead(QPainter& p, int tipX, int dir, int midY) {
    const QPolygon head({QPoint(tipX, midY), QPoint(tipX + dir * kHeadLength, midY - 5),
                         QPoint(tipX + dir * kHeadLength, midY + 5)});
    p.drawPolygon(head);
}

}  // namespace

QPixmap ArrowPixmap(ArrowKind kind) {
    const int width = kind == ArrowKind::Both ? kDoubleWidth : kSingleWidth;
    QPixmap pixmap(width, kArrowHeight);
    pixmap.fill(kLightGrey);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    const int midY = kArrowHeight / 2 - 1;
    const int left = 2;
    const int right = width - 3;
    p.drawLine(left + 2, midY, right - 2, midY);
    p.drawLine(left + 2, midY + 1, right - 2, midY + 1);
    if (kind != ArrowKind::Right) DrawHead(p, left, +1, midY);
    if (kind != ArrowKind::Left) DrawHead(p, right, -1, midY);
    return pixmap;
}

QIcon ProgramIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    // A bill going into the acceptor's slot.
    p.setPen(Qt::black);
    p.setBrush(QColor(0, 128, 128));
    p.drawRect(2, 14, 27, 15);
    p.setBrush(QColor(0, 128, 0));
    p.drawRect(8, 2, 15, 16);
    p.setBrush(Qt::black);
    p.drawRect(5, 17, 21, 2);
    p.setPen(QColor(255, 255, 0));
    p.drawText(QRect(8, 2, 16, 14), Qt::AlignCenter, QStringLiteral("Z"));
    return QIcon(pixmap);
}
