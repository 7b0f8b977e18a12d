#include "widgets/CompressorCurve.h"

#include "edit/CompressorEditor.h"

#include <QPainter>
#include <QPainterPath>

namespace quellmarin::ui {

CompressorCurve::CompressorCurve(QWidget* parent) : QWidget(parent) {
    setMinimumSize(196, 196);
    setAccessibleName("Compressor curve");
}

void CompressorCurve::SetCurve(double thresholdDb, int ratioCode) {
    threshold_ = thresholdDb;
    ratio_ = ratioCode;
    update();
}

void CompressorCurve::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(14, 17, 22));
    const QRectF plot = QRectF(rect()).adjusted(46, 8, -8, -36);
    const auto x = [&](double db) { return plot.left() + (db - kLowDb) / (kHighDb - kLowDb) * plot.width(); };
    const auto y = [&](double db) {
        return plot.bottom() - (db - kLowDb) / (kHighDb - kLowDb) * plot.height();
    };
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    for (double db = kLowDb; db <= kHighDb; db += 8) {
        p.setPen(QPen(QColor(40, 48, 58), 1));
        p.drawLine(QPointF(x(db), plot.top()), QPointF(x(db), plot.bottom()));
        p.drawLine(QPointF(plot.left(), y(db)), QPointF(plot.right(), y(db)));
        if (int(db - kLowDb) % 16 != 0) continue; // every other line is labelled, so labels never touch
        p.setPen(QColor(150, 160, 172));
        p.drawText(QRectF(0, y(db) - 7, plot.left() - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(db));
        p.drawText(QRectF(x(db) - 14, plot.bottom() + 4, 28, 14), Qt::AlignCenter, QString::number(db));
    }
    // What the axes measure: the level going in along the bottom, the level coming out up the side.
    p.setPen(QColor(150, 160, 172));
    p.drawText(QRectF(plot.left(), plot.bottom() + 18, plot.width(), 16), Qt::AlignCenter, "Input level (dB)");
    p.save();
    p.translate(2, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), 14), Qt::AlignCenter, "Output level (dB)");
    p.restore();
    // The line of no compression, then the curve.
    p.setPen(QPen(QColor(90, 100, 112), 1, Qt::DashLine));
    p.drawLine(QPointF(x(kLowDb), y(kLowDb)), QPointF(x(kHighDb), y(kHighDb)));
    QPainterPath curve;
    for (int i = 0; i <= 128; ++i) {
        const double in = kLowDb + (kHighDb - kLowDb) * i / 128.0;
        const QPointF pt(x(in), y(std::max(kLowDb, CompressorOutputDb(in, threshold_, ratio_))));
        if (i == 0)
            curve.moveTo(pt);
        else
            curve.lineTo(pt);
    }
    p.setPen(QPen(QColor(255, 196, 64), 2));
    p.drawPath(curve);
    if (threshold_ >= kLowDb && threshold_ <= kHighDb) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 120, 90));
        p.drawEllipse(QPointF(x(threshold_), y(threshold_)), 4, 4);
    }
}

} // namespace quellmarin::ui
