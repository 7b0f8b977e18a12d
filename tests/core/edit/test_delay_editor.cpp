// The delay editor of inputs and outputs: typed and stepped values, the refused ones, the stored
// digit pairs, the exact frames, and the table of what an input sees through every output.
#include "edit/DelayEditor.h"

#include "core/edit/EditorRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace quellmarin;

using Rig = test::EditorRig;

TEST(DelayEditor, TypedMillisecondsAreStoredAndSentOrRefused) {
    Rig r;
    DelayEditor in(r.ctx, Section::Input);
    in.Load(0);
    EXPECT_EQ(in.Fields().ms, "0.000");
    EXPECT_TRUE(in.TypeMilliseconds("2000").applied);
    EXPECT_EQ(r.frames.back(), "(01$0290096000)");
    EXPECT_EQ(r.record.InCH[0].DelayH, 9);
    EXPECT_EQ(r.record.InCH[0].DelayM, 60);
    EXPECT_EQ(r.record.InCH[0].DelayL, 0);
    EXPECT_EQ(in.Fields().ms, "2000") << "the field keeps what was typed";
    EXPECT_EQ(in.Fields().metres, "680.000");

    EXPECT_TRUE(in.TypeMilliseconds("2000.02").applied);
    EXPECT_EQ(in.Samples(), 96000);
    const std::size_t sent = r.frames.size();
    const DelayFields before = in.Fields();
    const auto refused = in.TypeMilliseconds("2000.03");
    EXPECT_FALSE(refused.applied);
    EXPECT_EQ(refused.message, "Input range:[0,2000ms]");
    EXPECT_EQ(r.frames.size(), sent);
    EXPECT_EQ(in.Fields().ms, before.ms) << "the fields show the delay in force again";
    EXPECT_EQ(in.Samples(), 96000);

    EXPECT_FALSE(in.TypeMilliseconds("2000.02").applied) << "leaving the field unchanged sends nothing";
    EXPECT_EQ(r.frames.size(), sent);
    EXPECT_TRUE(in.TypeMilliseconds("1").applied);
    EXPECT_EQ(r.frames.back(), "(01$0290000048)");
    EXPECT_EQ(in.TypeMilliseconds("-1").message, "Input range:[0,2000ms]");
    EXPECT_EQ(in.Title(0), "INPUT DELAY" + std::string(27, ' ') + "CH[1]");
    EXPECT_EQ(DelayEditor::Label(4), "CH[5]");
}

TEST(DelayEditor, TypedMetresAndTheOtherUnits) {
    Rig r;
    DelayEditor in(r.ctx, Section::Input);
    in.Load(2);
    EXPECT_TRUE(in.TypeMetres("680").applied);
    EXPECT_EQ(in.Samples(), 96000);
    EXPECT_EQ(in.Fields().ms, "2000.000");
    EXPECT_TRUE(in.TypeMetres("1").applied);
    EXPECT_EQ(in.Samples(), 141);
    EXPECT_EQ(in.Fields().ms, "2.941");
    EXPECT_EQ(in.Fields().feet, "3.281");
    EXPECT_EQ(in.Fields().inches, "39.370");
    EXPECT_EQ(r.frames.back(), "(01$0292000141)");
    EXPECT_EQ(in.TypeMetres("681").message, "Input range:[0,680m]");
    EXPECT_EQ(in.Samples(), 141);
    EXPECT_EQ(in.TypeMetres("1").applied, false) << "the same text again";
}

TEST(DelayEditor, SpinsPostAlsoAtTheEnds) {
    Rig r;
    DelayEditor in(r.ctx, Section::Input);
    in.Load(0);
    in.Spin(false);
    EXPECT_EQ(r.frames.back(), "(01$0290000000)") << "at 0 the unchanged frame";
    in.Spin(true);
    EXPECT_EQ(r.frames.back(), "(01$0290000001)");
    EXPECT_EQ(in.Fields().ms, "0.021");
    in.TypeMilliseconds("2000");
    in.Spin(true);
    EXPECT_EQ(r.frames.back(), "(01$0290096000)");
    EXPECT_EQ(r.frames.size(), 4u);
    r.address = "1";
    in.Spin(false);
    EXPECT_EQ(r.record.InCH[0].DelayL, 0) << "a frame that cannot be sent is not stored either";
    EXPECT_EQ(r.frames.size(), 4u);
}

