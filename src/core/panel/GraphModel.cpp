#include "panel/GraphModel.h"

#include "dsp/Scales.h"
#include "edit/EqEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quellmarin {

namespace {
std::string Fmt(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}
bool UsesGain(int type) {
    return type == kEqPeaking || type == kEqHighShelf || type == kEqLowShelf;
}
bool UsesQ(int type) {
    return type == kEqPeaking || type == kEqBandPass || type == kEqNotch;
}

void LoadBand(EqBand& b, const PeqBand& r, int channel, bool on) {
    const BandSetting s = EqEditor::SettingOf(r);
    b.channel = channel;
    b.type = s.type;
    b.freqStep = s.freqStep;
    b.freqHz = s.freqHz;
    b.gainDb = s.gainDb;
    b.qStep = s.qStep;
    b.on = on;
}
} // namespace

GraphModel::GraphModel(DeviceModel model) : model_(model) {
    for (int i = 0; i < 12; ++i) {
        bands_[i].output = i >= 5;
        bands_[i].band = i >= 5 ? i - 5 : i;
    }
}

void GraphModel::SetHooks(BandHook band, CrossoverHook crossover) {
    bandHook_ = std::move(band);
    crossoverHook_ = std::move(crossover);
}

void GraphModel::SetPlot(const PlotGeometry& plot) {
    curves_.SetGeometry(plot);
    for (int i = 0; i < 12; ++i) SetBandCurve(i);
    SetCrossoverCurve();
    RebuildOtherOutputs();
}

void GraphModel::RebuildOtherOutputs() {
    others_.clear();
    if (!showOthers_ || input_) return;
    const auto xf = CrossoverFrequencyValues();
    ResponseCurves curves(Plot());
    for (int k = 0; k < 8; ++k) {
        if (k == crossover_.channel) continue;
        const OutputChannel& o = outputs_[std::min<int>(outputs_[k].LinkIndex, 7)];
        for (int j = 0; j < kOutputBands; ++j) {
            const BandSetting b = EqEditor::SettingOf(o.Peq[j]);
            curves.SetBand(j, {o.PeqEnable != 0, b.type, b.freqHz, b.gainDb, b.qStep});
        }
        const int hp = std::min<int>(o.HpfFreq, 123), lp = std::min<int>(o.LpfFreq, 123);
        curves.SetCrossover({o.HpfType, xf[hp], hp<1, o.LpfType, xf[lp], lp> 121}, true);
        const auto total = curves.Total();
        others_.emplace_back(total.begin(), total.end());
    }
}

void GraphModel::LoadInput(const SystemParameters& p, int channel) {
    input_ = true;
    others_.clear();
    const InputChannel& in = p.InCH[std::min<int>(p.InCH[channel].LinkIndex, 7)];
    for (int j = 0; j < 5; ++j) LoadBand(bands_[j], in.Peq[j], channel, in.PeqEnable != 0);
    for (int i = 0; i < 12; ++i) {
        bands_[i].selected = bands_[i].selected && i < 5;
        bands_[i].dragging = false;
        if (i >= 5) bands_[i].on = false;
        SetBandCurve(i);
    }
    SetCrossoverCurve();
}

void GraphModel::LoadOutput(const SystemParameters& p, int channel) {
    input_ = false;
    std::copy(std::begin(p.OutCH), std::end(p.OutCH), outputs_.begin());
    const OutputChannel& out = p.OutCH[std::min<int>(p.OutCH[channel].LinkIndex, 7)];
    for (int j = 0; j < 7; ++j) LoadBand(bands_[5 + j], out.Peq[j], channel, out.PeqEnable != 0);
    for (int i = 0; i < 5; ++i) {
        bands_[i].on = false;
        bands_[i].selected = bands_[i].dragging = false;
    }
    const auto xf = CrossoverFrequencyValues();
    crossover_.channel = channel;
    crossover_.hpf.type = out.HpfType;
    crossover_.hpf.step = std::min<int>(out.HpfFreq, 123);
    crossover_.hpf.freqHz = xf[crossover_.hpf.step];
    crossover_.hpf.off = crossover_.hpf.step < 1;
    crossover_.lpf.type = out.LpfType;
    crossover_.lpf.step = std::min<int>(out.LpfFreq, 123);
    crossover_.lpf.freqHz = xf[crossover_.lpf.step];
    crossover_.lpf.off = crossover_.lpf.step > 121;
    for (int i = 0; i < 12; ++i) SetBandCurve(i);
    SetCrossoverCurve();
    RebuildOtherOutputs();
}

