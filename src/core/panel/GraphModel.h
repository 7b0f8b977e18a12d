// The response graph without pixels: the twelve equaliser band objects (0..4 input, 5..11 output),
// the crossover of the selected output, the section shown, hit-testing, dragging with its clamps,
// the right-click type menu, the wheel, the handle animation and the labels. Every change is handed
// to the hooks, which pass it to the equaliser and crossover editors.
#pragma once

#include "dsp/Response.h"
#include "model/Records.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

struct EqBand {
    int channel = 0; // the channel shown (its LinkIndex names the record written)
    int band = 0;    // band number within the channel
    bool output = false;
    int type = kEqNone;
    double freqHz = 1000;
    int freqStep = 69;
    int qStep = 46;
    double gainDb = 0;
    bool on = false; // draws its curve (the channel's equaliser is on)
    bool selected = false;
    bool dragging = false;
    double ring = 22; // animated ring of the selected handle
    bool growing = true;
};

struct CrossoverCorner {
    int type = 0;
    double freqHz = 0;
    int step = 0;
    bool off = true;
    bool selected = false;
    bool dragging = false;
    double diameter = 27;
    bool growing = true;
};

struct CrossoverCurve {
    int channel = 0;
    CrossoverCorner hpf, lpf;
};

inline constexpr double kBandHandle = 14;   // hit square of a band handle
inline constexpr double kCornerHandle = 27; // corner handle diameter at rest
inline constexpr long kMenuClickMs = 200;

class GraphModel {
  public:
    // Called after every change of a band or the crossover from the graph.
    using BandHook = std::function<void(const EqBand&)>;
    using CrossoverHook = std::function<void(const CrossoverCurve&)>;

    explicit GraphModel(DeviceModel model = kBuildModel);

    void SetHooks(BandHook band, CrossoverHook crossover);
    void SetPlot(const PlotGeometry& plot);
    const PlotGeometry& Plot() const { return curves_.Geometry(); }

    // Section switching: the five input bands of channel c, or the seven output bands and the
    // crossover of output c, loaded from the record through the channel's LinkIndex.
    void LoadInput(const SystemParameters& p, int channel);
    void LoadOutput(const SystemParameters& p, int channel);
    bool InputSection() const { return input_; }
    int FirstBand() const { return input_ ? 0 : 5; }
    int BandCount() const { return input_ ? 5 : 7; }

    // Selects band `index` of the shown section, or no band; the corners lose their selection.
    void SelectBand(std::optional<int> index);
    // The shown channel's equaliser is on (its bands shape the curve).
    bool EqOn() const;
    // The crossover corner under a point: true for the high-pass, false for the low-pass.
    std::optional<bool> CornerAt(double x, double y) const;
    // The slope texts of a corner's menu, and setting a corner's slope type.
    void SetCornerType(bool highPass, int type);

    // The summed responses of the other outputs (absolute rows a column), kept while switched on and
    // an output is shown.
    void SetShowOtherOutputs(bool on) { showOthers_ = on; }
    bool ShowOtherOutputs() const { return showOthers_; }
    const std::vector<std::vector<double>>& OtherOutputs() const { return others_; }

    EqBand& Band(int index) { return bands_[index]; }
    const EqBand& Band(int index) const { return bands_[index]; }
    const CrossoverCurve& Crossover() const { return crossover_; }
    const ResponseCurves& Curves() const { return curves_; }
    std::optional<int> SelectedBand() const;

    double BandX(const EqBand& b) const;
    double BandY(const EqBand& b) const;
    double CornerX(const CrossoverCorner& c) const;
    double CornerY() const;

    // Band under a point (handles of the section in list order), or nothing.
    std::optional<int> BandAt(double x, double y) const;

    // Left button down: the first band hit is selected and dragged; else a corner handle. True on a hit.
    bool Press(double x, double y);
    // Pointer move: drags what was pressed; true when something changed.
    bool Move(double x, double y);
    void Release();
    bool Dragging() const;

