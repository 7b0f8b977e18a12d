// A rig of six processors on two lines: group edits reach each member as its own frame with its own
// address, relative steps keep each member's offset, one undo takes a group edit back on all, and the
// show file carries the rig offline and back.
#include "session/Rig.h"

#include "edit/DelayEditor.h"
#include "edit/GainEditor.h"
#include "edit/MuteEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace quellmarin;

namespace {

constexpr int kGains[] = {-6, -2, 2, 6, 10, 12}; // output 3 of each unit: offsets to keep

// Four units on one line (IDs 1 to 4) and two on another (IDs 1 and 2), each collecting its frames.
struct SixUnits {
    Rig rig;
    std::map<std::size_t, std::vector<std::string>> sent;
    SixUnits() {
        for (int i = 0; i < 6; ++i) {
            const std::size_t u = rig.Add("Unit " + std::string(1, static_cast<char>('A' + i)),
                                          i < 4 ? "/dev/ttyUSB0" : "/dev/ttyUSB1", i < 4 ? i + 1 : i - 3);
            rig.At(u).SetPost([this, u](std::string f) { sent[u].push_back(std::move(f)); });
            GainEditor(rig.At(u).Context(), Section::Output).SetDb(2, kGains[i]);
        }
        sent.clear();
    }
};

int OutputGainDb(const Session& s, int channel) {
    return 13 - (207 - s.Params().OutCH[channel].Gain) / 2;
}

} // namespace

TEST(Rig, AGroupMuteIsEachMembersOwnFrameAndOneUndoTakesItBackOnAll) {
    SixUnits six;
    Rig& rig = six.rig;
    rig.SetGroup({0, 1, 2, 3, 4, 5});
    EXPECT_EQ(rig.GroupTitle("OUTPUT GAIN CH[3]"), "OUTPUT GAIN CH[3] (group of 6)");
    const auto notes = rig.Edit("Output 3 mute", [](EditContext& ctx, std::size_t) {
        MuteEditor(ctx).Set({Section::Output, 2}, true);
        return std::string();
    });
    EXPECT_TRUE(notes.empty());
    for (std::size_t u = 0; u < 6; ++u) {
        const std::string address = TwoDigitText(u < 4 ? static_cast<int>(u) + 1 : static_cast<int>(u) - 3);
        EXPECT_EQ(six.sent[u], std::vector<std::string>{"(" + address + "$0372001)"}) << rig.Label(u);
        EXPECT_EQ(rig.At(u).Params().OutCH[2].Mute, 1);
        EXPECT_EQ(rig.At(u).History().UndoName(), "Output 3 mute (group of 6)");
    }
    six.sent.clear();
    EXPECT_EQ(rig.UndoGroup(), "");
    for (std::size_t u = 0; u < 6; ++u) {
        EXPECT_EQ(rig.At(u).Params().OutCH[2].Mute, 0) << rig.Label(u);
        ASSERT_EQ(six.sent[u].size(), 1u) << "the undo goes to each member as its own frame";
        EXPECT_EQ(six.sent[u][0].substr(3, 4), "$037");
    }
    EXPECT_EQ(rig.RedoGroup(), "");
    EXPECT_EQ(rig.At(5).Params().OutCH[2].Mute, 1);
}

TEST(Rig, ARelativeGainStepKeepsEachOffsetAndSaysWhichMemberIsHeld) {
    SixUnits six;
    Rig& rig = six.rig;
    rig.SetGroup({0, 1, 2, 3, 4, 5});
    const auto step = [&](int db) {
        return rig.Edit("Output 3 gain", [db](EditContext& ctx, std::size_t) {
            const GainEditor::Step s = GainEditor(ctx, Section::Output).StepDb(2, db);
            return s.atLimit ? "Output 3 gain held at " + std::to_string(s.db) + " dB" : std::string();
        });
    };
    const std::vector<int> before(std::begin(kGains), std::end(kGains));
    for (std::size_t u = 0; u < 6; ++u) ASSERT_EQ(OutputGainDb(rig.At(u), 2), before[u]);
    EXPECT_TRUE(step(-3).empty());
    for (std::size_t u = 0; u < 6; ++u) EXPECT_EQ(OutputGainDb(rig.At(u), 2), before[u] - 3) << u;
    const auto held = step(+5);
    EXPECT_EQ(held, std::vector<std::string>{"Unit F (ID 2 on /dev/ttyUSB1): Output 3 gain held at 12 dB"});
    EXPECT_EQ(rig.UndoGroup(), "");
    EXPECT_EQ(rig.UndoGroup(), "");
    for (std::size_t u = 0; u < 6; ++u) EXPECT_EQ(OutputGainDb(rig.At(u), 2), before[u]) << "all six restored";

    // A member edited on its own since the group edit: the group undo would take the wrong step.
    step(-1);
    GainEditor(rig.At(3).Context(), Section::Output).SetDb(0, -20);
    const std::string refused = rig.UndoGroup();
    EXPECT_NE(refused.find("Unit D (ID 4 on /dev/ttyUSB0) was edited since"), std::string::npos) << refused;
    EXPECT_EQ(OutputGainDb(rig.At(0), 2), before[0] - 1) << "nothing was undone";
}

