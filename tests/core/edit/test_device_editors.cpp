// Routing, channel links, alias names and the panel lock: the record and the exact frames.
#include "edit/AliasEditor.h"
#include "edit/LinkEditor.h"
#include "edit/PanelLock.h"
#include "edit/RouteEditor.h"
#include "edit/GainEditor.h"

#include "core/edit/EditorRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quellmarin;

using Rig = test::EditorRig;

TEST(RouteEditor, TogglesResetsAndTheKetraColumns) {
    Rig r;
    RouteEditor route(r.ctx);
    EXPECT_EQ(route.InputSlots().size(), 8u);
    route.Toggle(7, 1); // input B into output 8
    EXPECT_EQ(r.record.OutCH[7].Route[1], 181);
    EXPECT_EQ(r.frames.back(), "(01$0317000181000000000000000181)");
    r.record.OutCH[2].Route[0] = 170; // a level read from the device shows as routed
    EXPECT_TRUE(route.Routed(2, 0));
    route.Toggle(2, 0);
    EXPECT_EQ(r.record.OutCH[2].Route[0], 0);
    route.Toggle(2, 0);
    EXPECT_EQ(r.record.OutCH[2].Route[0], 181);
    EXPECT_EQ(route.Summary(7), "From B, H");
    route.Reset();
    EXPECT_EQ(r.frames.back(), "(01K)");
    for (int o = 0; o < 8; ++o)
        for (int i = 0; i < 8; ++i) EXPECT_EQ(r.record.OutCH[o].Route[i], o == i ? 181 : 0);
    r.address = "1";
    route.Toggle(0, 3);
    EXPECT_EQ(r.record.OutCH[0].Route[3], 181) << "the record changes even when the frame cannot go";
    EXPECT_EQ(r.frames.back(), "(01K)");

    Rig k(DeviceModel::Ketra);
    RouteEditor ketra(k.ctx);
    EXPECT_EQ(ketra.InputSlots(), (std::vector<int>{4, 5, 6, 7}));
    EXPECT_EQ(ketra.ColumnLabel(4), "A");
    k.record.OutCH[0].Route[1] = 99; // slots 0..3 are no inputs on Ketra
    ketra.Toggle(0, 5);
    EXPECT_EQ(k.frames.back().substr(0, 20), "(01$0310000000000000");
    ketra.Reset();
    EXPECT_EQ(k.record.OutCH[0].Route[4], 181);
    EXPECT_EQ(k.record.OutCH[1].Route[4], 181);
    EXPECT_EQ(k.record.OutCH[6].Route[7], 181);
    EXPECT_EQ(k.record.OutCH[2].Route[4], 0);
}

TEST(LinkEditor, CanonicalGroupsTheLinkCopyAndTheFrames) {
    Rig r;
    LinkEditor link(r.ctx);
    EXPECT_EQ(LinkEditor::Title(Section::Input), " Link Setting Input");
    link.Confirm(Section::Input, {2, 2, 0, 0, 4, 5, 6, 7}); // groups 3, 3, 1, 1 for A..D
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(r.record.InCH[k].LinkIndex, (std::array<int, 8>{0, 0, 2, 2, 4, 5, 6, 7})[k]);
    EXPECT_EQ(r.frames.back(), "(01$04000224567)");

    // Linking B to A leaves B's record as it was; edits of B go to A; the next confirmation copies.
    Rig s;
    LinkEditor links(s.ctx);
    GainEditor gain(s.ctx, Section::Input);
    s.record.InCH[1].Gain = 171;
    s.record.InCH[1].Mute = 1;
    links.Confirm(Section::Input, {0, 0, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(s.record.InCH[1].Gain, 171);
    gain.Apply(1, 19); // -6 dB on B edits A
    EXPECT_EQ(s.record.InCH[0].Gain, 169);
    EXPECT_EQ(s.frames.back(), "(01$0280169)");
    s.record.Comp[0].Ratio = 49;
    links.Confirm(Section::Input, {0, 1, 2, 3, 4, 5, 6, 7}); // unlink B
    EXPECT_EQ(s.record.InCH[1].LinkIndex, 1);
    EXPECT_EQ(s.record.InCH[1].Gain, 169) << "B keeps A's settings as they were";
    EXPECT_EQ(s.record.Comp[1].Ratio, 49) << "the compressor travels with the input";
    EXPECT_EQ(s.record.InCH[1].Mute, 1) << "the mute is never shared";
    EXPECT_EQ(s.frames.back(), "(01$04001234567)");

    s.record.OutCH[3].Limit = 10;
    s.record.OutCH[3].Mute = 1;
    links.Confirm(Section::Output, {3, 1, 2, 3, 4, 5, 6, 7}); // output 1 joins output 4's group
    EXPECT_EQ(s.record.OutCH[0].LinkIndex, 0);
    EXPECT_EQ(s.record.OutCH[3].LinkIndex, 0) << "the group's lowest member is its master";
    EXPECT_EQ(s.frames.back(), "(01$04101204567)");
    links.Confirm(Section::Output, {0, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(s.record.OutCH[3].Limit, DefaultSystemParameters(DeviceModel::Mivon).OutCH[0].Limit)
        << "output 4 took its master's settings when the group was confirmed";
    EXPECT_EQ(s.record.OutCH[3].Mute, 1);

    Rig k(DeviceModel::Ketra);
    LinkEditor ketra(k.ctx);
    EXPECT_EQ(ketra.Channels(Section::Input), (std::vector<int>{4, 5, 6, 7}));
    EXPECT_EQ(ketra.ColumnLabel(Section::Input, 5), "B");
    EXPECT_EQ(ketra.ColumnLabel(Section::Output, 5), "6");
}

TEST(AliasEditor, NamesArePaddedFilteredAndSentEveryTime) {
    Rig r;
    AliasEditor alias(r.ctx);
    EXPECT_EQ(alias.FieldText(0), "***************");
    EXPECT_EQ(DisplayName(r.record, {Section::Input, 0}), "") << "the default fill is no name";
    EXPECT_EQ(alias.Leave(AliasEditor::IndexOf({Section::Output, 2}), "Stage left"),
              "(01E12Stage left     )");
    EXPECT_EQ(DisplayName(r.record, {Section::Output, 2}), "Stage left");
    EXPECT_EQ(alias.Leave(10, "Stage left"), "(01E12Stage left     )")
        << "leaving it unchanged sends it again";
    EXPECT_EQ(alias.Leave(0, ""), "(01E00               )");
    EXPECT_EQ(std::string(r.record.ChName[0], 15), std::string(15, ' '));
    EXPECT_EQ(alias.Leave(1, "(Kick)\x01 drum and more"), "(01E01Kick drum and m)");
    r.address = "001";
    EXPECT_EQ(alias.Leave(3, "Snare"), std::nullopt);
    EXPECT_EQ(alias.FieldText(3), "Snare") << "the record keeps the name";
}

TEST(PanelLock, LockAndUnlockFrames) {
    Rig r;
    PanelLock lock(r.ctx);
    EXPECT_FALSE(lock.Locked());
    EXPECT_EQ(lock.Set(true), "(01J001)");
    EXPECT_EQ(lock.Set(true), "(01J001)");
    EXPECT_TRUE(lock.Locked());
    EXPECT_EQ(r.info.PanelLock, 1);
    EXPECT_EQ(lock.Set(false), "(01J000)");
    EXPECT_EQ(r.info.PanelLock, 0);
}
