// The program list, the save of the current program and the generator: their rules on the records,
// and their exchanges against a virtual processor on a pseudo-terminal.
#include "edit/Generator.h"
#include "edit/ProgramExchange.h"
#include "edit/ProgramList.h"
#include "edit/SaveProgram.h"

#include "dsp/Scales.h"
#include "protocol/Frames.h"
#include "protocol/HexCodec.h"
#include "core/link/LinkTestSupport.h"
#include "core/edit/EditorRig.h"

#include <gtest/gtest.h>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

// An open port on a virtual processor with ID 7.
struct Wire {
    explicit Wire(sim::SimFaults faults = {})
        : processor(7, DeviceModel::Mivon, faults), port(provider, timings) {
        port.SetDeviceLineSettings();
        port.SetPortName(processor.Path());
        EXPECT_EQ(port.Open(), CSerialPort::kOpened);
    }
    std::vector<std::string> Frames() const { return processor.device.FramesReceived(); }

    PtyProcessor processor;
    SystemPortProvider provider;
    LinkTimings timings = LinkTimings::Fast();
    CSerialPort port;
};

std::string NameReply(std::string_view address, int slot, const std::string& bytes20) {
    char head[16];
    std::snprintf(head, sizeof head, "(%.2sT%.3d000", std::string(address).c_str(), slot);
    return head + HexEncode({reinterpret_cast<const std::uint8_t*>(bytes20.data()), 20}) + ")";
}

} // namespace

TEST(ProgramList, ReadsSlotOneFirstAndGivesUpASlotAfterFourBadReplies) {
    EditorRig rig;
    rig.info.ProgramNo = 2;
    ProgramList list(rig.ctx);
    EXPECT_EQ(list.Selected(), 2) << "the current program is selected at first";
    EXPECT_TRUE(list.Reading());
    std::vector<int> asked;
    int bad = 0;
    while (const auto slot = list.NextQuery()) {
        asked.push_back(*slot);
        if (*slot == 3 && bad < 4) {
            ++bad;
            EXPECT_FALSE(list.TakeReply(3, ParseSlotReply("(07T0030garbage")));
            continue;
        }
        const SlotReply reply = *slot <= 2 ? SlotReply{SlotReply::Name, "Show " + std::to_string(*slot)}
                                           : ParseSlotReply(kEmptyProgramReply);
        EXPECT_TRUE(list.TakeReply(*slot, reply));
    }
    ASSERT_EQ(asked.size(), 43u) << "slot 3 four times, every other slot once";
    EXPECT_EQ(asked.front(), 1);
    EXPECT_EQ(asked.back(), 40);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 3), 4);
    EXPECT_FALSE(list.Row(3).has_value()) << "a slot that never answered keeps its row empty";
    EXPECT_EQ(*list.Row(40), "not set.............");
    EXPECT_FALSE(list.Reading());
    EXPECT_FALSE(list.CanContinue());

    // Stop pauses after the slot in hand; Continue picks up there; Refresh starts again at slot 1.
    list.Refresh();
    EXPECT_TRUE(list.TakeReply(1, {SlotReply::Name, "A"}));
    list.Stop();
    EXPECT_FALSE(list.NextQuery());
    EXPECT_TRUE(list.CanContinue());
    list.Continue();
    EXPECT_EQ(list.NextQuery(), 2);
    EXPECT_FALSE(list.TakeReply(5, {SlotReply::Name, "B"})) << "a reply for another slot is not taken";
}

TEST(ProgramList, SelectionDecidesTitlesAndWhichButtonsWork) {
    using B = ProgramList::Button;
    using M = ProgramList::Mark;
    EditorRig rig;
    rig.info.ProgramNo = 5;
    ProgramList list(rig.ctx);
    list.SetRow(5, "Main PA.............");
    list.SetRow(9, std::string(kEmptySlotName));
    EXPECT_EQ(list.Title(B::Recall), "Recall No.\t05");
    EXPECT_EQ(list.Progress(B::Recall, M::Two), "Recall No.\t05 [..]");
    EXPECT_EQ(list.Progress(B::SaveAs, M::Fail), "Save as No.\t05 [FAIL..]");
    EXPECT_EQ(list.Progress(B::Modify, M::Ok), "Modify [OK]");
    EXPECT_EQ(list.CheckDelete(), "Current program cannot be delete! ");

    list.Select(9);
    EXPECT_EQ(list.Title(B::Delete), "Delete No.\t09");
    EXPECT_TRUE(list.Enabled(B::SaveAs));
    EXPECT_FALSE(list.Enabled(B::Recall)) << "an empty slot has nothing to recall";
    EXPECT_FALSE(list.Enabled(B::Delete));
    EXPECT_EQ(list.CheckDelete(), "");

    list.Select(-1);
    EXPECT_EQ(list.Title(B::SaveAs), "Save as No.:");
    EXPECT_EQ(list.Title(B::Delete), "Delete No.:");
    for (B b : {B::SaveAs, B::Recall, B::Delete}) EXPECT_FALSE(list.Enabled(b));

    EXPECT_TRUE(list.Begin(B::Recall));
    EXPECT_FALSE(list.Begin(B::Recall)) << "a second click while the first runs is ignored";
    EXPECT_TRUE(list.Begin(B::SaveAs));
    list.End(B::Recall);
    EXPECT_TRUE(list.Begin(B::Recall));
}

