// The equaliser and crossover editors: bands, spins, typed values with their messages, the on/off
// switch and the crossover's off rules, with the exact frames.
#include "dsp/Scales.h"
#include "edit/CrossoverEditor.h"
#include "edit/EqEditor.h"

#include "core/edit/EditorRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quellmarin;

using Rig = test::EditorRig;

TEST(EqEditor, BandFramesSwitchAndTitles) {
    Rig r;
    EqEditor in(r.ctx, Section::Input), out(r.ctx, Section::Output);
    in.ApplyBand(0, 0, {1, 560, 59, 0, 46});
    EXPECT_EQ(r.frames.back(), "(01$027000105924046)");
    out.ApplyBand(3, 6, {5, FrequencyValues()[109], 109, 0, 46});
    EXPECT_EQ(r.frames.back(), "(01$034306510924046)");
    in.SetEnabled(0, true);
    EXPECT_EQ(r.frames.back(), "(01$0260111)");
    EXPECT_EQ(r.record.InCH[0].PeqEnable, 111);
    out.SetEnabled(0, false);
    EXPECT_EQ(r.frames.back(), "(01$0380000)");
    EXPECT_EQ(r.record.OutCH[0].PeqEnable, 0);
    EXPECT_EQ(in.Title(0), "INPUT PEQ" + std::string(21, ' ') + "CH[1]");
    EXPECT_EQ(out.Title(2), "OUTPUT PEQ" + std::string(19, ' ') + "CH[3]");
    EXPECT_EQ(in.Summary(0), "EQ on, 1 band");
}

TEST(EqEditor, SpinsStayInTheirRangesAndSkipAnOffBand) {
    Rig r;
    EqEditor in(r.ctx, Section::Input);
    r.record.InCH[0].Peq[1] = {0, 59, 24, 46};
    in.Step(0, 1, BandField::Frequency, true);
    EXPECT_TRUE(r.frames.empty()) << "a band of type OFF ignores its spins";
    EXPECT_EQ(EqEditor::FieldsOf(0).frequency, false);
    EXPECT_EQ(EqEditor::FieldsOf(3).q, false);
    EXPECT_EQ(EqEditor::FieldsOf(2).level, false);

    r.record.InCH[0].Peq[1] = {1, 121, 24, 46};
    in.Step(0, 1, BandField::Frequency, true);
    EXPECT_EQ(r.record.InCH[0].Peq[1].Freq, 121);
    EXPECT_EQ(r.frames.back(), "(01$027001112124046)");
    EXPECT_EQ(r.frames.size(), 1u) << "at the top the same band is sent again";
    EXPECT_EQ(in.FrequencyText(0, 1), "20000Hz");
    r.record.InCH[0].Peq[1].Freq = 1;
    in.Step(0, 1, BandField::Frequency, false);
    EXPECT_EQ(r.record.InCH[0].Peq[1].Freq, 1);
    EXPECT_EQ(in.FrequencyText(0, 1), "20.00Hz");
    in.Step(0, 1, BandField::Q, false);
    EXPECT_EQ(r.record.InCH[0].Peq[1].Q, 45);
    EXPECT_EQ(in.QText(0, 1), QText(45));
    r.record.InCH[0].Peq[1].Level = 48;
    in.Step(0, 1, BandField::Level, true);
    EXPECT_EQ(r.record.InCH[0].Peq[1].Level, 48);
    EXPECT_EQ(in.LevelText(0, 1), "12.0dB");
    EXPECT_EQ(r.frames.size(), 4u);
}

