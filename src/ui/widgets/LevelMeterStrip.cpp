#include "widgets/LevelMeterStrip.h"

#include "panel/PanelLogic.h"

#include <algorithm>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace quellmarin::ui {

LevelMeterStrip::LevelMeterStrip(bool inputStrip, DeviceModel model, QWidget* parent)
    : QWidget(parent), input_(inputStrip), model_(model) {
    Reset();
    setMinimumSize(140, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

namespace {
constexpr double kScaleWidth = 26;
}

void LevelMeterStrip::SetLevels(const std::array<std::uint8_t, 8>& levels) {
    std::vector<int> next = MeterColumns(levels, input_, model_);
    const std::vector<int> peaksBefore = peaks_.Peaks();
    peaks_.Update(next, PeakHold::Clock::now());
    if (next == columns_ && peaks_.Peaks() == peaksBefore) return;
    columns_ = std::move(next);
    Describe();
    update();
}

void LevelMeterStrip::Reset() {
    columns_.assign(input_ && model_ == DeviceModel::Ketra ? 4 : 8, 0);
    peaks_.Reset();
    peaks_.Update(columns_, PeakHold::Clock::now());
    Describe();
    update();
}

QString LevelMeterStrip::ColumnName(int column) const {
    const bool ketraInputs = input_ && model_ == DeviceModel::Ketra;
    return QString::fromStdString(
        ChannelName(input_ ? Section::Input : Section::Output, ketraInputs ? column + 4 : column, model_));
}

QString LevelMeterStrip::ColumnText(int column) const {
    const int peak = column < static_cast<int>(Peaks().size()) ? Peaks()[static_cast<std::size_t>(column)] : 0;
    return ColumnName(column) + " level " + QString::fromStdString(MeterLevelText(columns_.at(column))) + ", peak " +
           QString::fromStdString(MeterLevelText(peak));
}

void LevelMeterStrip::Describe() {
    QStringList all;
    for (int c = 0; c < static_cast<int>(columns_.size()); ++c) all << ColumnText(c);
    const QString text = all.join("; ");
    if (text != accessibleDescription()) setAccessibleDescription(text);
}

bool LevelMeterStrip::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        // The channel under the pointer, with its level and peak in decibels.
        const auto* help = static_cast<QHelpEvent*>(e);
        const QRectF bars = Bars();
        const int n = static_cast<int>(columns_.size());
        const int c = static_cast<int>((help->pos().x() - bars.left()) / (bars.width() / n));
        if (help->pos().x() >= bars.left() && c >= 0 && c < n)
            QToolTip::showText(help->globalPos(), ColumnText(c), this);
        else
            QToolTip::showText(help->globalPos(), toolTip(), this);
        return true;
    }
    return QWidget::event(e);
}

QRectF LevelMeterStrip::Bars() const {
    return QRectF(kScaleWidth, 0, std::max(1.0, width() - kScaleWidth), height());
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
    const QRectF bars = Bars();
    const double colWidth = bars.width() / static_cast<double>(n);
    // The decibel scale at the left: a mark and its number at each level of the scale.
    const double segH = height() / static_cast<double>(kMeterSegments);
    QFont small = p.font();
    small.setPixelSize(9);
    p.setFont(small);
    // A number that would touch the one above it is left out (its mark stays), so a short strip reads
    // 0, -12, -24 rather than a smudge.
    double lastLabel = -1e9;
    for (int db : kMeterScaleDb) {
        const double y = height() - SegmentsAtDb(db) * segH;
        p.setPen(QColor(140, 154, 170));
        p.drawLine(QPointF(kScaleWidth - 4, y), QPointF(kScaleWidth - 1, y));
        const double top = std::clamp(y - 6, 0.0, height() - 12.0);
        if (top - lastLabel < 11) continue;
        p.drawText(QRectF(0, top, kScaleWidth - 5, 12), Qt::AlignRight | Qt::AlignVCenter, QString::number(db));
        lastLabel = top;
    }
    const double segHeight = height() / static_cast<double>(kMeterSegments);
    const QColor green(0, 255, 0), yellow(255, 255, 0), red(255, 0, 0), off(34, 40, 48);
    p.setPen(QPen(QColor(8, 10, 12), 1));
    for (int c = 0; c < n; ++c) {
        const double x = bars.left() + c * colWidth + colWidth * 0.18;
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
    const QRectF bars = Bars();
    const double colWidth = bars.width() / static_cast<double>(n);
    const double segHeight = height() / static_cast<double>(kMeterSegments);
    const double ratio = lit_.devicePixelRatio();
    for (int c = 0; c < n; ++c) {
        const int lit = LitSegments(columns_[c]);
        if (lit > 0) {
            // The lit part of a column, its outline included, copied from the lit picture.
            const QRectF area(bars.left() + c * colWidth, height() - lit * segHeight - 1, colWidth,
                              lit * segHeight + 1);
            p.drawPixmap(area, lit_,
                         QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
        }
        // The held peak: a white line on top of the highest segment it reached.
        const int peak = c < static_cast<int>(Peaks().size()) ? LitSegments(Peaks()[static_cast<std::size_t>(c)]) : 0;
        if (peak > 0) {
            const double y = height() - peak * segHeight;
            p.fillRect(QRectF(bars.left() + c * colWidth + colWidth * 0.18, y, colWidth * 0.64, 2), QColor(245, 245, 245));
        }
    }
}

} // namespace quellmarin::ui
