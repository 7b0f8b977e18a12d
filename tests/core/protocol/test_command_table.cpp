// The command table: every command's frame, built from a record, carries that record's values to a
// fresh record on the device's side, has its command's length, and keeps the key the queue coalesces by.
#include "protocol/CommandTable.h"

#include "protocol/Frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

using namespace quellmarin;

namespace {

// A record with every setting moved off its default, within what the editors can set.
SystemParameters Scrambled(unsigned seed) {
    std::mt19937 rng(seed);
    const auto pick = [&](int lo, int hi) {
        return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(lo, hi)(rng));
    };
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    for (int k = 0; k < 8; ++k) {
        InputChannel& in = p.InCH[k];
        OutputChannel& out = p.OutCH[k];
        in.LinkIndex = pick(0, 7);
        out.LinkIndex = pick(0, 7);
        in.PeqEnable = 111;
        out.PeqEnable = 111;
        for (auto& b : in.Peq) b = {pick(0, 5), pick(1, 121), pick(0, 48), pick(0, 72)};
        for (auto& b : out.Peq) b = {pick(0, 5), pick(1, 121), pick(0, 48), pick(0, 72)};
        in.Gain = pick(1, 205);
        out.Gain = pick(1, 205);
        SetDelaySamples(in, std::uniform_int_distribution<int>(1, kMaxDelaySamples)(rng));
        SetDelaySamples(out, std::uniform_int_distribution<int>(1, kMaxDelaySamples)(rng));
        in.Mute = 1;
        out.Mute = 1;
        out.Polarity = 1;
        out.Limit = pick(0, 98);
        for (auto& r : out.Route) r = pick(1, 205);
        out.HpfType = pick(1, 11);
        out.HpfFreq = pick(1, 121);
        out.LpfType = pick(1, 11);
        out.LpfFreq = pick(1, 121);
        p.Comp[k] = {pick(0, 72), pick(0, 72), pick(0, 120), pick(0, 99)};
    }
    for (int i = 0; i < kAliasCount; ++i) std::memcpy(p.ChName[i], "Stage left  ABC", kAliasLength);
    p.ChName[5][0] = static_cast<char>('a' + seed % 26);
    return p;
}

} // namespace

TEST(CommandTable, EveryFrameCarriesItsRecordsValuesToAFreshRecord) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const SystemParameters from = Scrambled(seed);
        DeviceInfoRecord fromInfo = DefaultDeviceInfo(DeviceModel::Mivon);
        fromInfo.GenRun = 1;
        fromInfo.GenFreq = static_cast<std::uint8_t>(seed * 5);
        fromInfo.GenLevel = static_cast<std::uint8_t>(100 + seed);
        fromInfo.PanelLock = 1;
        for (const CommandSpec& c : Commands()) {
            if (!c.build || !c.apply) continue;
            for (int unit = 0; unit < c.Units(); ++unit) {
                for (int band = 0; band < c.BandsOrOne(); ++band) {
                    SCOPED_TRACE(std::string(c.code) + " unit " + std::to_string(unit) + " band " +
                                 std::to_string(band));
                    const std::string frame = BuildFrame(c, "07", from, fromInfo, unit, band, DeviceModel::Mivon);
                    EXPECT_EQ(frame.size(), c.length);
                    const FrameUnit read = ReadFrameUnit(frame);
                    EXPECT_EQ(read.entry, &c);
                    EXPECT_EQ(read.address, "07");
                    if (c.scope != Scope::Device) {
                        EXPECT_EQ(read.unit, unit);
                    }
                    if (c.bands > 0) {
                        EXPECT_EQ(read.band, band);
                    }

                    SystemParameters to = DefaultSystemParameters(DeviceModel::Mivon);
                    DeviceInfoRecord toInfo = DefaultDeviceInfo(DeviceModel::Mivon);
                    to.OutCH[2].Route[5] = 77; // for the routing reset to undo
                    ASSERT_TRUE(ApplyFrame(frame, {to, toInfo}, DeviceModel::Mivon)) << frame;
                    if (c.same) {
                        EXPECT_TRUE(c.same(from, to, unit, band)) << frame;
                    } else if (c.code == "$001") {
                        EXPECT_EQ(toInfo.GenRun, fromInfo.GenRun);
                        EXPECT_EQ(toInfo.GenFreq, fromInfo.GenFreq);
                        EXPECT_EQ(toInfo.GenLevel, fromInfo.GenLevel);
                    } else if (c.code == "J") {
                        EXPECT_EQ(toInfo.PanelLock, 1);
                    } else if (c.code == "K") {
                        EXPECT_EQ(to.OutCH[2].Route[5], DefaultSystemParameters(DeviceModel::Mivon).OutCH[2].Route[5]);
                    } else {
                        ADD_FAILURE() << c.code << " is applied but nothing checks what it set";
                    }
                }
            }
        }
    }
}

