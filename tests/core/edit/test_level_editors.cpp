// Gain and polarity, limiter and compressor editors: stored bytes, shown texts and exact frames.
#include "edit/CompressorEditor.h"
#include "edit/GainEditor.h"
#include "edit/LimiterEditor.h"

#include "core/edit/EditorRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace quellmarin;

using Rig = test::EditorRig;

TEST(GainEditor, FaderPositionsCodesReadoutsAndFrames) {
    Rig r;
    GainEditor in(r.ctx, Section::Input);
    r.record.InCH[0].Gain = 181;
    EXPECT_EQ(in.Position(0), 13);
    EXPECT_EQ(GainEditor::Readout(13), "0dB");
    in.StepUp(0);
    EXPECT_EQ(r.record.InCH[0].Gain, 183);
    EXPECT_EQ(r.frames.back(), "(01$0280183)");

    in.Apply(0, 103);
    EXPECT_EQ(r.frames.back(), "(01$0280001)");
    EXPECT_EQ(r.record.InCH[0].Gain, 1);
    EXPECT_EQ(GainEditor::Readout(103), "-90dB");
    in.Apply(0, 1);
    EXPECT_EQ(r.record.InCH[0].Gain, 205);
    EXPECT_EQ(GainEditor::Readout(1), "12dB") << "no plus sign";
    in.StepUp(0);
    EXPECT_EQ(r.frames.size(), 3u) << "a click at the top does nothing";

    r.record.InCH[0].Gain = 182; // +0.5 dB from a file shows as the whole decibel above
    EXPECT_EQ(in.Position(0), 12);
    EXPECT_EQ(GainEditor::Readout(in.Position(0)), "1dB");
    in.StepDown(0);
    EXPECT_EQ(r.record.InCH[0].Gain % 2, 1) << "the first change writes an odd code";

    // Holding the down arrow at the bottom keeps posting the -90 dB frame.
    in.Apply(0, 103);
    r.frames.clear();
    in.RepeatDown(0);
    in.RepeatDown(0);
    in.StepDown(0);
    EXPECT_EQ(r.frames, (std::vector<std::string>{"(01$0280001)", "(01$0280001)"}));
    in.RepeatUp(0);
    EXPECT_EQ(r.frames.back(), "(01$0280003)");
}

TEST(GainEditor, LinkedChannelsAndOutputsWithPolarity) {
    Rig r;
    GainEditor in(r.ctx, Section::Input), out(r.ctx, Section::Output);
    r.record.InCH[3].LinkIndex = 1;
    const std::uint8_t own = r.record.InCH[3].Gain;
    in.Apply(3, 19);
    EXPECT_EQ(r.record.InCH[1].Gain, 169);
    EXPECT_EQ(r.record.InCH[3].Gain, own);
    EXPECT_EQ(r.frames.back(), "(01$0281169)");
    EXPECT_EQ(in.Title(3), "INPUT GAIN" + std::string(20, ' ') + "CH[4] (editing CH[2])");
    EXPECT_EQ(in.Title(0), "INPUT GAIN" + std::string(20, ' ') + "CH[1]");
    EXPECT_EQ(out.Title(7), "OUTPUT GAIN" + std::string(18, ' ') + "CH[8]");
    EXPECT_EQ(in.Summary(3), "Gain -6 dB");

    out.Apply(2, 13);
    EXPECT_EQ(r.frames.back(), "(01$0352181)");
    out.SetInverted(0, true);
    EXPECT_EQ(r.frames.back(), "(01$0390111)");
    EXPECT_EQ(r.record.OutCH[0].Polarity, 1);
    out.SetInverted(0, false);
    EXPECT_EQ(r.frames.back(), "(01$0390000)");
    EXPECT_EQ(r.record.OutCH[0].Polarity, 0);
    r.record.OutCH[5].Polarity = 5;
    EXPECT_TRUE(out.Inverted(5));
    r.record.OutCH[6].LinkIndex = 4;
    out.SetInverted(6, true);
    EXPECT_EQ(r.frames.back(), "(01$0394111)");
    EXPECT_EQ(r.record.OutCH[4].Polarity, 1);
    EXPECT_EQ(out.Summary(6), "Gain 0 dB, polarity inverted");
    r.address = "1";
    out.SetInverted(3, true);
    EXPECT_EQ(r.record.OutCH[3].Polarity, 0) << "the polarity is kept only with a frame that can be sent";
}

