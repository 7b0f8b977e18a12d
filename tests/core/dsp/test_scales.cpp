#include "dsp/Scales.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quellmarin;

TEST(Tables, TextsAndValues) {
    EXPECT_EQ(FrequencyTable[0], "18.0");
    EXPECT_EQ(FrequencyTable[1], "20.0");
    EXPECT_EQ(FrequencyTable[29], "100.0");
    EXPECT_EQ(FrequencyTable[69], "1000");
    EXPECT_EQ(FrequencyTable[121], "20000");
    EXPECT_EQ(FrequencyTable[122], "20700");
    EXPECT_EQ(FrequencyTable[123], "20700");
    for (int i = 0; i < kFrequencySteps; ++i) {
        if (i == 0 || i == 122 || i == 123) continue;
        EXPECT_EQ(CrossoverFrequencyTable[i], FrequencyTable[i]) << i;
    }
    EXPECT_EQ(CrossoverFrequencyTable[0], "18.99");
    EXPECT_EQ(CrossoverFrequencyTable[122], "20100");
    EXPECT_EQ(CrossoverFrequencyTable[123], "20200");
    for (int i = 1; i < kFrequencySteps - 1; ++i)
        EXPECT_LT(CrossoverFrequencyValues()[i - 1], CrossoverFrequencyValues()[i]) << i;

    EXPECT_EQ(GainTable[0], "-12.0");
    EXPECT_EQ(GainTable[23], "-0.5");
    EXPECT_EQ(GainTable[24], "0.0");
    EXPECT_EQ(GainTable[25], "0.5");
    EXPECT_EQ(GainTable[48], "12.0");
    for (int i = 0; i < kGainSteps; ++i) EXPECT_DOUBLE_EQ(GainValues()[i], (i - 24) * 0.5);

    EXPECT_EQ(QTable[0], "0.31(3.26) ");
    EXPECT_EQ(QTable[10], "0.55(1.83) ");
    EXPECT_EQ(QTable[46], "4.33(0.23)");
    EXPECT_EQ(QTable[72], "19.4(0.052)");
    EXPECT_EQ(QTable[74], "21.8(0.052)");
    EXPECT_DOUBLE_EQ(QValues()[0], 0.31);
    EXPECT_DOUBLE_EQ(QValues()[46], 4.33);
    EXPECT_DOUBLE_EQ(QValues()[74], 21.8);
}