TEST(CommandTable, KeysLengthsAndRepliesAreThoseTheLinkUsed) {
    const SystemParameters p = Scrambled(3);
    const DeviceInfoRecord d = DefaultDeviceInfo(DeviceModel::Mivon);
    // The key of unit 3 (band 2) of each command, as the queue has always coalesced them.
    const std::map<std::string_view, std::string> keys = {
        {"$026", "01$0263"}, {"$027", "01$0273/02"}, {"$028", "01$0283"}, {"$029", "01$0293"},
        {"$030", "01$0303"}, {"$031", "01$0313"},    {"$032", "01$0323"}, {"$033", "01$0333"},
        {"$034", "01$0343/02"}, {"$035", "01$0353"}, {"$036", "01$0363"}, {"$037", "01$0373"},
        {"$038", "01$0383"}, {"$039", "01$0393"},    {"$044", "01$0443"}, {"$001", "01$001"},
        {"$040", ""},        {"$041", ""},           {"E", ""},           {"J", ""},
        {"K", ""},
    };
    std::size_t built = 0;
    for (const CommandSpec& c : Commands()) {
        if (!c.build) continue;
        const int unit = c.scope == Scope::Device ? 0 : 3;
        const std::string frame = BuildFrame(c, "01", p, d, unit, c.bands > 0 ? 2 : 0, DeviceModel::Mivon);
        ASSERT_TRUE(keys.count(c.code)) << c.code;
        EXPECT_EQ(ParameterKey(frame), keys.at(c.code)) << frame;
        ++built;
    }
    EXPECT_EQ(built, keys.size());
    // The fixed lengths the editors post by.
    EXPECT_EQ(FindCommand("$028")->length, 12u);
    EXPECT_EQ(FindCommand("$033")->length, 19u);
    EXPECT_EQ(FindCommand("$031")->length, 33u);
    EXPECT_EQ(FindCommand("$036")->length, 17u);
    EXPECT_EQ(FindCommand("$044")->length, 18u);
    // Replies known in advance, for the waits that end as soon as they are complete.
    EXPECT_EQ(KnownReplyLength("(01hello)"), 11u);
    EXPECT_EQ(KnownReplyLength("(01L)"), 41u);
    EXPECT_EQ(KnownReplyLength("(01Q000)"), 1883u);
    EXPECT_EQ(KnownReplyLength("(01I)"), 346u);
    EXPECT_EQ(KnownReplyLength("(01T004)"), 51u);
    EXPECT_EQ(KnownReplyLength(" (01L)\r\n"), 41u);
    EXPECT_EQ(KnownReplyLength("(01Q001)"), 0u);
    EXPECT_EQ(KnownReplyLength("(01$0283183)"), 0u);
    EXPECT_EQ(KnownReplyLength("(01R004)"), 0u);
    // No two commands share a code.
    std::map<std::string_view, int> codes;
    for (const CommandSpec& c : Commands()) EXPECT_EQ(++codes[c.code], 1) << c.code;
}

TEST(CommandTable, TheDeviceRefusesMalformedFramesAndChangesNothing) {
    const SystemParameters start = Scrambled(9);
    const DeviceInfoRecord startInfo = DefaultDeviceInfo(DeviceModel::Mivon);
    for (const char* frame : {"(01$0288183)",      // channel 8
                              "(01$028318)",       // short
                              "(01$02831833)",     // long
                              "(01$0283256)",      // above a byte
                              "(01$0283x83)",      // not digits
                              "(01$0304002)",      // a mute that is neither 000 nor 001
                              "(01$0270050924046)", // band 5 of an input's five
                              "(01$0290096001)",   // a delay above 96000 samples
                              "(01$0333011240124)", // a crossover frequency above 123
                              "(01$0363000109100)", // the limiter's fixed zeros broken
                              "(01$04000224568)",  // a link to channel 8
                              "(01E29Stage left     )", // alias kind 2
                              "(01J01)",           // short lock
                              "(01KK)",            // reset with a tail
                              "(01$0012069181)",   // generator state 2
                              "(01$099300)",       // no such command
                              "(01L)",             // a request, not a setting
                              "(01$)",
                              "()"}) {
        SystemParameters p = start;
        DeviceInfoRecord d = startInfo;
        EXPECT_FALSE(ApplyFrame(frame, {p, d}, DeviceModel::Mivon)) << frame;
        EXPECT_TRUE(p == start) << frame;
        EXPECT_TRUE(d == startInfo) << frame;
    }
}