TEST(Rig, WithoutAGroupAnEditGoesToTheSelectedProcessorAlone) {
    SixUnits six;
    Rig& rig = six.rig;
    rig.SetGroup({2, 2, 9}); // one real member: no group
    EXPECT_FALSE(rig.GroupActive());
    rig.Select(4);
    rig.SelectNext();
    rig.SelectNext();
    EXPECT_EQ(rig.Selected(), 0u) << "round from the last to the first";
    rig.SelectPrevious();
    EXPECT_EQ(rig.Selected(), 5u);
    rig.Edit("Output 3 mute", [](EditContext& ctx, std::size_t) {
        MuteEditor(ctx).Set({Section::Output, 2}, true);
        return std::string();
    });
    EXPECT_EQ(six.sent.size(), 1u);
    EXPECT_EQ(six.sent[5], std::vector<std::string>{"(02$0372001)"});
    EXPECT_FALSE(rig.CanUndoGroup()) << "an edit of one processor is undone in its own history";
}

TEST(Rig, TheShowFileCarriesTheRigOfflineAndTheComparisonNamesTheOneChange) {
    SixUnits six;
    const std::vector<RigMember> saved = six.rig.Members();
    Rig offline;
    offline.Open(ParseRigFile(RigFileText(saved)).members.value());
    ASSERT_EQ(offline.Size(), 6u);
    for (std::size_t u = 0; u < 6; ++u) {
        EXPECT_EQ(offline.Label(u), six.rig.Label(u));
        EXPECT_TRUE(offline.At(u).Params() == six.rig.At(u).Params());
        EXPECT_EQ(offline.At(u).Address(), six.rig.At(u).Address());
        EXPECT_FALSE(offline.At(u).Unsaved());
    }
    offline.Select(2);
    offline.Edit("Output 1 mute", [](EditContext& ctx, std::size_t) {
        MuteEditor(ctx).Set({Section::Output, 0}, true);
        return std::string();
    });
    // Connecting compares each unit with the processor's own record (here: what was saved).
    for (std::size_t u = 0; u < 6; ++u) {
        const RecordDiff d = offline.At(u).DifferenceFrom(saved[u].params);
        if (u == 2)
            EXPECT_EQ(d.frames, std::vector<std::string>{"(03$0370001)"});
        else
            EXPECT_TRUE(d.Empty()) << offline.Label(u);
    }
}

namespace {

// A window's front session with its editors bound to it, and a rig of three grown from it: the first
// the front was connected to, two more on the same line.
struct FrontRig {
    Session front;
    Rig rig;
    std::vector<std::string> sent;
    std::vector<std::string> notes;
    FrontRig() {
        front.SetAddress("01");
        front.SetPort("/dev/ttyUSB0");
        front.SetPost([this](std::string f) { sent.push_back(std::move(f)); });
        rig.SetFront(&front);
        front.SetEditListener([this](const CommandSpec& e, int unit, int band, const SystemParameters& before,
                                     bool newStep) {
            for (std::string& n : rig.Follow(e, unit, band, before, newStep)) notes.push_back(std::move(n));
        });
        EXPECT_EQ(rig.AddFront("Left"), std::optional<std::size_t>(0));
        for (int id : {2, 3}) {
            const std::size_t u = rig.Add(id == 2 ? "Centre" : "Right", "/dev/ttyUSB0", id);
            rig.At(u).SetPost([this](std::string f) { sent.push_back(std::move(f)); });
        }
    }
};

} // namespace

TEST(Rig, TheFrontSessionFollowsTheSelectionAndKeepsEachUnitsStateApart) {
    FrontRig f;
    GainEditor gain(f.front.Context(), Section::Output); // bound once, as a window's editors are
    gain.SetDb(0, -4);
    EXPECT_EQ(f.rig.Label(0), "Left (ID 1 on /dev/ttyUSB0)");
    f.rig.Select(2);
    EXPECT_EQ(f.front.Address(), "03");
    EXPECT_EQ(gain.Db(0), 0) << "the third unit's own gain, not the first's";
    EXPECT_FALSE(f.front.History().CanUndo()) << "its own history came with it";
    f.sent.clear();
    gain.SetDb(0, 5);
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(f.sent[0].substr(0, 3), "(03") << "the same editor now edits the selected unit";
    f.rig.SelectPrevious();
    f.rig.SelectPrevious();
    EXPECT_EQ(f.front.Address(), "01");
    EXPECT_EQ(gain.Db(0), -4);
    EXPECT_EQ(f.front.History().UndoName(), "Output 1 gain");
    EXPECT_EQ(OutputGainDb(f.rig.At(2), 0), 5);
    EXPECT_EQ(f.rig.Members()[2].params.OutCH[0].Gain, f.rig.At(2).Params().OutCH[0].Gain);
    EXPECT_EQ(f.rig.Members()[0].params.OutCH[0].Gain, f.front.Params().OutCH[0].Gain);
}

