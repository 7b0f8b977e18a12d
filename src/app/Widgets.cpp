#include "app/Widgets.h"

#include "app/PanelLogic.h"

#include <QMouseEvent>
#include <QPainter>

namespace quellmarin::ui {

LevelMeterStrip::LevelMeterStrip(bool inputStrip, DeviceModel model, QWidget* parent)
    : QWidget(parent), input_(inputStrip), model_(model) {
    Reset();
    setMinimumSize(140, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LevelMeterStrip::SetLevels(const std::array<std::uint8_t, 8>& levels) {
    std::vector<int> next = MeterColumns(levels, input_, model_);
    if (next == columns_) return;
    columns_ = std::move(next);
    update();
}

void LevelMeterStrip::Reset() {
    columns_.assign(input_ && model_ == DeviceModel::Ketra ? 4 : 8, 0);
    update();
}

int LevelMeterStrip::LitSegmentsOf(int column) const {
    return LitSegments(columns_.at(column));
}

void LevelMeterStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(14, 17, 22));
    const int n = static_cast<int>(columns_.size());
    const double colWidth = width() / static_cast<double>(n);
    const double segHeight = height() / static_cast<double>(kMeterSegments);
    const QColor green(0, 255, 0), yellow(255, 255, 0), red(255, 0, 0), off(34, 40, 48);
    p.setPen(QPen(QColor(8, 10, 12), 1));
    for (int c = 0; c < n; ++c) {
        const int lit = LitSegments(columns_[c]);
        const double x = c * colWidth + colWidth * 0.18;
        const double w = colWidth * 0.64;
        for (int s = 0; s < kMeterSegments; ++s) {
            const double y = height() - (s + 1) * segHeight;
            QColor color = off;
            if (s < lit) {
                const SegmentColor sc = ColorOfSegment(s);
                color = sc == SegmentColor::Green ? green : sc == SegmentColor::Yellow ? yellow : red;
            }
            p.setBrush(color);
            p.drawRect(QRectF(x, y, w, segHeight));
        }
    }
}

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
    const QColor litColor = kind_ == Status ? QColor(255, 60, 40) : QColor(60, 210, 255);
    p.setPen(QPen(QColor(70, 78, 90), 1));
    p.setBrush(lit_ ? litColor : QColor(40, 46, 54));
    if (kind_ == Status) {
        p.drawEllipse(QRectF(4, 2, 10, 10));
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
