// The editor foundation: the link-master rule, the fixed-length rule, and the editors that exist on
// it (mutes, equaliser bands, crossover), with the exact frames they post.
#include "edit/CrossoverEditor.h"
#include "edit/EqEditor.h"
#include "edit/MuteEditor.h"

#include "core/edit/EditorRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quellmarin;

using Rig = test::EditorRig;

TEST(EditContext, MasterFollowsTheLinkIndexAndOnlyFixedLengthsArePosted) {
    Rig r;
    r.record.InCH[3].LinkIndex = 1;
    r.record.OutCH[6].LinkIndex = 200; // a damaged record never leads outside the eight channels
    EXPECT_EQ((ChannelRef{Section::Input, 3}.Master(r.record)), 1);
    EXPECT_EQ((ChannelRef{Section::Output, 3}.Master(r.record)), 3) << "each section has its own links";
    EXPECT_EQ((ChannelRef{Section::Output, 6}.Master(r.record)), 7);
    EXPECT_TRUE(r.ctx.PostFixed("(01$0303001)", 12));
    EXPECT_FALSE(r.ctx.PostFixed("(123$0303001)", 12));
    EXPECT_EQ(r.frames, (std::vector<std::string>{"(01$0303001)"}));
}

TEST(MuteEditor, TogglesTheClickedChannelAndPostsTwelveCharacterFrames) {
    Rig r;
    MuteEditor mute(r.ctx);
    r.record.InCH[3].LinkIndex = 1; // the mute frame carries the clicked channel, not its link master
    mute.Toggle({Section::Input, 3});
    EXPECT_EQ(r.record.InCH[3].Mute, 1);
    EXPECT_EQ(r.record.InCH[1].Mute, 0);
    EXPECT_TRUE(mute.Muted({Section::Input, 3}));
    mute.Toggle({Section::Input, 3});
    EXPECT_EQ(r.record.InCH[3].Mute, 0);
    r.address = "12";
    mute.Toggle({Section::Output, 7});
    EXPECT_EQ(r.record.OutCH[7].Mute, 1);
    r.address = "123";
    mute.Toggle({Section::Output, 7});
    EXPECT_EQ(r.record.OutCH[7].Mute, 0) << "a frame of another length is not posted, the record changes";
    EXPECT_EQ(r.frames, (std::vector<std::string>{"(01$0303001)", "(01$0303000)", "(12$0377001)"}));
    r.record.OutCH[2].Mute = 5;
    EXPECT_FALSE(mute.Muted({Section::Output, 2})) << "only 1 shows muted";
}

TEST(EqEditor, BandsGoToTheLinkMasterOnTheDevicesSteps) {
    Rig r;
    EqEditor in(r.ctx, Section::Input), out(r.ctx, Section::Output);
    EXPECT_EQ(in.BandCount(), 5);
    EXPECT_EQ(out.BandCount(), 7);
    r.record.InCH[2].LinkIndex = 0;
    // +3.2 dB lies on the 0.5 dB step below it; the Q step is kept.
    in.ApplyBand(2, 0, {1, 1000, 59, 3.2, 46});
    const PeqBand stored = r.record.InCH[0].Peq[0];
    EXPECT_EQ(stored.Type, 1);
    EXPECT_EQ(stored.Level, 30) << "(3.2 + 12) x 2, cut to a whole step";
    EXPECT_EQ(stored.Q, 46);
    EXPECT_EQ(r.record.InCH[2].Peq[0].Level, DefaultSystemParameters(DeviceModel::Mivon).InCH[2].Peq[0].Level)
        << "the linked channel's own record is left alone";
    out.ApplyBand(3, 6, {5, 1000, 59, -12, 72});
    EXPECT_EQ(r.record.OutCH[3].Peq[6].Type, 5);
    EXPECT_EQ(r.record.OutCH[3].Peq[6].Level, 0);
    in.ApplyBand(0, 5, {1, 1000, 59, 0, 46}); // inputs have five bands
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[0].substr(0, 10), "(01$027000");
    EXPECT_EQ(r.frames[0].size(), 20u);
    EXPECT_EQ(r.frames[1].substr(0, 11), "(01$0343065");
    EXPECT_EQ(EqEditor::StepsOf({9, 1000, 59, 40, 99}).Type, 5)
        << "values past the tables are held at their ends";
    EXPECT_EQ(EqEditor::StepsOf({9, 1000, 59, 40, 99}).Level, 48);
}

TEST(CrossoverEditor, WritesTheMasterAndPostsNineteenCharacters) {
    Rig r;
    CrossoverEditor x(r.ctx);
    r.record.OutCH[5].LinkIndex = 4;
    x.ApplyCrossover(5, {1, 29, 0, 122});
    EXPECT_EQ(r.record.OutCH[4].HpfType, 1);
    EXPECT_EQ(r.record.OutCH[4].HpfFreq, 29);
    EXPECT_EQ(r.record.OutCH[4].LpfFreq, 122);
    EXPECT_EQ((x.Current(5).hpfStep), 29);
    EXPECT_EQ(r.frames, (std::vector<std::string>{"(01$03340102900122)"}));
    r.address = "7";
    x.ApplyCrossover(5, {1, 30, 0, 122});
    EXPECT_EQ(r.record.OutCH[4].HpfFreq, 30);
    EXPECT_EQ(r.frames.size(), 1u) << "a frame that lost its length is dropped";
}