TEST(ProgramList, SaveAsMakesTheSlotCurrentAndCopiesLinkedChannels) {
    EditorRig rig;
    rig.info.ProgramNo = 1;
    SetProgramName(rig.record, "Stage left");
    rig.record.OutCH[1].LinkIndex = 0;
    rig.record.OutCH[0].Gain = 150;
    ProgramList list(rig.ctx);
    list.Stored(7);
    EXPECT_EQ(list.CurrentNumberText(), "07");
    EXPECT_EQ(*list.Row(7), "Stage left");
    EXPECT_EQ(rig.record.OutCH[1].Gain, 150) << "the linked output took its master's settings";
    EXPECT_TRUE(rig.frames.empty());
}

TEST(ProgramWire, NamesEmptySlotsAndTheFirstZeroByte) {
    Wire w;
    EXPECT_EQ(QuerySlot(w.port, "07", 2, w.timings), (SlotReply{SlotReply::Name, "Main PA............."}));
    EXPECT_EQ(QuerySlot(w.port, "07", 40, w.timings), (SlotReply{SlotReply::Empty, "not set............."}));
    EXPECT_EQ(w.Frames(), (std::vector<std::string>{"(07T002)", "(07T040)"}));

    std::string zeroed = "Short";
    zeroed += '\0';
    zeroed += "ignored after zero";
    zeroed.resize(20, '.');
    EXPECT_EQ(ParseSlotReply(NameReply("07", 4, zeroed)).text, "Short");
    EXPECT_EQ(ParseSlotReply("(error060)"), (SlotReply{SlotReply::Other, "(error060)"}));
    EXPECT_FALSE(ParseSlotReply("(07T004").Usable());
    EXPECT_FALSE(ParseSlotReply(NameReply("07", 4, std::string(20, 'x')).replace(12, 1, "g")).Usable());
}

TEST(ProgramWire, RenameSendsTheDotPaddedUpperCaseNameAndReadsItBack) {
    Wire w;
    const SlotReply back = RenameSlot(w.port, "07", 1, "Ab", w.timings);
    EXPECT_EQ(back, (SlotReply{SlotReply::Name, "Ab.................."}));
    const auto frames = w.Frames();
    ASSERT_GE(frames.size(), 2u);
    std::string dots;
    for (int i = 0; i < 18; ++i) dots += "2E";
    EXPECT_EQ(frames[0], "(07N0014162" + dots + ")");
    EXPECT_EQ(frames[1], "(07T001)");
    EXPECT_EQ(ProgramName(w.processor.device.Parameters()), "Ab..................")
        << "the current program's name changed in the device";
    EXPECT_EQ(WireName("Caf\xC3\xA9\x01!"), "Caf?"
                                            "?!");

    // The Save window's rename is confirmed by the short reply.
    EXPECT_TRUE(RenameCurrent(w.port, "07", 1, "", w.timings));
    EXPECT_EQ(w.Frames().back(), "(07N001" + dots + "2E2E)");
}

TEST(ProgramWire, RecallReadsTheWholeStateAndSaveNeedsTheExactEcho) {
    Wire w;
    const auto state = RecallSlot(w.port, "07", 2, w.timings, {});
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(ProgramName(ParametersFromBytes(state->params)), "Main PA.............");
    EXPECT_EQ(DeviceInfoFromBytes(state->info).ProgramNo, 2);
    EXPECT_FALSE(RecallSlot(w.port, "07", 30, w.timings, {})) << "an empty slot answers (error059)";

    EXPECT_TRUE(StoreSlot(w.port, "07", 6, w.timings));
    EXPECT_TRUE(w.processor.device.ProgramAt(6).has_value());
    const SlotReply gone = DeleteSlot(w.port, "07", 6, w.timings);
    EXPECT_EQ(gone.kind, SlotReply::Empty);
    EXPECT_FALSE(w.processor.device.ProgramAt(6).has_value());

    // A device that answers the save with something else, or not at all, did not confirm it.
    PtyScripted other([](const std::string& f) -> std::optional<std::string> {
        if (f == "(07S005)") return "(07S006)";
        return std::nullopt;
    });
    SystemPortProvider provider;
    CSerialPort port(provider, LinkTimings::Fast());
    port.SetDeviceLineSettings();
    port.SetPortName(other.Path());
    ASSERT_EQ(port.Open(), CSerialPort::kOpened);
    EXPECT_FALSE(StoreSlot(port, "07", 5, LinkTimings::Fast()));
    EXPECT_FALSE(StoreSlot(port, "07", 4, LinkTimings::Fast()));
    EXPECT_FALSE(RenameCurrent(port, "07", 4, "X", LinkTimings::Fast()));
}

