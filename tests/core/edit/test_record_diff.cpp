// The difference of two records as frames: sent to a virtual processor holding the first record, they
// leave it holding the second in everything a frame can set.
#include "edit/RecordDiff.h"

#include "protocol/Frames.h"
#include "sim/VirtualProcessor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace quellmarin;

namespace {

// A record the editors could have made: every value within its editor's range.
class RandomRecords {
  public:
    explicit RandomRecords(unsigned seed) : rng_(seed) {}

    SystemParameters Make() {
        SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
        for (int k = 0; k < 8; ++k) Randomise(p, k, 1.0);
        SetProgramName(p, Text(12));
        return p;
    }
    // A copy with about `share` of its channel settings changed.
    SystemParameters Vary(SystemParameters p, double share) {
        for (int k = 0; k < 8; ++k) Randomise(p, k, share);
        if (Chance(share)) SetProgramName(p, Text(12));
        return p;
    }

  private:
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    std::uint8_t Byte(int lo, int hi) { return static_cast<std::uint8_t>(Int(lo, hi)); }
    std::string Text(std::size_t n) {
        static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .-";
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += kChars[Int(0, sizeof kChars - 2)];
        return s;
    }
    PeqBand Band() { return {Byte(0, 5), Byte(1, 121), Byte(0, 48), Byte(0, 72)}; }

    void Randomise(SystemParameters& p, int k, double share) {
        InputChannel& in = p.InCH[k];
        OutputChannel& out = p.OutCH[k];
        if (Chance(share / 4)) in.LinkIndex = Byte(0, 7);
        if (Chance(share / 4)) out.LinkIndex = Byte(0, 7);
        if (Chance(share)) in.PeqEnable = Chance(0.5) ? 111 : 0;
        if (Chance(share)) out.PeqEnable = Chance(0.5) ? 111 : 0;
        for (auto& b : in.Peq)
            if (Chance(share)) b = Band();
        for (auto& b : out.Peq)
            if (Chance(share)) b = Band();
        if (Chance(share)) in.Gain = Byte(1, 205);
        if (Chance(share)) out.Gain = Byte(1, 205);
        if (Chance(share)) SetDelaySamples(in, Int(0, kMaxDelaySamples));
        if (Chance(share)) SetDelaySamples(out, Int(0, kMaxDelaySamples));
        if (Chance(share)) in.Mute = Byte(0, 1);
        if (Chance(share)) out.Mute = Byte(0, 1);
        if (Chance(share)) p.Comp[k] = {Byte(0, 72), Byte(0, 72), Byte(0, 120), Byte(0, 99)};
        for (auto& r : out.Route)
            if (Chance(share / 2)) r = Chance(0.5) ? 0 : Byte(1, 205);
        if (Chance(share)) {
            out.HpfType = Byte(0, 11);
            out.HpfFreq = Byte(0, 121);
            out.LpfType = Byte(0, 11);
            out.LpfFreq = Byte(1, 122);
        }
        if (Chance(share)) out.Polarity = Byte(0, 1);
        if (Chance(share)) out.Limit = Byte(0, 99);
        for (int kind = 0; kind < 2; ++kind)
            if (Chance(share / 2))
                std::memcpy(p.ChName[kind * 8 + k], Text(kAliasLength).data(), kAliasLength);
    }

    std::mt19937 rng_;
};

} // namespace

TEST(RecordDiff, FramesCarryAProcessorFromOneRecordToTheOther) {
    RandomRecords random(20261207);
    int sent = 0;
    for (int run = 0; run < 500; ++run) {
        const SystemParameters a = random.Make();
        const SystemParameters b = run % 2 ? random.Make() : random.Vary(a, 0.1);
        sim::VirtualProcessor device(1, DeviceModel::Mivon);
        device.SetParameters(a);
        const RecordDiff diff = DiffFrames(a, b, "01", DeviceModel::Mivon);
        for (const std::string& frame : diff.frames) {
            device.Handle(frame);
            ASSERT_EQ(device.RefusedCount(), 0u) << "refused by the processor: " << frame;
            ++sent;
        }
        const SystemParameters held = device.Parameters();
        ASSERT_TRUE(SameSettings(held, b)) << "run " << run;
        ASSERT_EQ(std::memcmp(held.ChName, b.ChName, sizeof b.ChName), 0) << "run " << run;
        EXPECT_EQ(DiffFrames(held, b, "01", DeviceModel::Mivon).frames.size(), 0u);
        if (ProgramName(a) != ProgramName(b)) {
            ASSERT_FALSE(diff.unsettable.empty());
            EXPECT_EQ(diff.unsettable.front(), "program name");
        }
    }
    EXPECT_GT(sent, 500);
}

TEST(RecordDiff, OneFramePerGroupWithTheLinksFirst) {
    SystemParameters a = DefaultSystemParameters(DeviceModel::Mivon);
    SystemParameters b = a;
    EXPECT_TRUE(DiffFrames(a, b, "01", DeviceModel::Mivon).Empty());
    b.OutCH[2].Peq[1] = {1, 70, 18, 30};
    b.OutCH[2].Gain = 169;
    b.OutCH[1].LinkIndex = 0;
    b.OutCH[5].HpfFreq = 30;
    b.OutCH[5].LpfFreq = 100;
    b.OutCH[6].OutSpare48 = 3;
    const RecordDiff d = DiffFrames(a, b, "01", DeviceModel::Mivon);
    ASSERT_EQ(d.frames.size(), 4u) << "both crossover corners go in one frame";
    EXPECT_EQ(d.frames[0].substr(0, 7), "(01$041") << d.frames[0];
    EXPECT_EQ(d.frames[1], FrameOutputPeqBand("01", 2, 1, 1, 70, 18, 30));
    EXPECT_EQ(d.frames[2], FrameOutputGain("01", 2, 169));
    EXPECT_EQ(d.frames[3], FrameCrossover("01", 5, a.OutCH[5].HpfType, 30, a.OutCH[5].LpfType, 100));
    EXPECT_EQ(d.unsettable, std::vector<std::string>{"out 7 spare"});

    // An equaliser switched on is on whether it holds 1 or 111.
    a.InCH[0].PeqEnable = 1;
    b = a;
    b.InCH[0].PeqEnable = 111;
    EXPECT_TRUE(DiffFrames(a, b, "01", DeviceModel::Mivon).frames.empty());
}