void GraphModel::SelectBand(std::optional<int> index) {
    for (int i = FirstBand(); i < FirstBand() + BandCount(); ++i) bands_[i].selected = index && i == *index;
    crossover_.hpf.selected = crossover_.lpf.selected = false;
}

bool GraphModel::EqOn() const {
    return bands_[FirstBand()].on;
}

std::optional<bool> GraphModel::CornerAt(double x, double y) const {
    if (input_) return std::nullopt;
    for (bool hp : {true, false}) {
        const CrossoverCorner& c = hp ? crossover_.hpf : crossover_.lpf;
        const double half = c.diameter / 2;
        if (std::abs(x - CornerX(c)) <= half && std::abs(y - CornerY()) <= half) return hp;
    }
    return std::nullopt;
}

void GraphModel::SetCornerType(bool highPass, int type) {
    if (input_ || type < 0 || type > 11) return;
    (highPass ? crossover_.hpf : crossover_.lpf).type = type;
    SetCrossoverCurve();
    NotifyCrossover();
}

void GraphModel::SetBandCurve(int index) {
    const EqBand& b = bands_[index];
    const bool inSection = input_ ? index < 5 : index >= 5;
    curves_.SetBand(index, {b.on && inSection, b.type, b.freqHz, b.gainDb, b.qStep});
}

void GraphModel::SetCrossoverCurve() {
    const CrossoverParams x{crossover_.hpf.type, crossover_.hpf.freqHz, crossover_.hpf.off,
                            crossover_.lpf.type, crossover_.lpf.freqHz, crossover_.lpf.off};
    curves_.SetCrossover(x, !input_);
}

std::optional<int> GraphModel::SelectedBand() const {
    for (int i = FirstBand(); i < FirstBand() + BandCount(); ++i)
        if (bands_[i].selected) return i;
    return std::nullopt;
}

double GraphModel::BandX(const EqBand& b) const {
    return Plot().ClampColumn(Plot().FrequencyToColumn(b.freqHz));
}
double GraphModel::BandY(const EqBand& b) const {
    return Plot().RowOfDb(b.gainDb);
}
double GraphModel::CornerX(const CrossoverCorner& c) const {
    return Plot().ClampColumn(Plot().FrequencyToColumn(std::max(c.freqHz, 1.0)));
}
double GraphModel::CornerY() const {
    return Plot().RowOfDb(-3);
}

std::optional<int> GraphModel::BandAt(double x, double y) const {
    for (int i = FirstBand(); i < FirstBand() + BandCount(); ++i) {
        const double half = kBandHandle / 2;
        if (std::abs(x - BandX(bands_[i])) <= half && std::abs(y - BandY(bands_[i])) <= half) return i;
    }
    return std::nullopt;
}

bool GraphModel::Press(double x, double y) {
    if (const auto hit = BandAt(x, y)) {
        for (int i = FirstBand(); i < FirstBand() + BandCount(); ++i) bands_[i].selected = i == *hit;
        bands_[*hit].dragging = true;
        crossover_.hpf.selected = crossover_.lpf.selected = false;
        return true;
    }
    if (input_) return false;
    for (int side = 1; side <= 2; ++side) {
        CrossoverCorner& c = side == 1 ? crossover_.hpf : crossover_.lpf;
        const double half = c.diameter / 2;
        if (std::abs(x - CornerX(c)) <= half && std::abs(y - CornerY()) <= half) {
            crossover_.hpf.selected = side == 1;
            crossover_.lpf.selected = side == 2;
            c.dragging = true;
            draggedCorner_ = side;
            for (int i = 5; i < 12; ++i) bands_[i].selected = false;
            SetCrossoverCurve();
            return true;
        }
    }
    return false;
}

