#include "panel/GraphModel.h"

#include "dsp/Scales.h"
#include "edit/CrossoverEditor.h"
#include "edit/EqEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace quellmarin;

namespace {

// The graph wired to the editors as the front panel wires it.
struct Rig {
    Rig() : graph(DeviceModel::Mivon) {
        graph.SetPlot(plot);
        graph.SetHooks(
            [this](const EqBand& b) {
                (b.output ? outEq : inEq)
                    .ApplyBand(b.channel, b.band, {b.type, b.freqHz, b.freqStep, b.gainDb, b.qStep});
            },
            [this](const CrossoverCurve& x) {
                crossover.ApplyCrossover(x.channel, {x.hpf.type, x.hpf.step, x.lpf.type, x.lpf.step});
            });
    }
    PlotGeometry plot{40, 20, 1000, 360};
    SystemParameters record = DefaultSystemParameters(DeviceModel::Mivon);
    DeviceInfoRecord info = DefaultDeviceInfo(DeviceModel::Mivon);
    std::vector<std::string> frames;
    EditContext ctx{record, info, DeviceModel::Mivon, [] { return std::string("01"); },
                    [this](std::string f) { frames.push_back(std::move(f)); }, {}};
    EqEditor inEq{ctx, Section::Input}, outEq{ctx, Section::Output};
    CrossoverEditor crossover{ctx};
    GraphModel graph;
};

} // namespace

TEST(GraphModel, SectionSwitchingReloadsFromTheLinkedRecord) {
    Rig r;
    r.record.InCH[2].LinkIndex = 0;
    r.record.InCH[0].Peq[1] = {kEqPeaking, 59, 30, 40};
    r.record.InCH[0].PeqEnable = 111;
    r.graph.LoadInput(r.record, 2);
    EXPECT_TRUE(r.graph.InputSection());
    EXPECT_EQ(r.graph.FirstBand(), 0);
    EXPECT_EQ(r.graph.BandCount(), 5);
    EXPECT_EQ(r.graph.Band(1).type, kEqPeaking);
    EXPECT_DOUBLE_EQ(r.graph.Band(1).freqHz, 560.0);
    EXPECT_DOUBLE_EQ(r.graph.Band(1).gainDb, 3.0);
    EXPECT_EQ(r.graph.Band(1).channel, 2);

    r.record.OutCH[4].HpfType = 11;
    r.record.OutCH[4].HpfFreq = 29;
    r.record.OutCH[4].Peq[6] = {kEqNotch, 109, 24, 46};
    r.graph.LoadOutput(r.record, 4);
    EXPECT_FALSE(r.graph.InputSection());
    EXPECT_EQ(r.graph.FirstBand(), 5);
    EXPECT_EQ(r.graph.BandCount(), 7);
    EXPECT_EQ(r.graph.Band(11).type, kEqNotch);
    EXPECT_FALSE(r.graph.Crossover().hpf.off);
    EXPECT_DOUBLE_EQ(r.graph.Crossover().hpf.freqHz, 100.0);
    EXPECT_TRUE(r.graph.Crossover().lpf.off) << "low-pass at 122 is off";
    // Bands of the other section contribute nothing to the total.
    for (int i = 0; i < 5; ++i)
        for (double v : r.graph.Curves().Band(i)) ASSERT_DOUBLE_EQ(v, 0.0);
}

TEST(GraphModel, DefaultsAreFlatAndPressHitsBandsInListOrder) {
    Rig r;
    r.graph.LoadOutput(r.record, 0);
    for (double y : r.graph.Curves().Total()) ASSERT_DOUBLE_EQ(y, r.plot.ZeroDbRow());

    r.record.InCH[0].Peq[2] = {kEqPeaking, 69, 24, 46};
    r.record.InCH[0].Peq[3] = {kEqPeaking, 69, 24, 46}; // the same place: the first in the list wins
    r.graph.LoadInput(r.record, 0);
    const EqBand& b2 = r.graph.Band(2);
    ASSERT_TRUE(r.graph.Press(r.graph.BandX(b2) + 3, r.graph.BandY(b2) - 3));
    EXPECT_TRUE(r.graph.Band(2).selected);
    EXPECT_TRUE(r.graph.Band(2).dragging);
    EXPECT_FALSE(r.graph.Band(3).selected);
    r.graph.Release();
    EXPECT_FALSE(r.graph.Dragging());
    EXPECT_TRUE(r.graph.Band(2).selected) << "a release keeps the selection";
    EXPECT_FALSE(r.graph.Press(5, 5));
}