TEST(Rig, AnEditOnTheFrontIsMadeOnEveryMemberAndUndoneAsOneGroupStep) {
    FrontRig f;
    GainEditor(f.rig.At(1).Context(), Section::Output).SetDb(2, 10); // the centre unit runs 10 dB hotter
    f.rig.SetGroup({0, 1, 2});
    f.sent.clear();
    MuteEditor(f.front.Context()).Set({Section::Output, 2}, true);
    std::sort(f.sent.begin(), f.sent.end());
    const std::vector<std::string> expected = {"(01$0372001)", "(02$0372001)", "(03$0372001)"};
    EXPECT_EQ(f.sent, expected) << "each member its own frame, with its own address, once";
    EXPECT_TRUE(f.rig.GroupStepIsNewest());
    f.sent.clear();
    GainEditor gain(f.front.Context(), Section::Output);
    gain.SetDb(2, 4); // +4 dB from 0
    EXPECT_EQ(OutputGainDb(f.rig.At(0), 2), 4);
    EXPECT_EQ(OutputGainDb(f.rig.At(1), 2), 12) << "held at the top of its range";
    EXPECT_EQ(OutputGainDb(f.rig.At(2), 2), 4);
    EXPECT_EQ(f.notes, std::vector<std::string>{"Centre (ID 2 on /dev/ttyUSB0): Output 3 gain held at +12 dB, the end of its range"});
    EXPECT_EQ(f.sent.size(), 3u);

    // A delay typed on the front moves every member by the same time from its own delay.
    DelayEditor(f.rig.At(2).Context(), Section::Output).StepMilliseconds(4, 10.0);
    const auto samples = [&](std::size_t u) {
        DelayEditor d(f.rig.At(u).Context(), Section::Output);
        d.Load(4);
        return d.Samples();
    };
    DelayEditor(f.front.Context(), Section::Output).StepMilliseconds(4, 1.5);
    EXPECT_EQ(samples(0), 72);
    EXPECT_EQ(samples(1), 72);
    EXPECT_EQ(samples(2), 480 + 72);
    f.rig.SetGroup({});
    f.rig.SetGroup({0, 1, 2});
    EXPECT_EQ(f.rig.UndoGroup(), "");
    EXPECT_EQ(samples(2), 480) << "the group's step, kept apart from the member's own edit before it";
    EXPECT_EQ(samples(0), 0);
    // The member's own edit now stands between: the group undo says so and changes nothing.
    EXPECT_EQ(f.rig.UndoGroup(), "Right (ID 3 on /dev/ttyUSB0) was edited since \"Output 3 gain\"; undo that there first");
    EXPECT_EQ(OutputGainDb(f.rig.At(0), 2), 4);
    ASSERT_TRUE(f.rig.At(2).Undo());

    // One undo takes the gain step back on all three, the next the mute.
    ASSERT_TRUE(f.rig.GroupStepIsNewest());
    EXPECT_EQ(f.rig.UndoGroup(), "");
    EXPECT_EQ(OutputGainDb(f.rig.At(1), 2), 10);
    EXPECT_EQ(OutputGainDb(f.rig.At(2), 2), 0);
    EXPECT_EQ(f.rig.UndoGroup(), "");
    for (std::size_t u = 0; u < 3; ++u) EXPECT_EQ(f.rig.At(u).Params().OutCH[2].Mute, 0) << f.rig.Label(u);

    // Outside the group the front edits its processor alone.
    f.rig.SetGroup({1, 2});
    f.sent.clear();
    MuteEditor(f.front.Context()).Set({Section::Output, 0}, true);
    EXPECT_EQ(f.sent, std::vector<std::string>{"(01$0370001)"});
}

TEST(Rig, OpeningAShowFileBringsItsFirstProcessorToTheFront) {
    FrontRig f;
    std::vector<RigMember> members = f.rig.Members();
    members[0].params.OutCH[4].Mute = 1;
    members[1].name = "Centre fill";
    f.rig.Open(members);
    EXPECT_EQ(f.front.Address(), "01");
    EXPECT_EQ(f.front.Params().OutCH[4].Mute, 1);
    EXPECT_EQ(f.rig.Name(1), "Centre fill");
    f.rig.Select(1);
    EXPECT_EQ(f.front.Address(), "02");
    EXPECT_EQ(f.front.Params().OutCH[4].Mute, 0);
}
