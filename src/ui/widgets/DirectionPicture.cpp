#include "widgets/DirectionPicture.h"

#include <QPainter>
#include <QPainterPath>

namespace quellmarin::ui {

DirectionPicture::DirectionPicture(const bool* download, QWidget* parent)
    : QWidget(parent), download_(download) {
    setMinimumSize(230, 70);
    setAccessibleName("Direction of the transfer");
}

void DirectionPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF pc(10, 14, 70, 42), dev(width() - 100, 22, 90, 26);
    p.setPen(QPen(QColor(150, 170, 190), 1.5));
    p.setBrush(QColor(30, 38, 48));
    p.drawRoundedRect(pc, 5, 5);
    p.drawRoundedRect(dev, 4, 4);
    p.setPen(QColor(220, 228, 238));
    p.drawText(pc, Qt::AlignCenter, "PC");
    p.drawText(dev, Qt::AlignCenter, "DEVICE");
    const double y = height() / 2.0, x1 = pc.right() + 10, x2 = dev.left() - 10;
    p.setPen(QPen(QColor(255, 196, 64), 3));
    p.drawLine(QPointF(x1, y), QPointF(x2, y));
    QPainterPath head;
    if (*download_) {
        head.moveTo(x2, y);
        head.lineTo(x2 - 12, y - 7);
        head.lineTo(x2 - 12, y + 7);
    } else {
        head.moveTo(x1, y);
        head.lineTo(x1 + 12, y - 7);
        head.lineTo(x1 + 12, y + 7);
    }
    head.closeSubpath();
    p.fillPath(head, QColor(255, 196, 64));
}

} // namespace quellmarin::ui