TEST(LimiterEditor, TheHundredItemsAndTheFrame) {
    Rig r;
    LimiterEditor lim(r.ctx);
    EXPECT_EQ(LimiterEditor::ItemText(0), "22.0   dBu");
    EXPECT_EQ(LimiterEditor::ItemText(44), "0.0   dBu");
    EXPECT_EQ(LimiterEditor::ItemText(99), "-27.5   dBu");
    EXPECT_EQ(lim.SelectedItem(0), 0) << "the default 99 is +22.0 dBu";
    EXPECT_EQ(lim.Title(0), "OUTPUT LIMIT" + std::string(18, ' ') + "CH[1]");
    lim.Select(0, 99);
    EXPECT_EQ(r.frames.back(), "(01$036000000000)");
    EXPECT_EQ(r.record.OutCH[0].Limit, 0);
    lim.Select(0, 44);
    EXPECT_EQ(r.frames.back(), "(01$036000005500)");
    EXPECT_EQ(lim.Remembered(0), 44);
    lim.Select(0, 100);
    lim.Select(0, -1);
    EXPECT_EQ(r.frames.size(), 2u) << "no selection changes nothing";
    r.record.OutCH[3].LinkIndex = 2;
    lim.Select(3, 24);
    EXPECT_EQ(r.frames.back(), "(01$036200007500)");
    EXPECT_EQ(r.record.OutCH[2].Limit, 75);
    EXPECT_EQ(lim.Summary(3), "Limit +10.0 dBu");
    r.address = "001";
    lim.Select(1, 10);
    EXPECT_EQ(r.record.OutCH[1].Limit, 89) << "stored even when the frame is not posted";
    EXPECT_EQ(r.frames.size(), 3u);
}

TEST(CompressorEditor, FieldsSpinsTypedValuesAndTheFrame) {
    Rig r;
    CompressorEditor comp(r.ctx);
    comp.Send(0);
    EXPECT_EQ(r.frames.back(), "(01$0440540012056)");
    EXPECT_EQ(comp.Title(2), "INPUT COMP" + std::string(20, ' ') + "CH[3]");
    EXPECT_EQ(CompressorEditor::Label(2), "CH3");

    std::string shown;
    EXPECT_TRUE(comp.Type(0, CompField::Attack, "5", &shown));
    EXPECT_EQ(r.record.Comp[0].Attack, 32);
    EXPECT_EQ(shown, "4.70ms");
    comp.Type(0, CompField::Release, "20000", &shown);
    EXPECT_EQ(r.record.Comp[0].Release, 72);
    comp.Type(0, CompField::Attack, "0.005");
    EXPECT_EQ(r.record.Comp[0].Attack, 0);
    comp.Type(0, CompField::Threshold, "-50", &shown);
    EXPECT_EQ(r.record.Comp[0].Threshold, 0);
    EXPECT_EQ(shown, "-38.0dB");
    comp.Type(0, CompField::Threshold, "22");
    EXPECT_EQ(r.record.Comp[0].Threshold, 120);
    comp.Type(0, CompField::Ratio, "2", &shown);
    EXPECT_EQ(r.record.Comp[0].Ratio, 49);
    EXPECT_EQ(shown, "1.98 : 1");
    comp.Type(0, CompField::Ratio, "1000");
    EXPECT_EQ(r.record.Comp[0].Ratio, 99);
    comp.Type(0, CompField::Ratio, "Infinity", &shown);
    EXPECT_EQ(shown, "Infinity");
    const std::size_t sent = r.frames.size();
    EXPECT_FALSE(comp.Type(0, CompField::Ratio, "  "));
    EXPECT_EQ(r.frames.size(), sent) << "an empty field is ignored";

    comp.Spin(0, CompField::Ratio, true);
    EXPECT_EQ(comp.Text(0, CompField::Ratio), "Infinity");
    EXPECT_EQ(r.frames.size(), sent + 1) << "a spin at the bound posts again";
    EXPECT_EQ(r.frames.back(), "(01$0440009912072)");
    comp.Spin(0, CompField::Attack, false);
    EXPECT_EQ(r.record.Comp[0].Attack, 0);
    comp.Spin(0, CompField::Attack, true);
    EXPECT_EQ(comp.Text(0, CompField::Attack), "0.01ms");

    r.record.InCH[5].LinkIndex = 4;
    comp.Spin(5, CompField::Threshold, false);
    EXPECT_EQ(r.record.Comp[4].Threshold, 119);
    EXPECT_EQ(r.frames.back().substr(0, 8), "(01$0444");
}