TEST(GraphModel, DragClampsAndWritesTheRecord) {
    Rig r;
    r.record.InCH[1].LinkIndex = 0;
    r.record.InCH[0].Peq[0] = {kEqPeaking, 69, 24, 46};
    r.graph.LoadInput(r.record, 1);
    const EqBand& b = r.graph.Band(0);
    ASSERT_TRUE(r.graph.Press(r.graph.BandX(b), r.graph.BandY(b)));
    // Far above +12 dB and left of 20 Hz.
    ASSERT_TRUE(r.graph.Move(r.plot.left - 200, r.plot.top - 100));
    EXPECT_DOUBLE_EQ(r.graph.Band(0).gainDb, 12.0);
    EXPECT_DOUBLE_EQ(r.graph.Band(0).freqHz, 20.0);
    EXPECT_EQ(r.record.InCH[0].Peq[0].Freq, 1) << "the linked master's record is written";
    EXPECT_EQ(r.record.InCH[0].Peq[0].Level, 48);
    EXPECT_EQ(r.frames.back(), "(01$027000100148046)");
    // To the 0 dB row at 1 kHz.
    r.graph.Move(r.plot.FrequencyToColumn(1000), r.plot.ZeroDbRow());
    EXPECT_NEAR(r.graph.Band(0).gainDb, 0.0, 1e-9);
    EXPECT_EQ(r.record.InCH[0].Peq[0].Freq, 69);
    EXPECT_EQ(r.record.InCH[0].Peq[0].Level, 24);
    EXPECT_EQ(r.graph.BandLabels(0), (std::vector<std::string>{"1000Hz", "0.00dB", "Q:4.33"}));
    // Below -12 dB and beyond 20 kHz.
    r.graph.Move(r.plot.left + r.plot.width + 300, r.plot.top + r.plot.height + 50);
    EXPECT_DOUBLE_EQ(r.graph.Band(0).gainDb, -12.0);
    EXPECT_DOUBLE_EQ(r.graph.Band(0).freqHz, 20000.0);
    EXPECT_EQ(r.record.InCH[0].Peq[0].Freq, 121);
    EXPECT_EQ(r.record.InCH[0].Peq[0].Level, 0);
    EXPECT_EQ(r.record.InCH[1].Peq[0].Type, 0) << "the member's own record is not touched";
}

TEST(GraphModel, CornerDragSnapsAndSwitchesOff) {
    Rig r;
    r.record.OutCH[3].HpfType = 2;
    r.record.OutCH[3].HpfFreq = 29;
    r.record.OutCH[3].LpfFreq = 100;
    r.graph.LoadOutput(r.record, 3);
    const auto& hpf = r.graph.Crossover().hpf;
    ASSERT_TRUE(r.graph.Press(r.graph.CornerX(hpf), r.graph.CornerY()));
    EXPECT_TRUE(r.graph.Crossover().hpf.selected);
    r.graph.Move(r.plot.FrequencyToColumn(1010), r.graph.CornerY());
    EXPECT_EQ(r.record.OutCH[3].HpfFreq, 69);
    EXPECT_DOUBLE_EQ(r.graph.Crossover().hpf.freqHz, 1000.0);
    EXPECT_EQ(r.frames.back(), "(01$03330206900100)");
    r.graph.Move(r.plot.left - 50, r.graph.CornerY());
    EXPECT_EQ(r.record.OutCH[3].HpfFreq, 0) << "left of 20 Hz the high-pass is off";
    EXPECT_TRUE(r.graph.Crossover().hpf.off);
    EXPECT_EQ(r.graph.CornerLabel(true), "OFF");
    r.graph.Release();

    const auto& lpf = r.graph.Crossover().lpf;
    ASSERT_TRUE(r.graph.Press(r.graph.CornerX(lpf), r.graph.CornerY()));
    r.graph.Move(r.plot.left + r.plot.width + 100, r.graph.CornerY());
    EXPECT_EQ(r.record.OutCH[3].LpfFreq, 122);
    EXPECT_TRUE(r.graph.Crossover().lpf.off);
    for (double y : r.graph.Curves().Total())
        ASSERT_DOUBLE_EQ(y, r.plot.ZeroDbRow()) << "both corners off: flat";
}