TEST(EqEditor, TypedValuesAreLimitedWithTheirMessagesInOrder) {
    Rig r;
    EqEditor in(r.ctx, Section::Input);
    r.record.InCH[0].Peq[2] = {1, 59, 24, 46};
    EXPECT_TRUE(in.SetValues(0, 2, "2k", "1.41", "-3").empty());
    EXPECT_EQ(in.FrequencyText(0, 2), "2000Hz");
    EXPECT_EQ(in.LevelText(0, 2), "-3.0dB");
    EXPECT_TRUE(in.SetValues(0, 2, "2 khz", "1.41", "-3").empty());
    EXPECT_EQ(in.FrequencyText(0, 2), "2000Hz");
    const auto messages = in.SetValues(0, 2, "50000", "25", "20");
    EXPECT_EQ(messages, (std::vector<std::string_view>{"Input range:[20,20000]", "Input range:[0.31,19.4]",
                                                       "Input range:[-12,+12]"}));
    EXPECT_EQ(r.record.InCH[0].Peq[2].Freq, 121);
    EXPECT_EQ(r.record.InCH[0].Peq[2].Q, 72);
    EXPECT_EQ(in.QText(0, 2), "19.40");
    EXPECT_EQ(r.record.InCH[0].Peq[2].Level, 48);
    EXPECT_EQ(in.SetValues(0, 2, "abc", "0.2", "0"),
              (std::vector<std::string_view>{"Input range:[20,20000]", "Input range:[0.31,19.4]"}))
        << "text that does not start with a number reads as 0";
}

TEST(EqEditor, ALinkedChannelEditsItsMaster) {
    Rig r;
    EqEditor in(r.ctx, Section::Input);
    r.record.InCH[2].LinkIndex = 0;
    in.SetType(2, 3, 4);
    EXPECT_EQ(r.record.InCH[0].Peq[3].Type, 4);
    EXPECT_EQ(r.record.InCH[2].Peq[3].Type, DefaultSystemParameters(DeviceModel::Mivon).InCH[2].Peq[3].Type);
    EXPECT_EQ(r.frames.back().substr(0, 11), "(01$0270034");
    in.SetEnabled(2, true);
    EXPECT_EQ(r.frames.back(), "(01$0260111)");
    EXPECT_NE(in.Title(2).find("(editing CH[1])"), std::string::npos);
}

TEST(CrossoverEditor, TheOffRulesSpinsAndTypedFrequencies) {
    Rig r;
    CrossoverEditor x(r.ctx);
    EXPECT_EQ(x.FrequencyText(0, true), "OFF");
    EXPECT_EQ(x.FrequencyText(0, false), "OFF");
    EXPECT_EQ(x.Title(0), "OUTPUT HLPF" + std::string(18, ' ') + "CH[1]");
    x.Step(0, true, true);
    EXPECT_EQ(r.frames.back(), "(01$03300000100122)");
    EXPECT_EQ(x.FrequencyText(0, true), "20.00Hz");
    r.record.OutCH[0].HpfFreq = 121;
    x.Step(0, true, true);
    EXPECT_EQ(r.record.OutCH[0].HpfFreq, 122);
    EXPECT_EQ(x.FrequencyText(0, true), "OFF");
    EXPECT_EQ(r.frames.back(), "(01$03300012200122)");
    x.Step(0, false, false);
    EXPECT_EQ(x.FrequencyText(0, false), "20000.00Hz");
    r.record.OutCH[0].LpfFreq = 0;
    x.Step(0, false, false);
    EXPECT_EQ(r.record.OutCH[0].LpfFreq, 0);
    EXPECT_EQ(x.FrequencyText(0, false), "18.99Hz");
    EXPECT_EQ(r.frames.back(), "(01$03300012200000)") << "the same frame again at the bound";

    r.record.OutCH[1].HpfFreq = 0;
    EXPECT_TRUE(x.TypeFrequency(1, true, "1.2k").empty());
    EXPECT_EQ(x.FrequencyText(1, true), "1180.00Hz") << "typing switches an off filter on";
    EXPECT_EQ(x.TypeFrequency(1, true, "5"), "Input range:[20,20000]");
    EXPECT_EQ(x.FrequencyText(1, true), "20.00Hz");
    EXPECT_EQ(x.TypeFrequency(1, false, "30000"), "Input range:[20,20000]");
    EXPECT_EQ(r.record.OutCH[1].LpfFreq, 121) << "typing never switches the low-pass off";

    r.record.OutCH[2].LpfFreq = 122;
    x.SetType(2, false, 11);
    EXPECT_EQ(r.frames.back(), "(01$03320000011122)");
    x.ApplyCrossover(0, {11, 29, 0, 122});
    EXPECT_EQ(r.frames.back(), "(01$03301102900122)");
    EXPECT_EQ(x.Summary(0), "HP 100.00Hz -24dB LinkWitz-Riley, LP OFF");
}
