#include "widgets/Lamp.h"

#include <QMouseEvent>
#include <QPainter>

namespace quellmarin::ui {

Lamp::Lamp(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setFixedSize(18, 14);
    if (kind_ == Link) setCursor(Qt::PointingHandCursor);
}

void Lamp::SetLit(bool lit) {
    if (lit == lit_) return;
    lit_ = lit;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor litColor = kind_ == Link ? QColor(60, 210, 255) : QColor(255, 60, 40);
    p.setPen(QPen(QColor(70, 78, 90), 1));
    p.setBrush(lit_ ? litColor : QColor(40, 46, 54));
    if (kind_ == Status || kind_ == Limit) {
        const QRectF body(3.5, 1.5, 11, 11);
        if (kind_ == Status)
            p.drawEllipse(body);
        else
            p.drawRoundedRect(body, 2, 2);
        if (!mark_.isEmpty()) {
            QFont f = p.font();
            f.setPixelSize(8);
            f.setBold(true);
            p.setFont(f);
            p.setPen(lit_ ? QColor(255, 255, 255) : QColor(150, 160, 172));
            p.drawText(body, Qt::AlignCenter, mark_);
        }
    } else {
        // Two chain links.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(lit_ ? litColor : QColor(80, 88, 100), 1.6));
        p.drawRoundedRect(QRectF(1.5, 4, 8, 6), 3, 3);
        p.drawRoundedRect(QRectF(8.5, 4, 8, 6), 3, 3);
    }
}

void Lamp::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
}

} // namespace quellmarin::ui