TEST(SaveProgram, TextsAndTheRenameWithoutADevice) {
    EditorRig rig;
    SaveProgram save(rig.ctx);
    EXPECT_EQ(SaveProgram::SaveText(SaveProgram::Mark::Two), "Save current program to DEVICE[..]");
    EXPECT_EQ(SaveProgram::SaveText(SaveProgram::Mark::Ok), "Save current program to DEVICE  [OK]");
    EXPECT_EQ(SaveProgram::SaveText(SaveProgram::Mark::Fail), "Save current program to DEVICE  [FAIL]");
    const std::string before = ProgramName(rig.record);
    EXPECT_FALSE(save.RenameOffline("   "));
    EXPECT_EQ(ProgramName(rig.record), before);
    EXPECT_TRUE(save.RenameOffline("Show"));
    EXPECT_EQ(ProgramName(rig.record), "Show................");
    rig.info.ProgramNo = 55;
    EXPECT_EQ(save.Slot(), 40);
    EXPECT_TRUE(rig.frames.empty());
}

TEST(Generator, TypedValuesTheirMessagesAndTheFrames) {
    EditorRig rig;
    rig.address = "07";
    rig.info.GenFreq = 69;
    rig.info.GenLevel = 161;
    rig.info.GenRun = 0;
    Generator gen(rig.ctx);
    EXPECT_EQ(gen.FrequencyText(), "1000Hz");
    EXPECT_EQ(gen.LevelText(), "-10dB");
    EXPECT_EQ(gen.FaderPosition(), 53);

    auto out = gen.Apply("1k", "-10dB");
    ASSERT_TRUE(out.sent);
    EXPECT_EQ(out.frequencyText, "1000Hz");
    EXPECT_EQ(rig.frames.back(), "(07$0010069161)");
    EXPECT_EQ(gen.Apply("1,000", "-90").frequencyText, "1000Hz");
    EXPECT_EQ(rig.frames.back(), "(07$0010069001)");
    gen.Apply("20", "0");
    EXPECT_EQ(rig.frames.back(), "(07$0010001181)");
    EXPECT_EQ(Generator::StepText(1), "20.00Hz");
    EXPECT_EQ(rig.info.GenFreq, 1);
    EXPECT_EQ(rig.info.GenLevel, 181);

    const std::size_t sent = rig.frames.size();
    out = gen.Apply("15", "0");
    EXPECT_FALSE(out.sent);
    EXPECT_EQ(out.message, "Frequency parameters range:[20,20000]");
    EXPECT_EQ(out.caption, "Input illegal");
    out = gen.Apply("1k", "5");
    EXPECT_EQ(out.message, "Level parameters parameters range:[-90,0]");
    EXPECT_EQ(gen.Apply("21k", "0").message, "Frequency parameters range:[20,20000]");
    EXPECT_EQ(gen.Apply("1k", "-91dB").message, "Level parameters parameters range:[-90,0]");
    EXPECT_EQ(rig.frames.size(), sent) << "nothing is sent for a refused value";
    EXPECT_EQ(rig.info.GenFreq, 1) << "nor stored";

    // Start uses the device's own address and the step itself, which the record then keeps: it holds
    // what the device runs.
    out = gen.Toggle("1k", "-20");
    EXPECT_TRUE(out.sent);
    EXPECT_TRUE(gen.Running());
    EXPECT_EQ(rig.frames.back(), "(07$0011069141)");
    EXPECT_EQ(rig.info.GenRun, 1);
    EXPECT_EQ(rig.info.GenFreq, 69);
    EXPECT_EQ(rig.info.GenLevel, 141);
    gen.Apply("2k", "-20");
    EXPECT_EQ(rig.frames.back().substr(0, 8), "(07$0011") << "applying while running sends the on frame";
    gen.Toggle("2k", "-20");
    EXPECT_FALSE(gen.Running());
    EXPECT_EQ(rig.info.GenRun, 0);

    // A midway frequency goes to the lower step; a wrong-length address sends nothing.
    const double low = FrequencyValues()[69], high = FrequencyValues()[70];
    EXPECT_EQ(Generator::ParseFrequency(std::to_string((low + high) / 2)).index, 69);
    rig.address = "7";
    EXPECT_EQ(gen.Apply("1k", "0").message, "Length invalidated.");
    EXPECT_EQ(gen.Toggle("1k", "0").message, "length invalidated.");
}
