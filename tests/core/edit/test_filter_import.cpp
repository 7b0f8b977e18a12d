// Filters from measurement software: reading the text format, placing filters on the device's steps,
// the response difference the placement makes, applying them as one set of band frames, and the
// round trip through the export.
#include "edit/FilterImport.h"

#include "dsp/Response.h"
#include "dsp/Scales.h"
#include "protocol/Frames.h"
#include "edit/EqEditor.h"
#include "edit/RecordDiff.h"

#include <gtest/gtest.h>

using namespace quellmarin;

namespace {

constexpr const char* kMeasured = R"(Filter Settings file

Room EQ V5.20
Dated: 7 Dec 2026

Notes:measured at the desk
Equaliser: Generic
Preamp: -6.5 dB
Filter  1: ON  PK       Fc   274.0 Hz  Gain  -9.60 dB  Q  5.000
Filter  2: ON  LS       Fc   100 Hz    Gain   3.0 dB
Filter  3: OFF None
# Filter 9: ON PK Fc 50 Hz Gain 6 dB Q 1
Filter  4: ON  NO       Fc  1000 Hz
Filter  5: ON  PK       Fc  2000 Hz  Gain 3 dB  BW Oct 0.5
Filter  6: ON  HSC      Fc  8000 Hz  Gain -2 dB  Q 0.71
Filter: ON BP Fc 500 Hz Q 2
)";

struct Records {
    SystemParameters params = DefaultSystemParameters(DeviceModel::Mivon);
    DeviceInfoRecord info = DefaultDeviceInfo(DeviceModel::Mivon);
    std::vector<std::string> frames;
    EditContext ctx{params, info, DeviceModel::Mivon, [] { return std::string("01"); },
                    [this](std::string f) { frames.push_back(std::move(f)); }, {}};
};

} // namespace

TEST(FilterImport, EveryKindBandwidthPreampAndOffLineBecomeTheBandsAndGain) {
    const FilterFile file = ParseFilterText(kMeasured);
    EXPECT_TRUE(file.unread.empty()) << file.unread.front();
    ASSERT_EQ(file.filters.size(), 7u) << "six ON filters and the OFF one; headers and comments ignored";
    EXPECT_DOUBLE_EQ(*file.preampDb, -6.5);
    EXPECT_NEAR(file.filters[4].q, 2.8710, 1e-3) << "half an octave";

    Records r;
    const ImportPlan plan = PlanImport(file, {Section::Output, 1}, DeviceModel::Mivon);
    EXPECT_FALSE(plan.NeedsConsent());
    ASSERT_EQ(plan.placed.size(), 6u);
    ApplyImport(r.ctx, plan);
    const PeqBand* b = r.params.OutCH[1].Peq;
    const auto at = [](int step) { return FrequencyValues()[step]; };
    EXPECT_EQ(b[0].Type, kEqPeaking);
    EXPECT_EQ(at(b[0].Freq), 280.0);
    EXPECT_EQ(GainValues()[b[0].Level], -9.5);
    EXPECT_EQ(QValues()[b[0].Q], 4.86);
    EXPECT_EQ(b[1].Type, kEqLowShelf);
    EXPECT_EQ(GainValues()[b[1].Level], 3.0);
    EXPECT_EQ(b[2].Type, kEqNotch);
    EXPECT_EQ(at(b[2].Freq), 1000.0);
    EXPECT_EQ(b[3].Type, kEqPeaking);
    EXPECT_EQ(QValues()[b[3].Q], 2.9);
    EXPECT_EQ(b[4].Type, kEqHighShelf);
    EXPECT_EQ(b[5].Type, kEqBandPass);
    EXPECT_EQ(b[6].Type, kEqNone) << "the band left over is switched off";
    EXPECT_EQ(r.params.OutCH[1].PeqEnable, 111);
    EXPECT_EQ(r.params.OutCH[1].Gain, GainCode(-7)) << "-6.5 dB on the whole-dB fader";
    EXPECT_NE(
        std::find(r.frames.begin(), r.frames.end(), FrameOutputPeqBand("01", 1, 0, 1, b[0].Freq, 5, b[0].Q)),
        r.frames.end());
    EXPECT_NE(std::find(r.frames.begin(), r.frames.end(), FrameOutputGain("01", 1, GainCode(-7))),
              r.frames.end());
}