TEST(CompressorEditor, TransferCurve) {
    EXPECT_DOUBLE_EQ(CompressorOutputDb(-20, -10, 49), -20) << "below the threshold nothing changes";
    EXPECT_NEAR(CompressorOutputDb(10, -10, 49), -10 + 20 / (1 / (1 - 49 / 99.0)), 1e-9);
    EXPECT_DOUBLE_EQ(CompressorOutputDb(24, -10, 99), -10) << "infinity holds the threshold";
    EXPECT_DOUBLE_EQ(CompressorOutputDb(24, -10, 0), 24) << "1 : 1 is no compression";
}

TEST(LevelEditors, GainAndLimitTakeTheUnitsAUserTypes) {
    Rig r;
    GainEditor out(r.ctx, Section::Output);
    EXPECT_TRUE(out.SetDb(2, -6));
    EXPECT_EQ(r.frames.back(), "(01$0352169)") << "-6 dB is code 169, fader position 19";
    EXPECT_EQ(out.Position(2), 19);
    EXPECT_EQ(out.Db(2), -6);
    EXPECT_TRUE(out.SetDb(2, -6.4));
    EXPECT_EQ(out.Db(2), -6) << "whole decibels, to the nearest";
    EXPECT_TRUE(out.SetDb(2, 12));
    EXPECT_TRUE(out.SetDb(2, -90));
    EXPECT_EQ(r.record.OutCH[2].Gain, 1);
    const std::size_t sent = r.frames.size();
    for (double bad : {12.6, -90.5, std::nan(""), 1e300})
        EXPECT_FALSE(out.SetDb(2, bad)) << bad;
    EXPECT_EQ(r.frames.size(), sent);
    EXPECT_EQ(r.record.OutCH[2].Gain, 1);

    LimiterEditor lim(r.ctx);
    EXPECT_TRUE(lim.SetDbu(1, 10));
    EXPECT_EQ(r.frames.back(), "(01$036100007500)");
    EXPECT_EQ(lim.Dbu(1), 10.0);
    EXPECT_TRUE(lim.SetDbu(1, 10.2));
    EXPECT_EQ(lim.Dbu(1), 10.0) << "half decibels, to the nearest";
    EXPECT_TRUE(lim.SetDbu(1, -27.5));
    EXPECT_EQ(r.record.OutCH[1].Limit, 0);
    EXPECT_TRUE(lim.SetDbu(1, 22));
    EXPECT_EQ(r.record.OutCH[1].Limit, 99);
    const std::size_t limits = r.frames.size();
    for (double bad : {22.5, -28.0, std::nan(""), -1e300})
        EXPECT_FALSE(lim.SetDbu(1, bad)) << bad;
    EXPECT_EQ(r.frames.size(), limits);
    EXPECT_EQ(r.record.OutCH[1].Limit, 99);
}

TEST(GainEditor, RelativeStepsKeepEachChannelsOffsetAndSayWhenTheRangeCutsThem) {
    Rig r;
    GainEditor out(r.ctx, Section::Output);
    out.SetDb(2, -6);
    out.SetDb(3, 10);
    out.SetDb(4, -88);
    const GainEditor::Step down = out.StepDb(2, -3);
    EXPECT_EQ(down.db, -9);
    EXPECT_FALSE(down.atLimit);
    EXPECT_EQ(r.frames.back(), "(01$0352163)") << "output 3 at -9 dB";
    EXPECT_EQ(out.Db(2), -9);
    const GainEditor::Step up = out.StepDb(3, +3);
    EXPECT_EQ(up.db, 12);
    EXPECT_TRUE(up.atLimit) << "+10 dB and +3 dB is held at +12 dB";
    const GainEditor::Step bottom = out.StepDb(4, -3);
    EXPECT_EQ(bottom.db, -90);
    EXPECT_TRUE(bottom.atLimit);
    // A step and its opposite bring an unclipped channel back exactly.
    out.StepDb(2, +3);
    EXPECT_EQ(out.Db(2), -6);
}
