#include "app/PanelLogic.h"

#include <gtest/gtest.h>

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
        EXPECT_EQ(click->info->output, column >= 4 && column <= 10) << column;
    }
    logic.ActivateModule(1);
    EXPECT_TRUE(logic.InputSectionActive());
    logic.ActivateModule(6);
    EXPECT_FALSE(logic.InputSectionActive());
    logic.ActivateModule(11);
    EXPECT_TRUE(logic.InputSectionActive());
}

TEST(PanelLogic, MuteTogglesWriteTheRecordAndBuildTheFrame) {
    PanelLogic logic;
    SystemParameters p = DefaultSystemParameters();
    p.InCH[3].LinkIndex = 1; // the mute frame carries the clicked channel, not its link master
    EXPECT_EQ(logic.ToggleMute(p, false, 3, "01"), "(01$0303001)");
    EXPECT_EQ(p.InCH[3].Mute, 1);
    EXPECT_EQ(p.InCH[1].Mute, 0);
    EXPECT_TRUE(PanelLogic::MuteShown(p, false, 3));
    EXPECT_EQ(logic.ToggleMute(p, false, 3, "01"), "(01$0303000)");
    EXPECT_EQ(p.InCH[3].Mute, 0);
    EXPECT_EQ(logic.ToggleMute(p, true, 7, "12"), "(12$0377001)");
    EXPECT_EQ(p.OutCH[7].Mute, 1);
    EXPECT_EQ(logic.ToggleMute(p, true, 7, "123"), std::nullopt) << "a frame of another length is not posted";
    EXPECT_EQ(p.OutCH[7].Mute, 0) << "but the record changes all the same";
    p.OutCH[2].Mute = 5;
    EXPECT_FALSE(PanelLogic::MuteShown(p, true, 2)) << "only 1 shows muted";
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
    EXPECT_TRUE(logic.LinkLit(p, false, 0));
    EXPECT_TRUE(logic.LinkLit(p, false, 2));
    EXPECT_FALSE(logic.LinkLit(p, false, 3));

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
    EXPECT_EQ(ChannelTag(false, 4, DeviceModel::Ketra), "CH[A]");
    EXPECT_EQ(ChannelTag(false, 4, DeviceModel::Mivon), "CH[5]");
    EXPECT_EQ(ChannelTag(true, 4, DeviceModel::Ketra), "CH[5]");
}
