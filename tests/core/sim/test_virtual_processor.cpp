// The virtual processor applies every frame of the command set to its own records and answers the
// requests as a processor does, so that an upload after edits returns the edited state.
#include "sim/VirtualProcessor.h"

#include "TempDir.h"
#include "protocol/Frames.h"
#include "protocol/HexCodec.h"
#include "link/WholeState.h"
#include "sim/SimServer.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quellmarin;
using namespace quellmarin::sim;
using quellmarin::test::TempDir;

namespace {
std::string Reply(VirtualProcessor& vp, const std::string& frame) {
    return vp.Handle(frame).value_or("<none>");
}
} // namespace

TEST(VirtualProcessor, EveryParameterCommandChangesItsBytes) {
    VirtualProcessor vp(1, DeviceModel::Mivon);
    const std::string a = "01";
    const std::uint8_t route[8] = {0, 181, 0, 0, 171, 0, 0, 0};
    const std::uint8_t links[8] = {0, 0, 2, 2, 4, 5, 6, 7};
    for (const std::string& f : {FrameInputPeqEnable(a, 1, true),
                                 FrameInputPeqBand(a, 2, 4, 5, 100, 30, 60),
                                 FrameInputGain(a, 3, 171),
                                 FrameInputDelay(a, 4, 96000),
                                 FrameInputMute(a, 5, true),
                                 FrameRoute(a, 6, route, DeviceModel::Mivon),
                                 FrameOutputDelay(a, 7, 480),
                                 FrameCrossover(a, 0, 11, 29, 2, 100),
                                 FrameOutputPeqBand(a, 1, 6, 1, 50, 10, 3),
                                 FrameOutputGain(a, 2, 205),
                                 FrameLimit(a, 3, 55),
                                 FrameOutputMute(a, 4, true),
                                 FrameOutputPeqEnable(a, 5, true),
                                 FramePolarity(a, 6, true),
                                 FrameInputLink(a, links),
                                 FrameOutputLink(a, links),
                                 FrameCompressor(a, 7, 32, 49, 100, 40),
                                 FrameGenerator(a, true, 69, 181),
                                 FramePanelLock(a, 1),
                                 FrameAlias(a, 1, 2, "Stage left     ")}) {
        const bool exchange = f[3] == 'E' || f[3] == 'J';
        EXPECT_EQ(Reply(vp, f), exchange ? f : "<none>")
            << "alias names and the lock are echoed, other settings taken without an answer: " << f;
    }
    EXPECT_EQ(vp.RefusedCount(), 0u);
    EXPECT_EQ(Reply(vp, "(01$0282999)"), "<none>");
    EXPECT_EQ(vp.RefusedCount(), 1u) << "a gain beyond the scale is refused, not taken";
    const SystemParameters p = vp.Parameters();
    const DeviceInfoRecord d = vp.Info();
    EXPECT_EQ(p.InCH[1].PeqEnable, 111);
    EXPECT_EQ(p.InCH[2].Peq[4].Type, 5);
    EXPECT_EQ(p.InCH[2].Peq[4].Freq, 100);
    EXPECT_EQ(p.InCH[2].Peq[4].Level, 30);
    EXPECT_EQ(p.InCH[2].Peq[4].Q, 60);
    EXPECT_EQ(p.InCH[3].Gain, 171);
    EXPECT_EQ(DelaySamples(p.InCH[4]), 96000);
    EXPECT_EQ(p.InCH[5].Mute, 1);
    EXPECT_EQ(0, std::memcmp(p.OutCH[6].Route, route, 8));
    EXPECT_EQ(DelaySamples(p.OutCH[7]), 480);
    EXPECT_EQ(p.OutCH[0].HpfType, 11);
    EXPECT_EQ(p.OutCH[0].HpfFreq, 29);
    EXPECT_EQ(p.OutCH[0].LpfType, 2);
    EXPECT_EQ(p.OutCH[0].LpfFreq, 100);
    EXPECT_EQ(p.OutCH[1].Peq[6].Freq, 50);
    EXPECT_EQ(p.OutCH[2].Gain, 205);
    EXPECT_EQ(p.OutCH[3].Limit, 55);
    EXPECT_EQ(p.OutCH[4].Mute, 1);
    EXPECT_EQ(p.OutCH[5].PeqEnable, 111);
    EXPECT_EQ(p.OutCH[6].Polarity, 1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(p.InCH[i].LinkIndex, links[i]);
        EXPECT_EQ(p.OutCH[i].LinkIndex, links[i]);
    }
    EXPECT_EQ(p.Comp[7].Attack, 32);
    EXPECT_EQ(p.Comp[7].Ratio, 49);
    EXPECT_EQ(p.Comp[7].Threshold, 100);
    EXPECT_EQ(p.Comp[7].Release, 40);
    EXPECT_EQ(std::string(p.ChName[10], 15), "Stage left     ");
    EXPECT_EQ(d.GenRun, 1);
    EXPECT_EQ(d.GenFreq, 69);
    EXPECT_EQ(d.GenLevel, 181);
    EXPECT_EQ(d.PanelLock, 1);

    // The upload after the edits returns them.
    EXPECT_EQ(DecodeParameterReply(Reply(vp, FrameParameterRequest(a))), ToBytes(p));
    EXPECT_EQ(DecodeDeviceInfoReply(Reply(vp, FrameDeviceInfoRequest(a))), ToBytes(d));

    EXPECT_EQ(Reply(vp, FrameResetRoute(a)), "<none>");
    EXPECT_EQ(vp.Parameters().OutCH[6].Route[6], 181);
    EXPECT_EQ(vp.Parameters().OutCH[6].Route[1], 0);

    // Malformed or foreign frames change nothing and get no answer.
    const SystemParameters before = vp.Parameters();
    for (const char* bad : {"(01$0289181)", "(01$02801X1)", "(01$028018)", "(02$0280181)", "(01$0990000)",
                            "(01$0290096001)", "(01$04000229567)", "(01E12short)", "(01Q001)", "()"})
        EXPECT_EQ(Reply(vp, bad), "<none>") << bad;
    EXPECT_TRUE(vp.Parameters() == before);
}

