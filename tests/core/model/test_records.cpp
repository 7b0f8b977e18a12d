#include "model/Records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace quellmarin;

namespace {

// Expected defaults written out from the published layout, independent of the code's own tables.
void ExpectDefaultParameterBytes(const ParameterBytes& b, DeviceModel model) {
    SCOPED_TRACE(std::string(ModelName(model)));
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 0);
    for (int i = 2; i < 22; ++i) EXPECT_EQ(b[i], '.') << "name byte " << i;

    const int inFreq[5] = {29, 59, 69, 89, 109};
    for (int k = 0; k < 8; ++k) {
        const int o = 22 + 27 * k;
        SCOPED_TRACE("input slot " + std::to_string(k));
        EXPECT_EQ(b[o + 0], k);
        EXPECT_EQ(b[o + 1], 0);
        for (int j = 0; j < 5; ++j) {
            int level = 24;
            if (k == 0 && j == 0) level = 14;
            if (k == 0 && j == 4) level = 29;
            EXPECT_EQ(b[o + 2 + 4 * j], 0);
            EXPECT_EQ(b[o + 3 + 4 * j], inFreq[j]);
            EXPECT_EQ(b[o + 4 + 4 * j], level);
            EXPECT_EQ(b[o + 5 + 4 * j], 46);
        }
        EXPECT_EQ(b[o + 22], 181);
        EXPECT_EQ(b[o + 23], 0);
        EXPECT_EQ(b[o + 24], 0);
        EXPECT_EQ(b[o + 25], 0);
        EXPECT_EQ(b[o + 26], 0);
    }

    const int outFreq[7] = {29, 39, 49, 59, 69, 79, 109};
    const int out0Freq[7] = {29, 39, 59, 69, 79, 89, 109};
    for (int k = 0; k < 8; ++k) {
        const int o = 238 + 53 * k;
        SCOPED_TRACE("output slot " + std::to_string(k));
        EXPECT_EQ(b[o + 0], k);
        for (int i = 0; i < 8; ++i) {
            const int routed = model == DeviceModel::Ketra ? 4 + k / 2 : k;
            EXPECT_EQ(b[o + 1 + i], i == routed ? 181 : 0) << "route " << i;
        }
        for (int i = 9; i <= 14; ++i) EXPECT_EQ(b[o + i], 0) << "byte " << i;
        EXPECT_EQ(b[o + 15], 122);
        EXPECT_EQ(b[o + 16], 0);
        for (int j = 0; j < 7; ++j) {
            EXPECT_EQ(b[o + 17 + 4 * j], 0);
            EXPECT_EQ(b[o + 18 + 4 * j], k == 0 ? out0Freq[j] : outFreq[j]);
            EXPECT_EQ(b[o + 19 + 4 * j], (k == 7 && j == 1) ? 25 : 24);
            EXPECT_EQ(b[o + 20 + 4 * j], 46);
        }
        const int tail[8] = {181, 0, 12, 12, 99, 1, 0, 0};
        for (int i = 0; i < 8; ++i) EXPECT_EQ(b[o + 45 + i], tail[i]) << "byte " << 45 + i;
    }

    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(b[662 + 4 * k], 54);
        EXPECT_EQ(b[663 + 4 * k], 56);
        EXPECT_EQ(b[664 + 4 * k], 120);
        EXPECT_EQ(b[665 + 4 * k], 0);
    }
    for (int i = 694; i < 934; ++i) EXPECT_EQ(b[i], '*') << "alias byte " << i;
    EXPECT_EQ(b[934], 0);
    EXPECT_EQ(b[935], 0);
}

void ExpectDefaultInfoBytes(const DeviceInfoBytes& b, DeviceModel model) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 10), "QUORVANDEL");
    for (int i = 10; i < 138; ++i) EXPECT_EQ(b[i], '.') << "description byte " << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + 138, 12), "h00120120413");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + 150, 12), "s00120120413");
    const int tail[7] = {1, 29, 145, 0, 0, 1, model == DeviceModel::Ketra ? 0x48 : 0x88};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(b[162 + i], tail[i]) << "byte " << 162 + i;
}

} // namespace

TEST(Records, DefaultsOfBothModelsByteForByte) {
    for (DeviceModel model : {DeviceModel::Mivon, DeviceModel::Ketra}) {
        SystemParameters p{};
        DeviceInfoRecord d{};
        ResetDefaults(p, d, model);
        ExpectDefaultParameterBytes(ToBytes(p), model);
        ExpectDefaultInfoBytes(ToBytes(d), model);
    }
}

