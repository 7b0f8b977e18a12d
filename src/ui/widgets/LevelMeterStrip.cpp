#include "widgets/LevelMeterStrip.h"

#include "panel/PanelLogic.h"

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

QPixmap LevelMeterStrip::Paint(bool lit) const {
    QPixmap pix(size() * devicePixelRatioF());
    pix.setDevicePixelRatio(devicePixelRatioF());
    QPainter p(&pix);
    p.fillRect(rect(), QColor(14, 17, 22));
    const int n = static_cast<int>(columns_.size());
    const double colWidth = width() / static_cast<double>(n);
    const double segHeight = height() / static_cast<double>(kMeterSegments);
    const QColor green(0, 255, 0), yellow(255, 255, 0), red(255, 0, 0), off(34, 40, 48);
    p.setPen(QPen(QColor(8, 10, 12), 1));
    for (int c = 0; c < n; ++c) {
        const double x = c * colWidth + colWidth * 0.18;
        const double w = colWidth * 0.64;
        for (int s = 0; s < kMeterSegments; ++s) {
            const double y = height() - (s + 1) * segHeight;
            QColor color = off;
            if (lit) {
                const SegmentColor sc = ColorOfSegment(s);
                color = sc == SegmentColor::Green ? green : sc == SegmentColor::Yellow ? yellow : red;
            }
            p.setBrush(color);
            p.drawRect(QRectF(x, y, w, segHeight));
        }
    }
    return pix;
}

void LevelMeterStrip::paintEvent(QPaintEvent*) {
    if (lit_.deviceIndependentSize() != QSizeF(size()) || lit_.devicePixelRatio() != devicePixelRatioF()) {
        lit_ = Paint(true);
        unlit_ = Paint(false);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, unlit_);
    const int n = static_cast<int>(columns_.size());
    const double colWidth = width() / static_cast<double>(n);
    const double segHeight = height() / static_cast<double>(kMeterSegments);
    const double ratio = lit_.devicePixelRatio();
    for (int c = 0; c < n; ++c) {
        const int lit = LitSegments(columns_[c]);
        if (lit == 0) continue;
        // The lit part of a column, its outline included, copied from the lit picture.
        const QRectF area(c * colWidth, height() - lit * segHeight - 1, colWidth, lit * segHeight + 1);
        p.drawPixmap(area, lit_,
                     QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
    }
}

} // namespace quellmarin::ui