TEST(VirtualProcessor, HelloLevelsAndFraming) {
    VirtualProcessor vp(23, DeviceModel::Ketra);
    EXPECT_EQ(Reply(vp, "(23hello)"), "(48olleh32)");
    EXPECT_EQ(Reply(vp, "(24hello)"), "<none>");
    const std::string levels = Reply(vp, "(23L)");
    const auto frame = DecodeLevelFrame(levels, DeviceModel::Ketra);
    ASSERT_TRUE(frame.has_value()) << levels;
    EXPECT_EQ(frame->in[1], 0) << "a Ketra unit feeds only positions 0, 2, 5 and 7";
    EXPECT_GT(frame->in[0], 0);

    // Bytes between frames and a frame cut by a new one are passed over.
    const auto replies = vp.Receive("noise(23L(23hello)xx(23I");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], "(48olleh32)");
    const auto rest = vp.Receive(")");
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_TRUE(DecodeDeviceInfoReply(rest[0]).has_value());
}

TEST(VirtualProcessor, ProgramsStoreRecallRenameAndDelete) {
    TempDir dir;
    VirtualProcessor vp(1, DeviceModel::Mivon);
    EXPECT_EQ(Reply(vp, "(01T040)"), "(error059)");
    EXPECT_EQ(DecodeProgramName(Reply(vp, "(01T002)")), "Main PA.............");

    vp.Handle(FrameInputGain("01", 0, 201));
    EXPECT_EQ(Reply(vp, "(01S007)"), "(01S007)") << "a store echoes its request";
    EXPECT_EQ(vp.Info().ProgramNo, 7);
    EXPECT_EQ(Reply(vp, FrameRenameProgram("01", 7, EncodeProgramName("AB"))), "(01N007)");
    EXPECT_EQ(DecodeProgramName(Reply(vp, "(01T007)")), "AB..................");
    EXPECT_EQ(std::string(vp.Parameters().Name, 20), "AB..................");

    vp.Handle(FrameInputGain("01", 0, 150));
    EXPECT_EQ(Reply(vp, "(01R007)"), "(01R007)");
    EXPECT_EQ(vp.Parameters().InCH[0].Gain, 201) << "the recall brings the stored state back";
    EXPECT_EQ(Reply(vp, "(01R030)"), "(error059)");
    EXPECT_EQ(Reply(vp, "(01G007)"), "(01G007)");
    EXPECT_EQ(Reply(vp, "(01T007)"), "(error059)");

    ASSERT_TRUE(vp.SaveState(dir / "state.bin"));
    VirtualProcessor again(1, DeviceModel::Mivon);
    ASSERT_TRUE(again.LoadState(dir / "state.bin"));
    EXPECT_TRUE(again.Parameters() == vp.Parameters());
    EXPECT_EQ(Reply(again, "(01T002)"), Reply(vp, "(01T002)"));
}

TEST(VirtualProcessor, FaultSettings) {
    std::string error;
    const auto f = ParseFaults("drop=0.2,garble=0.1,slow=150,mute_after=30,short_q,seed=7", error);
    ASSERT_TRUE(f.has_value()) << error;
    EXPECT_DOUBLE_EQ(f->drop, 0.2);
    EXPECT_DOUBLE_EQ(f->garble, 0.1);
    EXPECT_EQ(f->slowMs, 150);
    EXPECT_EQ(f->muteAfter, 30);
    EXPECT_TRUE(f->shortQ);
    EXPECT_EQ(f->seed, 7u);
    EXPECT_FALSE(ParseFaults("drop=2", error).has_value());
    EXPECT_FALSE(ParseFaults("sparkle=1", error).has_value());
    EXPECT_FALSE(ParseFaults("slow=-4", error).has_value());
}
