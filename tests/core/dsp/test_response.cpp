#include "dsp/Response.h"

#include "dsp/Scales.h"
#include "model/Records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace quellmarin;

TEST(Response, CrossoverCornersOfEveryType) {
    for (int code = 0; code <= 4; ++code) {
        EXPECT_NEAR(CrossoverSideDb(code, 1.0), -3.0103, 1e-3) << "Butterworth " << code;
        // An order-n Butterworth falls 20 x n dB a decade above the corner.
        EXPECT_NEAR(CrossoverSideDb(code, 10.0), -20.0 * (code + 2), 0.01) << code;
    }
    for (int code = 5; code <= 9; ++code) {
        EXPECT_NEAR(CrossoverSideDb(code, 1.0), -3.0, 0.05) << "Bessel " << code;
        EXPECT_NEAR(CrossoverSideDb(code, 1e-4), 0.0, 1e-6) << code;
        EXPECT_LT(CrossoverSideDb(code, 10.0), CrossoverSideDb(code, 2.0)) << code;
    }
    EXPECT_NEAR(CrossoverSideDb(10, 1.0), -6.0206, 1e-3);
    EXPECT_NEAR(CrossoverSideDb(11, 1.0), -6.0206, 1e-3);
    EXPECT_NEAR(CrossoverSideDb(10, 10.0), -40.09, 0.01);
    EXPECT_NEAR(CrossoverSideDb(11, 10.0), -80.0, 0.01);
    EXPECT_DOUBLE_EQ(CrossoverSideDb(12, 3.0), 0.0) << "unknown codes draw flat";

    // Sides combine; the high-pass side uses fH / f.
    CrossoverParams x{0, 1000, false, 2, 8000, false};
    EXPECT_NEAR(CrossoverDb(x, 1000), CrossoverSideDb(0, 1.0) + CrossoverSideDb(2, 0.125), 1e-9);
    EXPECT_NEAR(CrossoverDb(x, 100), CrossoverSideDb(0, 10) + CrossoverSideDb(2, 100.0 / 8000), 1e-9);
    x.hpfOff = true;
    EXPECT_NEAR(CrossoverDb(x, 8000), -3.0103, 1e-3);
    EXPECT_NEAR(CrossoverOffset(x, 8000, 2.75), 3.0103 * 2.75, 1e-3);
    x.lpfOff = true;
    EXPECT_DOUBLE_EQ(CrossoverOffset(x, 8000, 2.75), 0.0);
}

TEST(Response, EqualiserBandShapes) {
    for (double f : {20.0, 300.0, 1000.0, 5000.0, 20000.0})
        EXPECT_NEAR(EqBandDb(kEqPeaking, f, 1000, 0.0, 4.33), 0.0, 1e-12) << "a 0 dB peaking band is flat";
    EXPECT_NEAR(EqBandDb(kEqPeaking, 1000, 1000, 6.0, 1.0), 6.0, 1e-9);
    EXPECT_NEAR(EqBandDb(kEqPeaking, 1000, 1000, -9.0, 4.0), -9.0, 1e-9);
    EXPECT_NEAR(EqBandDb(kEqBandPass, 1000, 1000, 0, 2.0), 0.0, 1e-12);
    EXPECT_NEAR(EqBandDb(kEqBandPass, 100, 1000, 0, 1.0), 10 * std::log10(0.01 / (0.9801 + 0.01)), 1e-9);
    EXPECT_NEAR(EqBandDb(kEqNotch, 1000, 1000, 0, 4.33), -80.0, 1e-9);
    EXPECT_GT(EqBandDb(kEqNotch, 3000, 1000, 0, 4.33), -1.0);
    // Slope-1 shelves: the full gain far on their side, half of it at the corner.
    EXPECT_NEAR(EqBandDb(kEqHighShelf, 100000, 100, 8.0, 1), 8.0, 0.01);
    EXPECT_NEAR(EqBandDb(kEqHighShelf, 100, 100, 8.0, 1), 4.0, 1e-9);
    EXPECT_NEAR(EqBandDb(kEqHighShelf, 1, 1000, 8.0, 1), 0.0, 0.01);
    EXPECT_NEAR(EqBandDb(kEqLowShelf, 1, 1000, -6.0, 1), -6.0, 0.01);
    EXPECT_NEAR(EqBandDb(kEqLowShelf, 1000, 1000, -6.0, 1), -3.0, 1e-9);
    EXPECT_DOUBLE_EQ(EqBandDb(kEqNone, 1000, 1000, 12, 1), 0.0);
    EXPECT_DOUBLE_EQ(EqBandDb(9, 1000, 1000, 12, 1), 0.0);
}