TEST(Records, RoutingOfOutputThreeAndResetRouting) {
    SystemParameters mivon = DefaultSystemParameters(DeviceModel::Mivon);
    SystemParameters ketra = DefaultSystemParameters(DeviceModel::Ketra);
    const std::uint8_t expectMivon[8] = {0, 0, 0, 181, 0, 0, 0, 0};
    const std::uint8_t expectKetra[8] = {0, 0, 0, 0, 0, 181, 0, 0};
    EXPECT_EQ(0, std::memcmp(mivon.OutCH[3].Route, expectMivon, 8));
    EXPECT_EQ(0, std::memcmp(ketra.OutCH[3].Route, expectKetra, 8));

    // Resetting the routing touches nothing but the route bytes.
    SystemParameters edited = mivon;
    edited.OutCH[3].Route[0] = 171;
    edited.OutCH[3].Route[3] = 0;
    edited.OutCH[3].Gain = 150;
    ResetRouting(edited, DeviceModel::Mivon);
    EXPECT_EQ(0, std::memcmp(edited.OutCH[3].Route, expectMivon, 8));
    EXPECT_EQ(edited.OutCH[3].Gain, 150);
}

TEST(Records, ResetDefaultsFillsBothRecords) {
    SystemParameters p;
    DeviceInfoRecord d;
    std::memset(&p, 0xAB, sizeof p);
    std::memset(&d, 0xAB, sizeof d);
    ResetDefaults(p, d, DeviceModel::Ketra);
    EXPECT_TRUE(p == DefaultSystemParameters(DeviceModel::Ketra));
    EXPECT_TRUE(d == DefaultDeviceInfo(DeviceModel::Ketra));
}

TEST(Records, ResetCompAndNamesWritesOnlyTheTailBlock) {
    SystemParameters p = DefaultSystemParameters();
    ParameterBytes scrambled = ToBytes(p);
    for (std::size_t i = 0; i < scrambled.size(); ++i) scrambled[i] = static_cast<std::uint8_t>(i * 7 + 3);
    SystemParameters s = ParametersFromBytes(scrambled);
    ResetCompAndNames(s);
    const ParameterBytes after = ToBytes(s);
    const ParameterBytes defaults = ToBytes(p);
    for (std::size_t i = 0; i < 662; ++i) EXPECT_EQ(after[i], scrambled[i]) << i;
    for (std::size_t i = 662; i < 936; ++i) EXPECT_EQ(after[i], defaults[i]) << i;
}

TEST(Records, ProgramNameIsCutAndTerminated) {
    SystemParameters p = DefaultSystemParameters();
    SetProgramName(p, "Main PA left stack 1"); // exactly 20
    ParameterBytes b = ToBytes(p);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + 2, 20), "Main PA left stack 1");
    EXPECT_EQ(b[22], 0) << "the LinkIndex of input 1 follows a full name";
    EXPECT_EQ(ProgramName(p), "Main PA left stack 1");

    SetProgramName(p, "Stage");
    b = ToBytes(p);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + 2, 5), "Stage");
    EXPECT_EQ(b[7], 0);
    EXPECT_EQ(ProgramName(p), "Stage");

    SetProgramName(p, "A name that is far longer than twenty");
    EXPECT_EQ(ProgramName(p), "A name that is far l");
    EXPECT_EQ(ToBytes(p)[22], 0);
}

TEST(Records, ProgramNumberAndDelayTriples) {
    DeviceInfoRecord d = DefaultDeviceInfo();
    EXPECT_EQ(ProgramNoText(d), "01");
    SetProgramNo(d, 5);
    EXPECT_EQ(ProgramNo(d), 5);
    EXPECT_EQ(ProgramNoText(d), "05");
    SetProgramNo(d, 40);
    EXPECT_EQ(ProgramNoText(d), "40");

    constexpr DelayTriple full = DelayTripleOf(96000);
    EXPECT_EQ(full.H, 9);
    EXPECT_EQ(full.M, 60);
    EXPECT_EQ(full.L, 0);
    constexpr DelayTriple oneMs = DelayTripleOf(48);
    EXPECT_EQ(oneMs.H, 0);
    EXPECT_EQ(oneMs.M, 0);
    EXPECT_EQ(oneMs.L, 48);

    SystemParameters p = DefaultSystemParameters();
    for (int n : {0, 1, 99, 100, 480, 12345, 95999, 96000}) {
        SetDelaySamples(p.OutCH[2], n);
        EXPECT_EQ(DelaySamples(p.OutCH[2]), n);
        EXPECT_LE(p.OutCH[2].DelayM, 99);
        EXPECT_LE(p.OutCH[2].DelayL, 99);
    }
}