TEST(GraphModel, RightClickMenuWheelAnimationAndLabels) {
    Rig r;
    r.record.InCH[5].Peq[4] = {kEqBandPass, 95, 24, 20};
    r.graph.LoadInput(r.record, 5);
    const EqBand& b = r.graph.Band(4);
    const double x = r.graph.BandX(b), y = r.graph.BandY(b);
    ASSERT_EQ(r.graph.RightPress(x, y, 1000), 4);
    EXPECT_TRUE(r.graph.Band(4).selected);
    EXPECT_EQ(r.graph.MenuBand(x, y, 1199), 4);
    EXPECT_EQ(r.graph.MenuBand(x, y, 1200), std::nullopt) << "a right click of 200 ms or more shows no menu";
    EXPECT_EQ(r.graph.MenuBand(x + 40, y, 1100), std::nullopt);
    EXPECT_EQ(r.graph.TypeMenuTexts(4)[0], "OFF\t\tCH[6]");
    EXPECT_EQ(r.graph.TypeMenuTexts(4)[1], "Peaking\tCH[6]");
    EXPECT_EQ(r.graph.TypeMenuTexts(4)[5], "Notch\t\tCH[6]");
    GraphModel ketra(DeviceModel::Ketra);
    ketra.LoadInput(DefaultSystemParameters(DeviceModel::Ketra), 5);
    EXPECT_EQ(ketra.TypeMenuTexts(0)[4], "Lo-shelf\tCH[B]");

    EXPECT_EQ(r.graph.BandLabels(4), (std::vector<std::string>{"4500Hz", "Q:0.97"}))
        << "band-pass has no gain label";
    r.graph.SetSelectedType(kEqHighShelf);
    EXPECT_EQ(r.record.InCH[5].Peq[4].Type, kEqHighShelf);
    EXPECT_EQ(r.graph.BandLabels(4), (std::vector<std::string>{"4500Hz", "0.00dB"}));
    ASSERT_TRUE(r.graph.Wheel(x, y, 3));
    EXPECT_EQ(r.record.InCH[5].Peq[4].Q, 23);
    r.graph.Wheel(x, y, 100);
    EXPECT_EQ(r.record.InCH[5].Peq[4].Q, 72) << "Q stays within the editor's steps";
    EXPECT_FALSE(r.graph.Wheel(x + 60, y, 1));

    // The selected handle pulses: +0.5 a tick while growing, -1.2 while shrinking, between 22 and 30.
    double low = 1e9, high = 0;
    for (int i = 0; i < 200; ++i) {
        r.graph.Tick();
        low = std::min(low, r.graph.Band(4).ring);
        high = std::max(high, r.graph.Band(4).ring);
    }
    EXPECT_GE(low, 22 - 1.2);
    EXPECT_LE(high, 30 + 0.5);
    EXPECT_GT(high - low, 7);
    EXPECT_DOUBLE_EQ(r.graph.Band(3).ring, 22) << "unselected handles keep still";
}

TEST(GraphModel, CardinalSplinePassesThroughThePoints) {
    const std::vector<Point2> pts = {{0, 0}, {10, 10}, {20, 0}, {30, 10}};
    const auto segs = CardinalToBezier(pts, 0.3);
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_DOUBLE_EQ(segs[0].end.x, 10);
    EXPECT_DOUBLE_EQ(segs[2].end.y, 10);
    // Interior tangent at (10,10) is 0.3 x (P2 - P0) = (6, 0), so the controls lie 2 px either side.
    EXPECT_DOUBLE_EQ(segs[0].c2.x, 8);
    EXPECT_DOUBLE_EQ(segs[0].c2.y, 10);
    EXPECT_DOUBLE_EQ(segs[1].c1.x, 12);
    EXPECT_DOUBLE_EQ(segs[1].c1.y, 10);
    EXPECT_TRUE(CardinalToBezier({{1, 1}}, 0.3).empty());
}

TEST(GraphModel, ADraggedBandShowsWhatIsStored) {
    Rig r;
    r.record.InCH[0].PeqEnable = 111;
    r.record.InCH[0].Peq[1] = {kEqPeaking, 59, 24, 46};
    r.graph.LoadInput(r.record, 0);
    const double x = r.graph.BandX(r.graph.Band(1)), y = r.graph.BandY(r.graph.Band(1));
    ASSERT_TRUE(r.graph.Press(x, y));
    for (int step = 1; step < 40; ++step) {
        ASSERT_TRUE(r.graph.Move(x + 3.7 * step, y - 2.3 * step));
        const PeqBand& stored = r.record.InCH[0].Peq[1];
        const EqBand& b = r.graph.Band(1);
        EXPECT_DOUBLE_EQ(b.gainDb, GainValues()[stored.Level]) << step;
        EXPECT_DOUBLE_EQ(b.freqHz, FrequencyValues()[stored.Freq]) << step;
        char level[32];
        std::snprintf(level, sizeof level, "%0.2fdB", GainValues()[stored.Level]);
        EXPECT_EQ(r.graph.BandLabels(1)[1], level) << "the label is the stored level";
    }
    r.graph.Release();
}