TEST(FilterImport, WhatTheDeviceCannotDoIsSaidAndAsksForConsent) {
    std::string nine = "Preamp: 0 dB\n";
    for (int k = 1; k <= 9; ++k)
        nine +=
            "Filter " + std::to_string(k) + ": ON PK Fc " + std::to_string(100 * k) + " Hz Gain -3 dB Q 2\n";
    ImportPlan plan = PlanImport(ParseFilterText(nine), {Section::Output, 0}, DeviceModel::Mivon);
    ASSERT_TRUE(plan.NeedsConsent());
    EXPECT_EQ(plan.refusals.front(),
              "the file has 9 filters and Output 1 has 7 bands; filters after the 7th are left out");
    EXPECT_EQ(plan.placed.size(), 7u);

    plan =
        PlanImport(ParseFilterText("Filter 1: ON HP Fc 80 Hz\nFilter 2: ON PK Fc 1000 Hz Gain 40 dB Q 50\n"),
                   {Section::Input, 0}, DeviceModel::Mivon);
    ASSERT_TRUE(plan.NeedsConsent());
    EXPECT_EQ(plan.refusals.front(), "line 1: the device has no HP filter; it is left out");
    ASSERT_EQ(plan.placed.size(), 1u);
    EXPECT_EQ(GainValues()[plan.placed[0].steps.Level], 12.0) << "kept within the device's range";
    EXPECT_EQ(plan.notes.back(),
              "line 2: kept within the device's ranges (20..20000 Hz, -12..+12 dB, Q 0.31..19.4)");

    const FilterFile bad = ParseFilterText("Filter 1: ON PK Gain 3 dB Q 1\nFilter 2: maybe PK\n");
    EXPECT_TRUE(bad.filters.empty());
    ASSERT_EQ(bad.unread.size(), 2u);
    EXPECT_EQ(bad.unread[0], "line 1: no frequency (Fc)");
}

TEST(FilterImport, TheResponseDifferenceIsZeroOnTheDevicesStepsAndPositiveOffThem) {
    const ImportPlan on = PlanImport(ParseFilterText("Filter 1: ON PK Fc 1000 Hz Gain -3 dB Q 4.33\n"
                                                     "Filter 2: ON LSC Fc 100 Hz Gain 2.5 dB Q 0.72\n"),
                                     {Section::Output, 0}, DeviceModel::Mivon);
    EXPECT_EQ(on.maxDifferenceDb, 0.0);
    const ImportPlan off = PlanImport(ParseFilterText("Filter 1: ON PK Fc 1030 Hz Gain -3.2 dB Q 4.0\n"),
                                      {Section::Output, 0}, DeviceModel::Mivon);
    EXPECT_GT(off.maxDifferenceDb, 0.05);
    EXPECT_LT(off.maxDifferenceDb, 3.0);
    // A preamp rounded to the device's whole decibels counts: -3.5 dB is held as -4 dB.
    const ImportPlan preamp = PlanImport(ParseFilterText("Preamp: -3.5 dB\nFilter 1: ON PK Fc 1000 Hz Gain -3 dB Q 4.33\n"),
                                         {Section::Output, 0}, DeviceModel::Mivon);
    EXPECT_NEAR(preamp.maxDifferenceDb, 0.5, 1e-9);
}

TEST(FilterImport, ExportThenImportGivesTheSameRecord) {
    Records r;
    SystemParameters& p = r.params;
    p.InCH[2].Peq[0] = {kEqPeaking, 47, 5, 48};
    p.InCH[2].Peq[1] = {kEqLowShelf, 12, 40, 15};
    p.InCH[2].Peq[2] = {kEqNotch, 100, 24, 60};
    p.InCH[2].Peq[3] = {kEqBandPass, 121, 24, 0};
    p.InCH[2].Peq[4] = {kEqNone, 109, 24, 46};
    p.InCH[2].PeqEnable = 111;
    p.InCH[2].Gain = GainCode(-4);
    const SystemParameters before = p;
    const std::string text = ExportFilters(p, {Section::Input, 2}, DeviceModel::Mivon);
    EXPECT_NE(text.find("Preamp: -4.0 dB\n"), std::string::npos);
    EXPECT_NE(text.find("Filter 5: OFF None\n"), std::string::npos);
    p.InCH[2].Peq[0] = {kEqHighShelf, 60, 30, 20}; // something else in between
    p.InCH[2].Gain = GainCode(0);
    const ImportPlan plan = PlanImport(ParseFilterText(text), {Section::Input, 2}, DeviceModel::Mivon);
    EXPECT_EQ(plan.maxDifferenceDb, 0.0);
    ApplyImport(r.ctx, plan);
    EXPECT_TRUE(SameSettings(p, before));
    EXPECT_EQ(DiffFrames(before, p, "01", DeviceModel::Mivon).frames.size(), 0u);
}
