#include "widgets/RigMeters.h"

#include "panel/PanelLogic.h"

#include <QPainter>

namespace quellmarin::ui {

namespace {
constexpr int kBar = 4, kGap = 1, kSectionGap = 6, kLamp = 4;

QString Channels(const char* what, const std::vector<bool>& lit) {
    QStringList numbers;
    for (std::size_t i = 0; i < lit.size(); ++i)
        if (lit[i]) numbers << QString::number(i + 1);
    if (numbers.isEmpty()) return {};
    return QString(what) + (numbers.size() == 1 ? "" : "s") + " " + numbers.join(", ") + ".";
}
} // namespace

RigMeters::RigMeters(DeviceModel model, QWidget* parent) : QWidget(parent), model_(model) {
    Reset();
    setMinimumSize(sizeHint());
}

QSize RigMeters::sizeHint() const {
    const int bars = static_cast<int>(in_.size() + out_.size());
    return {bars * (kBar + kGap) + kSectionGap + 4, 16};
}

void RigMeters::SetFrame(const LevelFrame& frame) {
    std::vector<int> in = MeterColumns(frame.in, true, model_);
    std::vector<int> out = MeterColumns(frame.out, false, model_);
    std::vector<bool> clip(in.size()), limit(out.size());
    for (std::size_t i = 0; i < clip.size(); ++i) clip[i] = IndicatorLit(frame.inStatus, static_cast<int>(i));
    for (std::size_t i = 0; i < limit.size(); ++i) limit[i] = IndicatorLit(frame.outStatus, static_cast<int>(i));
    if (in == in_ && out == out_ && clip == clip_ && limit == limit_) return;
    const bool lampsChanged = clip != clip_ || limit != limit_;
    in_ = std::move(in);
    out_ = std::move(out);
    clip_ = std::move(clip);
    limit_ = std::move(limit);
    if (lampsChanged) setAccessibleDescription(LampText());
    update();
}

void RigMeters::Reset() {
    LevelFrame silent;
    in_ = MeterColumns(silent.in, true, model_);
    out_ = MeterColumns(silent.out, false, model_);
    clip_.assign(in_.size(), false);
    limit_.assign(out_.size(), false);
    setAccessibleDescription(LampText());
    update();
}

QString RigMeters::LampText() const {
    const QString clip = Channels("input", clip_), limit = Channels("output", limit_);
    if (clip.isEmpty() && limit.isEmpty()) return "No clip or limit";
    QStringList parts;
    if (!clip.isEmpty()) parts << "Clip: " + clip;
    if (!limit.isEmpty()) parts << "Limit: " + limit;
    return parts.join(" ");
}

void RigMeters::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(24, 24, 28));
    const int top = kLamp + 2, height = std::max(4, this->height() - top - 1);
    int x = 2;
    const auto column = [&](int level, bool lamp) {
        p.fillRect(x, top, kBar, height, QColor(52, 52, 58));
        const int lit = height * std::clamp(level, 0, 96) / 96;
        p.fillRect(x, top + height - lit, kBar, lit, level > 84 ? QColor(230, 190, 40) : QColor(60, 200, 90));
        if (lamp) p.fillRect(x, 0, kBar, kLamp, QColor(235, 40, 40));
        x += kBar + kGap;
    };
    for (std::size_t i = 0; i < in_.size(); ++i) column(in_[i], clip_[i]);
    x += kSectionGap;
    for (std::size_t i = 0; i < out_.size(); ++i) column(out_[i], limit_[i]);
}

} // namespace quellmarin::ui