TEST(Scales, LeadingNumberReadsOnlyPlainDecimals) {
    EXPECT_DOUBLE_EQ(LeadingNumber("0.31(3.26) "), 0.31);
    EXPECT_DOUBLE_EQ(LeadingNumber("  -12.5dB"), -12.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("+3"), 3);
    EXPECT_DOUBLE_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("5."), 5);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e3Hz"), 1000);
    EXPECT_DOUBLE_EQ(LeadingNumber("2e"), 2);
    EXPECT_DOUBLE_EQ(LeadingNumber("2e+"), 2);
    EXPECT_DOUBLE_EQ(LeadingNumber("abc"), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber(""), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber("-"), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber("."), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber("inf"), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber("nan"), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber("0x10"), 0);
    EXPECT_EQ(LeadingNumber("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingNumber("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(LeadingNumber("1e-999"), 0);
}

TEST(Scales, NearestStepAndItsVariants) {
    for (auto table : {FrequencyValues(), CrossoverFrequencyValues()}) {
        EXPECT_EQ(NearestStep(table, 1030), 69) << "a midpoint takes the lower step";
        EXPECT_EQ(NearestStep(table, 1031), 70);
        EXPECT_EQ(NearestStep(table, 1000), 69);
        EXPECT_EQ(NearestStep(table, 5), 0);
        EXPECT_EQ(NearestStep(table, 99999), std::nullopt);
    }
    EXPECT_EQ(NearestStep(FrequencyValues(), 20500), 122);

    EXPECT_EQ(HighPassStep(19), 0);
    EXPECT_EQ(HighPassStep(19.99), 0);
    EXPECT_EQ(HighPassStep(20), 1);
    EXPECT_EQ(HighPassStep(100), 29);
    EXPECT_EQ(HighPassStep(20000), 121);
    EXPECT_EQ(HighPassStep(20100), 121) << "the high-pass never reaches the low-pass off point";
    EXPECT_EQ(HighPassStep(50000), 121);
    EXPECT_EQ(LowPassStep(20100), 122);
    EXPECT_EQ(LowPassStep(1e9), 122);
    EXPECT_EQ(LowPassStep(20050), 121);
    EXPECT_EQ(LowPassStep(20051), 122);
    EXPECT_EQ(LowPassStep(19), 0);
    EXPECT_EQ(LowPassStep(1180), 72);

    EqBandSnap band = SnapEqBandFrequency(1000, 5);
    EXPECT_EQ(band.step, 69);
    EXPECT_DOUBLE_EQ(band.labelHz, 1000);
    band = SnapEqBandFrequency(10, 5);
    EXPECT_EQ(band.step, 0);
    EXPECT_DOUBLE_EQ(band.labelHz, 20);
    band = SnapEqBandFrequency(30000, 50);
    EXPECT_EQ(band.step, 50) << "no match keeps the step";
    EXPECT_DOUBLE_EQ(band.labelHz, 20);

    CornerSnap corner = SnapCornerFrequency(1000, 5, false);
    EXPECT_EQ(corner.step, 69);
    EXPECT_EQ(corner.label, "1000.00Hz");
    corner = SnapCornerFrequency(30000, 7, false);
    EXPECT_EQ(corner.step, 7);
    EXPECT_EQ(corner.label, "18.99Hz");
    EXPECT_EQ(SnapCornerFrequency(1000, 5, true).label, "OFF");

    EXPECT_EQ(NearestQStep(0.31), 0);
    EXPECT_EQ(NearestQStep(0.1), 0);
    EXPECT_EQ(NearestQStep(4.33), 46);
    EXPECT_EQ(NearestQStep(4.2), 45);
    EXPECT_EQ(NearestQStep(4.22), 46);
    EXPECT_EQ(NearestQStep(19.4), 72);
    EXPECT_EQ(NearestQStep(25), 72) << "the last two Q steps are never chosen";
    EXPECT_EQ(NearestLevelStep(0), 24);
    EXPECT_EQ(NearestLevelStep(-12), 0);
    EXPECT_EQ(NearestLevelStep(12), 48);
    EXPECT_EQ(NearestLevelStep(3.3), 31);
    EXPECT_EQ(NearestLevelStep(3.2), 30);
    EXPECT_EQ(NearestLevelStep(-40), 0);
}

TEST(Scales, DisplayTexts) {
    EXPECT_EQ(BandFrequencyText(20), "20.00Hz");
    EXPECT_EQ(BandFrequencyText(100), "100.00Hz");
    EXPECT_EQ(BandFrequencyText(106), "106Hz");
    EXPECT_EQ(BandFrequencyText(1000), "1000Hz");
    EXPECT_EQ(QText(0), "0.31");
    EXPECT_EQ(QText(46), "4.33");
    EXPECT_EQ(LevelText(17), "-3.5dB");
    EXPECT_EQ(LevelText(48), "12.0dB");
    EXPECT_EQ(HighPassText(0), "OFF");
    EXPECT_EQ(HighPassText(1), "20.00Hz");
    EXPECT_EQ(HighPassText(72), "1180.00Hz");
    EXPECT_EQ(HighPassText(122), "OFF");
    EXPECT_EQ(LowPassText(0), "18.99Hz");
    EXPECT_EQ(LowPassText(121), "20000.00Hz");
    EXPECT_EQ(LowPassText(122), "OFF");
    EXPECT_EQ(LimitText(99), "22.0   dBu");
    EXPECT_EQ(LimitText(55), "0.0   dBu");
    EXPECT_EQ(LimitText(0), "-27.5   dBu");
}

TEST(Scales, ChannelGainAndFader) {
    EXPECT_EQ(GainCode(0), 181);
    EXPECT_EQ(GainCode(12), 205);
    EXPECT_EQ(GainCode(-90), 1);
    EXPECT_DOUBLE_EQ(GainDb(182), 0.5);
    EXPECT_EQ(FaderPositionOf(181), 13);
    EXPECT_EQ(FaderPositionOf(183), 12);
    EXPECT_EQ(FaderPositionOf(182), 12) << "a half-dB code shows as the next whole dB above";
    EXPECT_EQ(FaderPositionOf(205), 1);
    EXPECT_EQ(FaderPositionOf(1), 103);
    EXPECT_EQ(GainCodeOfFader(13), 181);
    EXPECT_EQ(GainCodeOfFader(1), 205);
    EXPECT_EQ(GainCodeOfFader(103), 1);
    EXPECT_EQ(GainCodeOfFader(104), 0);
    EXPECT_EQ(FaderDb(1), 12);
    EXPECT_EQ(FaderDb(103), -90);
    EXPECT_EQ(FaderDb(110), -90);
}

TEST(Scales, DelayConversionsAndRange) {
    EXPECT_EQ(DelayFromMilliseconds(2000).samples, 96000);
    EXPECT_TRUE(DelayFromMilliseconds(2000).ok());
    EXPECT_EQ(DelayFromMilliseconds(2000.02).samples, 96000);
    EXPECT_EQ(DelayFromMilliseconds(2000.03).error, "Input range:[0,2000ms]");
    EXPECT_EQ(DelayFromMilliseconds(1).samples, 48);
    EXPECT_EQ(DelayFromMilliseconds(0).samples, 0);
    EXPECT_EQ(DelayFromMilliseconds(-0.001).samples, 0) << "truncation toward zero";
    EXPECT_EQ(DelayFromMilliseconds(-1).error, "Input range:[0,2000ms]");
    EXPECT_FALSE(DelayFromMilliseconds(std::numeric_limits<double>::infinity()).ok());
    EXPECT_FALSE(DelayFromMilliseconds(1e300).ok());
    EXPECT_EQ(DelayFromMetres(680).samples, 96000);
    EXPECT_EQ(DelayFromMetres(1).samples, 141);
    EXPECT_EQ(DelayFromMetres(680.01).error, "Input range:[0,680m]");
    EXPECT_EQ(DelayFromMetres(-2).error, "Input range:[0,680m]");

    EXPECT_EQ(DelayMsText(0), "0.000 ms");
    EXPECT_EQ(DelayMsText(48), "1.000 ms");
    EXPECT_EQ(DelayMsText(96000), "2000.000 ms");
    EXPECT_EQ(DelayMsText(141), "2.938 ms");
    EXPECT_EQ(DelayMetresText(96000), "680.000 m");
    EXPECT_EQ(DelayMetresText(48), "0.340 m");
}

TEST(Scales, CompressorScales) {
    EXPECT_EQ(CompTimeText(0), "0.01ms");
    EXPECT_EQ(CompTimeText(12), "0.10ms");
    EXPECT_EQ(CompTimeText(32), "4.70ms");
    EXPECT_EQ(CompTimeText(54), "330.00ms");
    EXPECT_EQ(CompTimeText(72), "10000.00ms");
    EXPECT_EQ(CompThresholdText(120), "22.0dB");
    EXPECT_EQ(CompThresholdText(76), "0.0dB");
    EXPECT_EQ(CompThresholdText(0), "-38.0dB");
    EXPECT_EQ(CompRatioText(0), "1.00 : 1");
    EXPECT_EQ(CompRatioText(49), "1.98 : 1");
    EXPECT_EQ(CompRatioText(98), "99.00 : 1");
    EXPECT_EQ(CompRatioText(99), "Infinity");
}

TEST(Scales, TypedCompressorValues) {
    EXPECT_EQ(CompTimeFromText("5"), 32);
    EXPECT_EQ(CompTimeFromText("4.7"), 32);
    EXPECT_EQ(CompTimeFromText("4.69"), 31);
    EXPECT_EQ(CompTimeFromText("330"), 54);
    EXPECT_EQ(CompTimeFromText("0.012"), 1);
    EXPECT_EQ(CompTimeFromText("0.1"), 12);
    EXPECT_EQ(CompTimeFromText("99.99"), 47);
    EXPECT_EQ(CompTimeFromText("10000"), 72);
    EXPECT_EQ(CompTimeFromText("20000"), 72);
    EXPECT_EQ(CompTimeFromText("0.005"), 0);
    EXPECT_EQ(CompTimeFromText("garbage"), 0);
    EXPECT_EQ(CompTimeFromText(""), std::nullopt);
    EXPECT_EQ(CompTimeFromText("   "), std::nullopt);

    EXPECT_EQ(CompThresholdFromText("-50"), 0);
    EXPECT_EQ(CompThresholdFromText("22"), 120);
    EXPECT_EQ(CompThresholdFromText("40"), 120);
    EXPECT_EQ(CompThresholdFromText("0"), 76);
    EXPECT_EQ(CompThresholdFromText("-37.3"), 1);
    EXPECT_EQ(CompThresholdFromText(""), std::nullopt);

    EXPECT_EQ(CompRatioFromText("2"), 49);
    EXPECT_EQ(CompRatioFromText("Infinity"), 99);
    EXPECT_EQ(CompRatioFromText("1000"), 99);
    EXPECT_EQ(CompRatioFromText("99"), 98);
    EXPECT_EQ(CompRatioFromText("1"), 0);
    EXPECT_EQ(CompRatioFromText("0.5"), 0);
    EXPECT_EQ(CompRatioFromText("1.98"), 49);
    EXPECT_EQ(CompRatioFromText(""), std::nullopt);
    EXPECT_EQ(CompRatioText(*CompRatioFromText("2"), true), "1.98 : 1");
}

TEST(Scales, TypedFrequenciesAndClamps) {
    EXPECT_DOUBLE_EQ(ParseFrequencyText("2k"), 2000);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("2 khz"), 2000);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("1.5KH"), 1500);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("1.5kz"), 1500);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("1.2k "), 1200);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("440"), 440);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("440Hz"), 440);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("1,000"), 1);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("1,000", true), 1000);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("1,5k", true), 15000);
    EXPECT_DOUBLE_EQ(ParseFrequencyText("k"), 0);

    Clamped c = ClampEqFrequency(ParseFrequencyText("50000"));
    EXPECT_DOUBLE_EQ(c.value, 20000);
    EXPECT_EQ(c.message, "Input range:[20,20000]");
    c = ClampEqFrequency(15);
    EXPECT_DOUBLE_EQ(c.value, 20);
    EXPECT_EQ(c.message, "Input range:[20,20000]");
    c = ClampEqFrequency(1000);
    EXPECT_TRUE(c.message.empty());
    c = ClampQ(25);
    EXPECT_DOUBLE_EQ(c.value, 19.4);
    EXPECT_EQ(c.message, "Input range:[0.31,19.4]");
    EXPECT_DOUBLE_EQ(ClampQ(0.1).value, 0.31);
    c = ClampLevel(-13);
    EXPECT_DOUBLE_EQ(c.value, -12);
    EXPECT_EQ(c.message, "Input range:[-12,+12]");
    EXPECT_TRUE(ClampLevel(5).message.empty());
}
