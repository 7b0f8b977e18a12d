// Undo and redo steps: which edits join one step, what undo and redo give back, and the limits.
#include "edit/EditHistory.h"

#include "protocol/CommandTable.h"
#include "protocol/Frames.h"

#include <gtest/gtest.h>

using namespace quellmarin;
using namespace std::chrono_literals;

namespace {
using Clock = EditHistory::Clock;
}

TEST(EditHistory, EditsOfOneParameterWithinHalfASecondAreOneStep) {
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    const SystemParameters start = p;
    EditHistory h(p);
    const Clock::time_point t0{};
    // A drag of output 3's gain: posts 100 ms apart.
    for (int i = 0; i < 5; ++i) {
        p.OutCH[2].Gain = static_cast<std::uint8_t>(170 - i);
        h.Edited(p, *FindCommand("$035"), 2, 0, DeviceModel::Mivon, t0 + i * 100ms);
    }
    EXPECT_EQ(h.Size(), 1u);
    EXPECT_EQ(h.UndoName(), "Output 3 gain");
    const SystemParameters afterDrag = p;
    // Another parameter, then the same gain again after a pause: two more steps.
    p.InCH[1].Peq[3].Type = 4;
    h.Edited(p, *FindCommand("$027"), 1, 3, DeviceModel::Mivon, t0 + 500ms);
    EXPECT_EQ(h.UndoName(), "Input 2 PEQ band 4");
    p.OutCH[2].Gain = 100;
    h.Edited(p, *FindCommand("$035"), 2, 0, DeviceModel::Mivon, t0 + 2s);
    EXPECT_EQ(h.Size(), 3u);
    // A post that changes nothing is no step.
    h.Edited(p, *FindCommand("$035"), 2, 0, DeviceModel::Mivon, t0 + 3s);
    EXPECT_EQ(h.Size(), 3u);

    ASSERT_TRUE(h.Undo().has_value());
    ASSERT_TRUE(h.Undo().has_value());
    EXPECT_TRUE(*h.Undo() == start) << "three undos give the record before the drag";
    EXPECT_FALSE(h.Undo().has_value());
    EXPECT_TRUE(*h.Redo() == afterDrag);
    EXPECT_EQ(h.RedoName(), "Input 2 PEQ band 4");

    // A new edit after an undo drops what was undone.
    SystemParameters other = afterDrag;
    other.OutCH[0].Mute = 1;
    h.Edited(other, *FindCommand("$037"), 0, 0, DeviceModel::Mivon, t0 + 10s);
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(h.Size(), 2u);
    EXPECT_EQ(h.UndoName(), "Output 1 mute");
}

TEST(EditHistory, LoadsFollowsResetsAndTheLimit) {
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    EditHistory h(p);
    for (int i = 0; i < 250; ++i) {
        p.OutCH[0].Gain = static_cast<std::uint8_t>(i % 200 + 1);
        h.Edited(p, *FindCommand("$035"), 0, 0, DeviceModel::Mivon, Clock::time_point{} + i * 1s);
    }
    EXPECT_EQ(h.Size(), EditHistory::kSteps);
    int undone = 0;
    while (h.Undo()) ++undone;
    EXPECT_EQ(undone, 200);

    SystemParameters loaded = DefaultSystemParameters(DeviceModel::Mivon);
    SetProgramName(loaded, "From a file");
    h.Record(loaded, "Load show.asc");
    EXPECT_EQ(h.UndoName(), "Load show.asc");
    EXPECT_FALSE(h.CanRedo());
    // A rename in the device's programs is followed without a step: undo goes back before the load.
    SystemParameters renamed = loaded;
    SetProgramName(renamed, "Renamed");
    h.Follow(renamed);
    ASSERT_TRUE(h.Undo().has_value());
    EXPECT_EQ(ProgramName(*h.Redo()), "Renamed") << "the load's step now ends in the renamed record";
    h.Reset(renamed);
    EXPECT_FALSE(h.CanUndo());
    EXPECT_FALSE(h.CanRedo());

    EXPECT_EQ(
        EditHistory::StepName(FrameOutputLink("01", std::array<std::uint8_t, 8>{0, 0, 2, 3, 4, 5, 6, 7}),
                              DeviceModel::Mivon),
        "Links of the outputs");
    EXPECT_EQ(EditHistory::StepName(FrameAlias("01", 1, 2, "Stage left     "), DeviceModel::Mivon),
              "Output 3 name");
    EXPECT_EQ(EditHistory::StepName(FrameCompressor("01", 6, 1, 2, 3, 4), DeviceModel::Ketra),
              "Input C compressor");
}