    // Right button down over a band handle selects it; the time starts the menu rule.
    std::optional<int> RightPress(double x, double y, long nowMs);
    // The band whose type menu opens: a handle under the point within 200 ms of the right press.
    std::optional<int> MenuBand(double x, double y, long nowMs) const;
    // The six titles of the "filter type" menu for a band.
    std::vector<std::string> TypeMenuTexts(int bandIndex) const;
    // Sets the type of the selected band of the section (as the equaliser's type list does).
    void SetSelectedType(int type);
    // Wheel over a band handle: its Q one table step per notch (forward raises); true when over one.
    bool Wheel(double x, double y, int notches);

    // One 20 ms animation tick of the selected handles.
    void Tick();

    std::vector<std::string> BandLabels(int index) const;
    std::string CornerLabel(bool highPass) const;
    std::string BandTooltip(int index) const;
    // What the graph shows ("Output 3"), and while a band whose type is OFF is dragged, why nothing
    // changes in the sound (empty otherwise).
    std::string ShownChannel() const;
    std::string DragHint() const;

  private:
    void SetBandCurve(int index);
    void SetCrossoverCurve();
    void NotifyBand(int index);
    void NotifyCrossover();
    static void Pulse(double& size, bool& growing);

    void RebuildOtherOutputs();

    DeviceModel model_;
    ResponseCurves curves_;
    bool showOthers_ = false;
    std::array<OutputChannel, 8> outputs_{}; // as last loaded, for the other outputs' curves
    std::vector<std::vector<double>> others_;
    std::array<EqBand, 12> bands_{};
    CrossoverCurve crossover_{};
    bool input_ = true;
    int draggedCorner_ = 0; // 1 high-pass, 2 low-pass
    long rightPressMs_ = -1000000;
    BandHook bandHook_;
    CrossoverHook crossoverHook_;
};

// The axis labels of the graph: frequencies under the plot, levels every 6 dB beside it.
inline constexpr std::array<double, 10> kGraphLabelFrequencies = {20,   50,   100,  200,   500,
                                                                  1000, 2000, 5000, 10000, 20000};
inline constexpr std::array<std::string_view, 10> kGraphFrequencyLabels = {
    "20Hz", "50Hz", "100Hz", "200Hz", "500Hz", "1kHz", "2kHz", "5kHz", "10kHz", "20kHz"};
inline constexpr std::array<std::string_view, 10> kGraphLevelLabels = {
    "+24dB", "+18dB", "+12dB", "  +6dB", "   0dB", "  -6dB", "-12dB", "-18dB", "-24dB", "-30dB"};

// A cardinal spline through points as cubic Bezier segments: for each segment the two control
// points and its end (tension as the drawing library takes it, 0.3 for the graph).
struct Point2 {
    double x, y;
};
struct BezierSegment {
    Point2 c1, c2, end;
};
// Axis labels that fit: each label is centred on its position; the ones with the higher priority are
// placed first, and a label is dropped when it would come closer than `gap` to one already placed or
// reach past 0..width. Returns the indices of the labels to draw, in their order.
struct AxisLabel {
    double centre;
    double width;
    int priority; // higher is placed first
};
std::vector<int> FittingLabels(const std::vector<AxisLabel>& labels, double width, double gap);

// The label plates over the band handles. Each plate wants to stand above its handle (`above`), or
// from `belowTop` down when there is no room above. Plates are placed in their order (put the
// selected band's first); one that would cover a plate already placed or an obstacle (the handles)
// moves up past it, and down from below its handle when it would leave the top; if no place is free
// it keeps its wanted place. Returns the top of each plate.
struct LabelBox {
    double left, top, width, height;
    bool Overlaps(const LabelBox& o) const {
        return left < o.left + o.width && o.left < left + width && top < o.top + o.height && o.top < top + height;
    }
};
struct LabelRequest {
    LabelBox above;
    double belowTop;
};
std::vector<double> StackLabels(const std::vector<LabelRequest>& plates, const std::vector<LabelBox>& obstacles,
                                double minTop, double maxBottom);

std::vector<BezierSegment> CardinalToBezier(const std::vector<Point2>& points, double tension);

} // namespace quellmarin
