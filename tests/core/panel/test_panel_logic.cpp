#include "panel/PanelLogic.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

using namespace quellmarin;

TEST(PanelLogic, StripIdsSectionsAndSelection) {
    PanelLogic logic(DeviceModel::Mivon);
    ASSERT_TRUE(logic.SelectStrip(2905)); // output gain of output 6
    EXPECT_EQ(logic.CurrentOutputChannel(), 5);
    EXPECT_EQ(logic.CurrentInputChannel(), 0) << "an output click leaves the input selection";
    EXPECT_FALSE(logic.InputSectionActive());
    ASSERT_TRUE(logic.SelectStrip(3203)); // compressor belongs to the inputs
    EXPECT_EQ(logic.CurrentInputChannel(), 3);
    EXPECT_EQ(logic.CurrentOutputChannel(), 5);
    EXPECT_TRUE(logic.InputSectionActive());
    EXPECT_EQ(logic.SelectStrip(2500)->info->action, StripAction::OpenRouting);
    EXPECT_FALSE(logic.SelectStrip(2099));
    EXPECT_FALSE(logic.SelectStrip(2108));
    EXPECT_FALSE(logic.SelectStrip(3300));
    for (int column = 0; column < kStripColumns; ++column) {
        const auto click = DecodeStripId(2100 + 100 * column + 7);
        ASSERT_TRUE(click);
        EXPECT_EQ(click->column, column);
        EXPECT_EQ(click->channel, 7);
        EXPECT_EQ(IsOutput(click->info->section), column >= 4 && column <= 10) << column;
    }
    logic.ActivateModule(1);
    EXPECT_TRUE(logic.InputSectionActive());
    logic.ActivateModule(6);
    EXPECT_FALSE(logic.InputSectionActive());
    logic.ActivateModule(11);
    EXPECT_TRUE(logic.InputSectionActive());
}

TEST(PanelLogic, MetersIndicatorsLinksAndTexts) {
    EXPECT_EQ(LitSegments(0), 0);
    EXPECT_EQ(LitSegments(96), 50) << "segments 0 to 49";
    EXPECT_EQ(LitSegments(1), 1);
    EXPECT_EQ(LitSegments(50), 26);
    EXPECT_EQ(ColorOfSegment(44), SegmentColor::Green);
    EXPECT_EQ(ColorOfSegment(45), SegmentColor::Yellow);
    EXPECT_EQ(ColorOfSegment(48), SegmentColor::Yellow);
    EXPECT_EQ(ColorOfSegment(49), SegmentColor::Red);
    const std::array<std::uint8_t, 8> levels = {10, 11, 12, 13, 14, 15, 16, 17};
    EXPECT_EQ(MeterColumns(levels, true, DeviceModel::Ketra), (std::vector<int>{10, 12, 15, 17}));
    EXPECT_EQ(MeterColumns(levels, false, DeviceModel::Ketra).size(), 8u);
    EXPECT_EQ(MeterColumns(levels, true, DeviceModel::Mivon).size(), 8u);
    EXPECT_TRUE(IndicatorLit(0x05, 2));
    EXPECT_FALSE(IndicatorLit(0x05, 1));

    PanelLogic logic;
    SystemParameters p = DefaultSystemParameters();
    p.InCH[1].LinkIndex = 0;
    p.InCH[2].LinkIndex = 0;
    logic.SelectStrip(2201);
    EXPECT_TRUE(logic.LinkLit(p, Section::Input, 0));
    EXPECT_TRUE(logic.LinkLit(p, Section::Input, 2));
    EXPECT_FALSE(logic.LinkLit(p, Section::Input, 3));

    DeviceInfoRecord d = DefaultDeviceInfo();
    d.DeviceId = 7;
    SetProgramName(p, "Arena");
    auto texts = StatusTexts(d, p, "05", false);
    EXPECT_EQ(texts[0], "Device ID:07");
    EXPECT_EQ(texts[1], "Program No.:05");
    EXPECT_EQ(texts[2], "Program Name:Arena");
    EXPECT_EQ(texts[3], "None device connected..");
    EXPECT_EQ(StatusTexts(d, p, "05", true)[3], "has been connected to device..");
    EXPECT_EQ(WindowTitle("1.2.0"), "Quellmarin V1.2.0");
    EXPECT_EQ(WindowTitle(""), "Quellmarin VNone VerSion Supprot");
    EXPECT_EQ(ChannelTag(Section::Input, 4, DeviceModel::Ketra), "CH[A]");
    EXPECT_EQ(ChannelTag(Section::Input, 4, DeviceModel::Mivon), "CH[5]");
    EXPECT_EQ(ChannelTag(Section::Output, 4, DeviceModel::Ketra), "CH[5]");
    // Accessible names tell the 96 strip buttons apart.
    EXPECT_EQ(StripButtonName(*DecodeStripId(2202), DeviceModel::Mivon), "Input 3 gain");
    EXPECT_EQ(StripButtonName(*DecodeStripId(3107), DeviceModel::Mivon), "Output 8 mute");
    EXPECT_EQ(StripButtonName(*DecodeStripId(3204), DeviceModel::Ketra), "Input A compressor");
    EXPECT_EQ(ModuleCodeOf(StripAction::OpenLimiter), 9);
    EXPECT_EQ(ModuleCodeOf(StripAction::ToggleInputMute), std::nullopt);
}

TEST(PanelLogic, MeterLevelsReadAsDecibelsBelowTheTopOfTheScale) {
    // The display level is 96 - b, b the received byte: b counts decibels below the top.
    EXPECT_EQ(MeterLevelDb(96), 0);
    EXPECT_EQ(MeterLevelDb(84), -12);
    EXPECT_EQ(MeterLevelDb(1), -95);
    EXPECT_FALSE(MeterLevelDb(0)) << "an empty column is no level";
    EXPECT_EQ(MeterLevelText(84), "\u221212 dB");
    EXPECT_EQ(MeterLevelText(96), "0 dB");
    EXPECT_EQ(MeterLevelText(0), "no signal");
    // The scale's marks sit where those levels light up to.
    EXPECT_DOUBLE_EQ(SegmentsAtDb(0), 49.92);
    EXPECT_EQ(LitSegments(84), static_cast<int>(std::ceil(SegmentsAtDb(-12))));
    EXPECT_DOUBLE_EQ(SegmentsAtDb(-96), 0);
}

TEST(PanelLogic, APeakIsHeldForItsTimeThenFallsBackToTheLevel) {
    using namespace std::chrono_literals;
    PeakHold hold(1500ms);
    const auto t0 = PeakHold::Clock::time_point{} + 10s;
    hold.Update({10, 90}, t0);
    EXPECT_EQ(hold.Peaks(), (std::vector<int>{10, 90}));
    hold.Update({50, 40}, t0 + 100ms);
    EXPECT_EQ(hold.Peaks(), (std::vector<int>{50, 90})) << "a higher level rises at once; a lower one is held";
    hold.Update({20, 30}, t0 + 1499ms);
    EXPECT_EQ(hold.Peaks()[1], 90);
    hold.Update({20, 30}, t0 + 1500ms);
    EXPECT_EQ(hold.Peaks()[1], 30) << "after 1.5 s without reaching it again";
    EXPECT_EQ(hold.Peaks()[0], 50) << "its own peak came later and is still held";
    hold.Update({20, 30}, t0 + 1600ms);
    EXPECT_EQ(hold.Peaks()[0], 20);
    hold.Reset();
    hold.Update({5, 5, 5, 5}, t0 + 2s);
    EXPECT_EQ(hold.Peaks().size(), 4u);
}
