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