TEST(GraphModel, SelectionCornersAndTheOtherOutputs) {
    Rig r;
    r.record.OutCH[2].HpfFreq = 29;
    r.record.OutCH[2].PeqEnable = 111;
    r.graph.SetShowOtherOutputs(true);
    r.graph.LoadOutput(r.record, 2);
    EXPECT_TRUE(r.graph.EqOn());
    EXPECT_EQ(r.graph.OtherOutputs().size(), 7u);
    EXPECT_EQ(r.graph.OtherOutputs()[0].size(), static_cast<std::size_t>(r.graph.Curves().Columns()));
    r.graph.SelectBand(7);
    EXPECT_EQ(r.graph.SelectedBand(), 7);
    r.graph.SelectBand(std::nullopt);
    EXPECT_FALSE(r.graph.SelectedBand());
    const CrossoverCorner& hp = r.graph.Crossover().hpf;
    EXPECT_EQ(r.graph.CornerAt(r.graph.CornerX(hp), r.graph.CornerY()), true);
    EXPECT_FALSE(r.graph.CornerAt(-100, -100));
    r.graph.SetCornerType(true, 11);
    EXPECT_EQ(r.record.OutCH[2].HpfType, 11);
    EXPECT_EQ(r.frames.back(), "(01$03321102900122)");
    r.graph.SetShowOtherOutputs(false);
    r.graph.LoadInput(r.record, 0);
    EXPECT_TRUE(r.graph.OtherOutputs().empty());
    EXPECT_FALSE(r.graph.EqOn());
    EXPECT_FALSE(r.graph.CornerAt(r.graph.CornerX(hp), r.graph.CornerY())) << "inputs have no crossover";
}

TEST(GraphModel, AxisLabelsThatDoNotFitAreDroppedDecadesFirst) {
    // Three labels 30 wide at 20, 40 and 60: the middle one (a decade) wins over both neighbours.
    const std::vector<AxisLabel> crowded = {{20, 30, 0}, {40, 30, 1}, {60, 30, 0}};
    EXPECT_EQ(FittingLabels(crowded, 200, 4), std::vector<int>{1});
    // With room, all in their order; one reaching past the edge is dropped.
    const std::vector<AxisLabel> roomy = {{20, 30, 0}, {100, 30, 1}, {190, 30, 1}};
    EXPECT_EQ(FittingLabels(roomy, 200, 4), (std::vector<int>{0, 1}));
    EXPECT_EQ(FittingLabels(roomy, 300, 4), (std::vector<int>{0, 1, 2}));
}

TEST(GraphModel, BandLabelsNeverCoverEachOtherOrAHandle) {
    // Three bands at 63, 80 and 125 Hz stand a few pixels apart: their plates stack upwards, clear of
    // all three handles, and each keeps its width.
    const std::vector<LabelBox> handles = {{93, 193, 14, 14}, {101, 193, 14, 14}, {113, 193, 14, 14}};
    std::vector<LabelRequest> wanted;
    for (const LabelBox& h : handles) wanted.push_back({{h.left - 15, h.top - 40, 44, 30}, h.top + 24});
    const std::vector<double> tops = StackLabels(wanted, handles, 0, 400);
    ASSERT_EQ(tops.size(), 3u);
    std::vector<LabelBox> placed;
    for (std::size_t i = 0; i < 3; ++i) {
        LabelBox box = wanted[i].above;
        box.top = tops[i];
        for (const LabelBox& other : placed) EXPECT_FALSE(box.Overlaps(other)) << "plate " << i;
        for (const LabelBox& h : handles) EXPECT_FALSE(box.Overlaps(h)) << "plate " << i;
        placed.push_back(box);
    }
    EXPECT_DOUBLE_EQ(tops[0], wanted[0].above.top) << "the first plate keeps its place";
    // No room above a handle at the top: the plate goes below it; no room anywhere: it stays put.
    const std::vector<double> high = StackLabels({{{0, -30, 40, 30}, 30}}, {{10, 0, 14, 14}}, 0, 400);
    EXPECT_DOUBLE_EQ(high[0], 30);
    const std::vector<double> none = StackLabels({{{0, 10, 40, 30}, 30}}, {{0, 0, 40, 100}}, 0, 100);
    EXPECT_DOUBLE_EQ(none[0], 10);
}

TEST(GraphModel, SaysWhichChannelItShowsAndWhyAnOffBandDoesNothing) {
    Rig r;
    r.graph.LoadOutput(r.record, 2);
    EXPECT_EQ(r.graph.ShownChannel(), "Output 3");
    r.graph.LoadInput(r.record, 1);
    EXPECT_EQ(r.graph.ShownChannel(), ChannelName(Section::Input, 1, DeviceModel::Mivon));
    r.record.InCH[1].Peq[2] = {kEqNone, 100, 24, 46};
    r.graph.LoadInput(r.record, 1);
    const double x = r.graph.BandX(r.graph.Band(2)), y = r.graph.BandY(r.graph.Band(2));
    EXPECT_TRUE(r.graph.DragHint().empty());
    ASSERT_TRUE(r.graph.Press(x, y));
    r.graph.Move(x + 30, y - 20);
    EXPECT_EQ(r.graph.DragHint(), "Band 3 is OFF and shapes nothing: right-click it to choose a type");
    r.graph.Release();
    EXPECT_TRUE(r.graph.DragHint().empty());
}