TEST(Response, GeometryAxes) {
    const PlotGeometry g{40, 10, 1000, 360};
    EXPECT_NEAR(g.ColumnToFrequency(40), 10.0, 1e-9);
    EXPECT_NEAR(g.ColumnToFrequency(40 + 999), 20000.0, 1e-6);
    for (double f : {20.0, 1000.0, 12345.0})
        EXPECT_NEAR(g.ColumnToFrequency(g.FrequencyToColumn(f)), f, 1e-6);
    EXPECT_NEAR(g.ClampColumn(0), g.FrequencyToColumn(20), 1e-9);
    EXPECT_NEAR(g.ClampColumn(5000), g.FrequencyToColumn(20000), 1e-9);
    EXPECT_DOUBLE_EQ(g.ClampColumn(500), 500);
    EXPECT_DOUBLE_EQ(g.ZeroDbRow(), 10 + 8 * 20.0);
    EXPECT_DOUBLE_EQ(g.RowOfDb(24), 10);
    EXPECT_DOUBLE_EQ(g.RowOfDb(-30), 370);
    EXPECT_DOUBLE_EQ(g.DbOfRow(g.RowOfDb(-7.5)), -7.5);

    EXPECT_DOUBLE_EQ(InternalGainOfRow(g, g.ZeroDbRow()), 46);
    for (double gain : {-12.0, -3.0, 0.0, 7.5, 12.0})
        EXPECT_NEAR(DisplayGainPrime(g, gain), gain * g.Unit() / 41.25, 1e-9);
    EXPECT_NEAR(DisplayGainPrime(g, 30), 12 * g.Unit() / 41.25, 1e-9) << "gain is clamped to +12";
    EXPECT_DOUBLE_EQ(ClampHighPassCorner(10), 19.9);
    EXPECT_DOUBLE_EQ(ClampHighPassCorner(30000), 20200);
    EXPECT_DOUBLE_EQ(ClampHighPassCorner(500), 500);
    EXPECT_DOUBLE_EQ(ClampLowPassCorner(20), 20);
    EXPECT_DOUBLE_EQ(ClampLowPassCorner(19), 20);
    EXPECT_DOUBLE_EQ(ClampLowPassCorner(20200), 20200);
}

TEST(Response, DefaultsGiveAFlatTotal) {
    const PlotGeometry g{0, 0, 800, 270};
    ResponseCurves curves(g);
    const SystemParameters p = DefaultSystemParameters();
    for (int j = 0; j < 7; ++j) {
        const PeqBand& b = p.OutCH[0].Peq[j];
        curves.SetBand(5 + j, {true, b.Type, FrequencyValues()[b.Freq], GainValues()[b.Level], b.Q});
    }
    const OutputChannel& o = p.OutCH[0];
    curves.SetCrossover({o.HpfType, CrossoverFrequencyValues()[o.HpfFreq],
                         o.HpfFreq<1, o.LpfType, CrossoverFrequencyValues()[o.LpfFreq], o.LpfFreq> 121},
                        true);
    ASSERT_EQ(curves.Columns(), 800);
    for (double y : curves.Total()) ASSERT_DOUBLE_EQ(y, g.ZeroDbRow());

    curves.SetBand(1, {true, kEqPeaking, 1000, 0.0, 30});
    for (double y : curves.Total()) ASSERT_NEAR(y, g.ZeroDbRow(), 1e-9);
}

TEST(Response, PeakLandsOnItsGainRowAndOnlyTheChangedBandIsRebuilt) {
    const PlotGeometry g{0, 0, 1000, 360};
    ResponseCurves curves(g);
    curves.SetBand(3, {true, kEqPeaking, 1000, 12.0, 46});
    const auto total = curves.Total();
    const double top = *std::min_element(total.begin(), total.end());
    EXPECT_NEAR(top, g.RowOfDb(12), 0.5) << "a +12 dB peak reaches the +12 dB grid line";

    curves.SetBand(7, {true, kEqNotch, 200, 0, 20});
    curves.SetCrossover({11, 80, false, 0, 20200, true}, true);
    for (int i = 0; i < curves.Columns(); ++i) {
        ASSERT_NEAR(curves.Total()[i],
                    g.ZeroDbRow() + curves.Band(3)[i] + curves.Band(7)[i] + curves.Crossover()[i], 1e-9);
        ASSERT_DOUBLE_EQ(curves.Band(0)[i], 0.0);
    }
    // The crossover is drawn on the grid's own dB scale: -6 dB at its corner is 6 dB below 0 dB.
    const int corner = static_cast<int>(std::lround(g.FrequencyToColumn(80)));
    EXPECT_NEAR(curves.Crossover()[corner],
                -CrossoverDb({11, 80, false, 0, 20200, true}, curves.Geometry().ColumnToFrequency(corner)) *
                    g.Unit() / 3,
                1e-9);

    // A disabled band object contributes nothing, and Q steps above 72 are evaluated as 72.
    curves.SetBand(3, {false, kEqPeaking, 1000, 12.0, 46});
    for (double v : curves.Band(3)) ASSERT_DOUBLE_EQ(v, 0.0);
    ResponseCurves a(g), b(g);
    a.SetBand(0, {true, kEqPeaking, 500, 6, 74});
    b.SetBand(0, {true, kEqPeaking, 500, 6, 72});
    for (int i = 0; i < a.Columns(); ++i) ASSERT_DOUBLE_EQ(a.Band(0)[i], b.Band(0)[i]);
}

TEST(Response, PlotWidthIsBounded) {
    ResponseCurves wide({0, 0, 5000, 300});
    EXPECT_EQ(wide.Columns(), ResponseCurves::kMaxColumns);
    ResponseCurves tiny({0, 0, 1, 300});
    tiny.SetBand(0, {true, kEqPeaking, 1000, 6, 40});
    EXPECT_EQ(tiny.Columns(), 1);
    ResponseCurves none({0, 0, 0, 0});
    none.SetBand(0, {true, kEqNotch, 1000, 6, 40});
    EXPECT_EQ(none.Columns(), 0);
    EXPECT_TRUE(none.Total().empty());
}
