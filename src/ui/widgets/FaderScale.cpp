#include "widgets/FaderScale.h"

#include "widgets/Controls.h"

#include <QPainter>

namespace quellmarin::ui {

FaderScale::FaderScale(const SkinSlider* fader, QWidget* parent) : QWidget(parent), fader_(fader) {
    setMinimumWidth(34);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void FaderScale::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    const SliderModel& model = fader_->Model();
    const int offset = fader_->mapTo(window(), QPoint(0, 0)).y() - mapTo(window(), QPoint(0, 0)).y();
    for (const int db : {12, 0, -12, -24, -40, -60, -90}) {
        const int y = offset + model.ThumbCenter(13 - db);
        p.setPen(QColor(90, 100, 112));
        p.drawLine(width() - 5, y, width() - 1, y);
        p.setPen(db == 0 ? QColor(255, 196, 64) : QColor(150, 160, 172));
        p.drawText(QRect(0, y - 8, width() - 7, 16), Qt::AlignRight | Qt::AlignVCenter,
                   db > 0 ? QString("+%1").arg(db) : QString::number(db));
    }
}

} // namespace quellmarin::ui