bool GraphModel::Move(double x, double y) {
    const PlotGeometry& g = Plot();
    for (int i = FirstBand(); i < FirstBand() + BandCount(); ++i) {
        EqBand& b = bands_[i];
        if (!b.dragging) continue;
        // The handle follows the pointer on the device's own steps, so that what the label shows is
        // what is stored: the table frequency and the 0.5 dB level below the pointer.
        const double hz = std::clamp(g.ColumnToFrequency(x), 20.0, 20000.0);
        const double row12 = g.top + 4 * g.Unit();
        const double db = std::clamp(12 - (y - row12) * 24 / (8 * g.Unit()), -12.0, 12.0);
        b.freqStep = SnapEqBandFrequency(hz, b.freqStep).step;
        b.freqHz = FrequencyValues()[b.freqStep];
        b.gainDb = std::trunc((db + 12) * 2) / 2 - 12;
        SetBandCurve(i);
        NotifyBand(i);
        return true;
    }
    if (draggedCorner_ == 0) return false;
    CrossoverCorner& c = draggedCorner_ == 1 ? crossover_.hpf : crossover_.lpf;
    const double f = g.ColumnToFrequency(x);
    if (draggedCorner_ == 1) {
        c.step = HighPassStep(ClampHighPassCorner(f));
        c.off = c.step < 1;
    } else {
        c.step = LowPassStep(ClampLowPassCorner(f));
        c.off = c.step > 121;
    }
    c.freqHz = CrossoverFrequencyValues()[c.step];
    SetCrossoverCurve();
    NotifyCrossover();
    return true;
}

void GraphModel::Release() {
    for (EqBand& b : bands_) b.dragging = false;
    crossover_.hpf.dragging = crossover_.lpf.dragging = false;
    draggedCorner_ = 0;
}

bool GraphModel::Dragging() const {
    return draggedCorner_ != 0 ||
           std::any_of(bands_.begin(), bands_.end(), [](const EqBand& b) { return b.dragging; });
}

std::optional<int> GraphModel::RightPress(double x, double y, long nowMs) {
    rightPressMs_ = nowMs;
    const auto hit = BandAt(x, y);
    if (hit)
        for (int i = FirstBand(); i < FirstBand() + BandCount(); ++i) bands_[i].selected = i == *hit;
    return hit;
}

std::optional<int> GraphModel::MenuBand(double x, double y, long nowMs) const {
    if (nowMs - rightPressMs_ >= kMenuClickMs) return std::nullopt;
    return BandAt(x, y);
}

std::vector<std::string> GraphModel::TypeMenuTexts(int bandIndex) const {
    const EqBand& b = bands_[bandIndex];
    const std::string ch = ChannelTag(b.output ? Section::Output : Section::Input, b.channel, model_);
    return {"OFF\t\t" + ch,    "Peaking\t" + ch,  "Bandpass\t" + ch,
            "Hi-shelf\t" + ch, "Lo-shelf\t" + ch, "Notch\t\t" + ch};
}

void GraphModel::SetSelectedType(int type) {
    const auto sel = SelectedBand();
    if (!sel || type < 0 || type >= kEqTypeCount) return;
    bands_[*sel].type = type;
    SetBandCurve(*sel);
    NotifyBand(*sel);
}

bool GraphModel::Wheel(double x, double y, int notches) {
    const auto hit = BandAt(x, y);
    if (!hit || notches == 0) return false;
    EqBand& b = bands_[*hit];
    b.qStep = std::clamp(b.qStep + notches, 0, kEqQMax);
    SetBandCurve(*hit);
    NotifyBand(*hit);
    return true;
}

void GraphModel::Pulse(double& size, bool& growing) {
    size += growing ? 0.5 : -1.2;
    if (size > 30) growing = false;
    if (size < 22) growing = true;
}

void GraphModel::Tick() {
    for (CrossoverCorner* c : {&crossover_.hpf, &crossover_.lpf}) {
        if (c->selected)
            Pulse(c->diameter, c->growing);
        else
            c->diameter = kCornerHandle;
    }
    for (EqBand& b : bands_) {
        if (b.selected)
            Pulse(b.ring, b.growing);
        else
            b.ring = 22;
    }
}

std::vector<std::string> GraphModel::BandLabels(int index) const {
    const EqBand& b = bands_[index];
    std::vector<std::string> labels{BandFrequencyText(SnapEqBandFrequency(b.freqHz, b.freqStep).labelHz)};
    if (UsesGain(b.type)) labels.push_back(Fmt("%0.2fdB", b.gainDb));
    if (UsesQ(b.type)) labels.push_back(Fmt("Q:%0.2f", QValues()[std::clamp(b.qStep, 0, kEqQMax)]));
    return labels;
}

