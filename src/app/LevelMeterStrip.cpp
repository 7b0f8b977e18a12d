#include "app/LevelMeterStrip.h"

#include "app/PanelLogic.h"

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

} // namespace quellmarin::ui
