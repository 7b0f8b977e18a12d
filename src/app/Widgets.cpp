#include "app/Widgets.h"

#include "app/PanelLogic.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

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

int LevelMeterStrip::LitSegmentsOf(int column) const { return LitSegments(columns_.at(column)); }

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

ResponseView::ResponseView(QWidget* parent) : QWidget(parent) { setMinimumSize(360, 200); }

PlotGeometry ResponseView::Plot() const {
    return {52, 22, std::max(2, width() - 52 - 14), std::max(18, height() - 22 - 26)};
}

void ResponseView::SetBands(const std::vector<BandCurveParams>& bands, const CrossoverParams* crossover,
                            const QString& title) {
    bands_ = bands;
    hasCrossover_ = crossover != nullptr;
    if (crossover) crossover_ = *crossover;
    title_ = title;
    Rebuild();
    update();
}

void ResponseView::resizeEvent(QResizeEvent*) { Rebuild(); }

void ResponseView::Rebuild() {
    curves_.SetGeometry(Plot());
    for (int i = 0; i < ResponseCurves::kBandObjects; ++i)
        curves_.SetBand(i, i < static_cast<int>(bands_.size()) ? bands_[i] : BandCurveParams{});
    curves_.SetCrossover(crossover_, hasCrossover_);
}

void ResponseView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(16, 20, 27));
    const PlotGeometry g = curves_.Geometry();
    const QRectF plot(g.left, g.top, g.width, g.height);
    p.fillRect(plot, QColor(10, 13, 18));

    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1));
    p.setFont(small);
    // Level grid: 18 units of 3 dB, labelled every 6 dB.
    for (int u = 0; u <= 18; ++u) {
        const double y = g.top + u * g.Unit();
        const int db = 24 - 3 * u;
        p.setPen(QPen(db == 0 ? QColor(110, 120, 135) : QColor(38, 45, 55), 1));
        p.drawLine(QPointF(g.left, y), QPointF(g.left + g.width, y));
        if (db % 6 == 0) {
            p.setPen(QColor(150, 160, 175));
            p.drawText(QRectF(0, y - 8, g.left - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                       QString("%1dB").arg(db > 0 ? "+" + QString::number(db) : QString::number(db)));
        }
    }
    // Frequency grid: 1-2-5 steps, labelled at the decades and halves.
    for (double decade = 10; decade <= 10000; decade *= 10) {
        for (int m = 1; m <= 9; ++m) {
            const double f = decade * m;
            if (f < 10 || f > 20000) continue;
            const double x = g.FrequencyToColumn(f);
            p.setPen(QPen(m == 1 ? QColor(60, 70, 84) : QColor(32, 38, 47), 1));
            p.drawLine(QPointF(x, g.top), QPointF(x, g.top + g.height));
            if (m == 1 || m == 2 || m == 5) {
                const QString label = f >= 1000 ? QString("%1k").arg(f / 1000) : QString::number(f);
                p.setPen(QColor(150, 160, 175));
                p.drawText(QRectF(x - 20, g.top + g.height + 4, 40, 16), Qt::AlignCenter, label);
            }
        }
    }

    // The summed response as a smooth curve through the column points.
    const auto total = curves_.Total();
    if (!total.empty()) {
        QPainterPath path;
        for (int i = 0; i < curves_.Columns(); ++i) {
            const QPointF pt(g.left + i, std::clamp(total[i], plot.top(), plot.bottom()));
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.save();
        p.setClipRect(plot);
        p.setPen(QPen(QColor(255, 196, 64), 2.2));
        p.drawPath(path);
        p.restore();
    }
    p.setPen(QColor(220, 226, 235));
    p.drawText(QRectF(g.left, 2, g.width, 18), Qt::AlignLeft | Qt::AlignVCenter, title_);
    // The caption on the right only where it does not run into the title.
    const QString caption = "Frequency response";
    if (p.fontMetrics().horizontalAdvance(title_ + caption) + 30 < g.width) {
        p.setPen(QColor(120, 130, 145));
        p.drawText(QRectF(g.left, 2, g.width, 18), Qt::AlignRight | Qt::AlignVCenter, caption);
    }
}

} // namespace quellmarin::ui