std::string GraphModel::CornerLabel(bool highPass) const {
    const CrossoverCorner& c = highPass ? crossover_.hpf : crossover_.lpf;
    return SnapCornerFrequency(c.freqHz, c.step, c.off).label;
}

std::string GraphModel::BandTooltip(int index) const {
    const EqBand& b = bands_[index];
    std::string text = std::string(EqTypeMenuText(b.type)) + "  band " + std::to_string(b.band + 1);
    for (const std::string& l : BandLabels(index)) text += "  " + l;
    return text;
}

std::string GraphModel::ShownChannel() const {
    return input_ ? ChannelName(Section::Input, bands_[0].channel, model_)
                  : ChannelName(Section::Output, crossover_.channel, model_);
}

std::string GraphModel::DragHint() const {
    for (int i = FirstBand(); i < FirstBand() + BandCount(); ++i)
        if (bands_[i].dragging && bands_[i].type == kEqNone)
            return "Band " + std::to_string(bands_[i].band + 1) +
                   " is OFF and shapes nothing: right-click it to choose a type";
    return {};
}

void GraphModel::NotifyBand(int index) {
    if (bandHook_) bandHook_(bands_[index]);
}

void GraphModel::NotifyCrossover() {
    if (crossoverHook_) crossoverHook_(crossover_);
}

std::vector<BezierSegment> CardinalToBezier(const std::vector<Point2>& pts, double tension) {
    std::vector<BezierSegment> out;
    if (pts.size() < 2) return out;
    const double k = tension / 3;
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
        const Point2& p0 = pts[i == 0 ? 0 : i - 1];
        const Point2& p1 = pts[i];
        const Point2& p2 = pts[i + 1];
        const Point2& p3 = pts[i + 2 < pts.size() ? i + 2 : i + 1];
        out.push_back({{p1.x + k * (p2.x - p0.x), p1.y + k * (p2.y - p0.y)},
                       {p2.x - k * (p3.x - p1.x), p2.y - k * (p3.y - p1.y)},
                       p2});
    }
    return out;
}

std::vector<int> FittingLabels(const std::vector<AxisLabel>& labels, double width, double gap) {
    std::vector<int> order(labels.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return labels[std::size_t(a)].priority > labels[std::size_t(b)].priority;
    });
    std::vector<int> placed;
    for (const int i : order) {
        const AxisLabel& l = labels[std::size_t(i)];
        const double left = l.centre - l.width / 2, right = l.centre + l.width / 2;
        if (left < 0 || right > width) continue;
        const bool clear = std::all_of(placed.begin(), placed.end(), [&](int j) {
            const AxisLabel& o = labels[std::size_t(j)];
            return right + gap <= o.centre - o.width / 2 || o.centre + o.width / 2 + gap <= left;
        });
        if (clear) placed.push_back(i);
    }
    std::sort(placed.begin(), placed.end());
    return placed;
}

std::vector<double> StackLabels(const std::vector<LabelRequest>& plates, const std::vector<LabelBox>& obstacles,
                                double minTop, double maxBottom) {
    std::vector<LabelBox> taken = obstacles;
    std::vector<double> tops;
    const auto collider = [&taken](const LabelBox& box) -> const LabelBox* {
        for (const LabelBox& t : taken)
            if (box.Overlaps(t)) return &t;
        return nullptr;
    };
    for (const LabelRequest& r : plates) {
        LabelBox box = r.above;
        bool free = false;
        // Upwards from above the handle, then downwards from below it; each step clears one box.
        for (int pass = 0; pass < 2 && !free; ++pass) {
            box.top = pass == 0 ? r.above.top : r.belowTop;
            for (std::size_t step = 0; step <= taken.size(); ++step) {
                if (box.top < minTop || box.top + box.height > maxBottom) break;
                const LabelBox* hit = collider(box);
                if (!hit) {
                    free = true;
                    break;
                }
                box.top = pass == 0 ? hit->top - box.height - 1 : hit->top + hit->height + 1;
            }
        }
        if (!free) box.top = r.above.top >= minTop ? r.above.top : r.belowTop;
        taken.push_back(box);
        tops.push_back(box.top);
    }
    return tops;
}

} // namespace quellmarin