TEST(DelayEditor, OutputsAndTheirLinkMasters) {
    Rig r;
    DelayEditor out(r.ctx, Section::Output);
    out.Load(1);
    out.TypeMilliseconds("10");
    EXPECT_EQ(r.frames.back(), "(01$0321000480)");
    EXPECT_EQ(r.record.OutCH[1].DelayH, 0);
    EXPECT_EQ(r.record.OutCH[1].DelayM, 4);
    EXPECT_EQ(r.record.OutCH[1].DelayL, 80);
    EXPECT_EQ(out.Title(1), "OUTPUT DELAY" + std::string(17, ' ') + "CH[2]");
    r.record.OutCH[6].LinkIndex = 1;
    out.Load(6);
    EXPECT_EQ(out.Fields().ms, "10.000") << "a linked output shows its master";
    out.Spin(true);
    EXPECT_EQ(r.frames.back(), "(01$0321000481)");
    EXPECT_EQ(DelaySamples(r.record.OutCH[6]), 0);
}

TEST(DelayEditor, TheTableAddsTheInputWhereItIsRouted) {
    Rig r;
    DelayEditor in(r.ctx, Section::Input), out(r.ctx, Section::Output);
    in.Load(0);
    in.TypeMilliseconds("5");
    out.Load(0);
    out.TypeMilliseconds("10");
    out.Load(1);
    out.TypeMilliseconds("1");
    // Input 1 feeds output 1 by default (the diagonal), not output 2.
    auto rows = OutputDelayTable(r.record, 0);
    EXPECT_TRUE(rows[0].routed);
    EXPECT_EQ(rows[0].own, "10.000 ms");
    EXPECT_EQ(rows[0].total, "15.000 ms");
    EXPECT_EQ(rows[0].totalMetres, "5.100 m");
    EXPECT_FALSE(rows[1].routed);
    EXPECT_EQ(rows[1].total, "1.000 ms") << "an unrouted output shows its own delay as the total";
    r.record.OutCH[1].Route[0] = 181;
    rows = OutputDelayTable(r.record, 0);
    EXPECT_EQ(rows[1].total, "6.000 ms");
    r.record.OutCH[3].LinkIndex = 0;
    EXPECT_EQ(OutputDelayTable(r.record, 0)[3].own, "10.000 ms") << "each output through its link master";
    EXPECT_EQ(DelaySummary(r.record, {Section::Output, 3}), "Delay 10.000 ms (3.400 m)");
}

TEST(DelayEditor, RelativeStepsInMillisecondsFromEachChannelsOwnDelay) {
    Rig r;
    DelayEditor in(r.ctx, Section::Input);
    in.Load(0);
    in.TypeMilliseconds("10");
    const DelayEditor::Step later = in.StepMilliseconds(0, 1);
    EXPECT_EQ(later.samples, 11 * 48);
    EXPECT_FALSE(later.atLimit);
    EXPECT_EQ(r.frames.back(), "(01$0290000528)");
    const DelayEditor::Step under = in.StepMilliseconds(0, -20);
    EXPECT_EQ(under.samples, 0);
    EXPECT_TRUE(under.atLimit);
    EXPECT_EQ(r.frames.back(), "(01$0290000000)");
    in.TypeMilliseconds("1999.5");
    const DelayEditor::Step over = in.StepMilliseconds(0, 1);
    EXPECT_EQ(over.samples, 96000);
    EXPECT_TRUE(over.atLimit);
    const std::size_t sent = r.frames.size();
    const DelayEditor::Step nothing = in.StepMilliseconds(0, std::nan(""));
    EXPECT_EQ(nothing.samples, 96000) << "no number moves nothing";
    EXPECT_FALSE(nothing.atLimit);
    EXPECT_EQ(r.frames.size(), sent) << "and sends nothing";
}
