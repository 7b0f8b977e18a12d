// Sessions: each processor's records, history, address and frames are its own; an edit enters the
// history where it is made; files and undo go through the session that owns them.
#include "session/Session.h"

#include "TempDir.h"
#include "edit/GainEditor.h"
#include "edit/LimiterEditor.h"
#include "edit/MuteEditor.h"
#include "edit/RouteEditor.h"
#include "panel/PanelLogic.h"
#include "protocol/Frames.h"
#include "sim/VirtualProcessor.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quellmarin;

namespace {

struct Wired {
    explicit Wired(std::string address) {
        session.SetAddress(std::move(address));
        session.SetPost([this](std::string f) { frames.push_back(std::move(f)); });
        session.SetHistoryListener([this] { ++historyChanges; });
    }
    Session session{DeviceModel::Mivon};
    std::vector<std::string> frames;
    int historyChanges = 0;
};

} // namespace

TEST(Session, TwoSessionsSideBySideKeepTheirOwnRecordsHistoryAndFrames) {
    Wired a("03"), b("07");
    const SystemParameters untouched = b.session.Params();

    GainEditor(a.session.Context(), Section::Output).Apply(1, 10);
    MuteEditor(a.session.Context()).Set({Section::Input, 4}, true);
    ASSERT_EQ(a.frames.size(), 2u);
    EXPECT_EQ(a.frames[0].substr(0, 7), "(03$035") << "a's frames carry a's address";
    EXPECT_EQ(a.frames[1], "(03$0304001)");
    EXPECT_EQ(a.session.History().Size(), 2u);
    EXPECT_EQ(a.session.History().UndoName(), "Input 5 mute");

    // b edits its own records only.
    MuteEditor(b.session.Context()).Set({Section::Output, 0}, true);
    EXPECT_EQ(b.frames, std::vector<std::string>{"(07$0370001)"});
    EXPECT_EQ(a.session.Params().OutCH[0].Mute, 0);
    EXPECT_EQ(a.session.History().Size(), 2u);

    // Undo in a sends a's difference through a and leaves b as it was.
    ASSERT_TRUE(a.session.Undo());
    EXPECT_EQ(a.frames.back(), "(03$0304000)");
    EXPECT_EQ(a.session.Params().InCH[4].Mute, 0);
    EXPECT_EQ(b.session.Params().OutCH[0].Mute, 1);
    EXPECT_EQ(b.session.History().Size(), 1u);
    EXPECT_TRUE(b.session.History().CanUndo());
    EXPECT_FALSE(b.session.History().CanRedo());

    // A file loaded into a is a step of a's; b's records and history stay.
    quellmarin::test::TempDir dir;
    SystemParameters fileRecord = DefaultSystemParameters(DeviceModel::Mivon);
    SetProgramName(fileRecord, "Delay ring");
    fileRecord.OutCH[6].Gain = 120;
    ASSERT_TRUE(SaveParameterFile(dir / "ring.asc", fileRecord, DefaultDeviceInfo(DeviceModel::Mivon)).empty());
    const std::size_t framesBefore = a.frames.size();
    ASSERT_TRUE(a.session.Load(dir / "ring.asc", "Load ring.asc").ok());
    EXPECT_TRUE(a.session.Params() == fileRecord);
    EXPECT_EQ(a.session.History().UndoName(), "Load ring.asc");
    EXPECT_EQ(a.frames.size(), framesBefore) << "a load sends nothing";
    SystemParameters bNow = untouched;
    bNow.OutCH[0].Mute = 1;
    EXPECT_TRUE(b.session.Params() == bNow);
    EXPECT_EQ(b.session.History().Size(), 1u);

    // A file that cannot be read changes nothing.
    const SystemParameters before = a.session.Params();
    const std::size_t steps = a.session.History().Size();
    EXPECT_FALSE(a.session.Load(dir / "missing.asc", "Load missing.asc").ok());
    EXPECT_TRUE(a.session.Params() == before);
    EXPECT_EQ(a.session.History().Size(), steps);
}

TEST(Session, EveryEditIsAStepOfItsOwnAndUndoCarriesTheDeviceBack) {
    Wired s("01");
    sim::VirtualProcessor device(1, DeviceModel::Mivon);
    s.session.SetPost([&](std::string f) { device.Receive(f); });
    const SystemParameters start = s.session.Params();
    device.SetParameters(start);

    // The limiter and the routing reset change the record before their frames leave, so each is
    // an undo step named after what it set.
    LimiterEditor(s.session.Context()).Select(1, 30);
    EXPECT_EQ(s.session.History().UndoName(), "Output 2 limiter");
    RouteEditor route(s.session.Context());
    route.Toggle(3, 0);
    route.Reset();
    EXPECT_EQ(s.session.History().UndoName(), "Routing reset");
    EXPECT_EQ(s.session.History().Size(), 3u);
    EXPECT_TRUE(SameSettings(device.Parameters(), s.session.Params()));

    while (s.session.Undo()) {
    }
    EXPECT_TRUE(s.session.Params() == start);
    EXPECT_TRUE(SameSettings(device.Parameters(), start)) << "the undone edits reached the device";
    EXPECT_GE(s.historyChanges, 6);

    // The device's own record taken into the session is one step, and differs by nothing after.
    SystemParameters other = start;
    other.InCH[2].Gain = 150;
    EXPECT_EQ(s.session.DifferenceFrom(other).frames, std::vector<std::string>{FrameInputGain("01", 2, start.InCH[2].Gain)});
    s.session.TakeDeviceRecord(other);
    EXPECT_TRUE(s.session.DifferenceFrom(other).Empty());
    EXPECT_EQ(s.session.History().UndoName(), "Take the device's values");
}

TEST(Session, UnsavedMeansEditedSinceTheLastLoadSaveOrReadFromTheProcessor) {
    test::TempDir dir;
    Wired w("01");
    EXPECT_FALSE(w.session.Unsaved()) << "the defaults at start lose nothing";
    MuteEditor mute(w.session.Context());
    const int before = w.historyChanges;
    mute.Toggle({Section::Output, 2});
    EXPECT_TRUE(w.session.Unsaved());
    EXPECT_GT(w.historyChanges, before) << "the listener hears that the settings became unsaved";
    const auto path = dir / "show.asc";
    EXPECT_EQ(w.session.Save(path), "");
    EXPECT_FALSE(w.session.Unsaved());
    mute.Toggle({Section::Output, 2});
    EXPECT_TRUE(w.session.Unsaved());
    EXPECT_EQ(w.session.Save(dir / "show.txt"), "File ext error...!");
    EXPECT_TRUE(w.session.Unsaved()) << "a failed save keeps them unsaved";
    ASSERT_TRUE(w.session.Load(path, "Load").ok());
    EXPECT_FALSE(w.session.Unsaved());
    mute.Toggle({Section::Output, 4});
    w.session.ReplaceRecords(ToBytes(DefaultSystemParameters(DeviceModel::Mivon)), std::nullopt);
    EXPECT_FALSE(w.session.Unsaved()) << "read from the processor, which holds them";

    EXPECT_EQ(WindowTitle("1.2.0", "show.asc", true), "show.asc* - Quellmarin V1.2.0");
    EXPECT_EQ(WindowTitle("1.2.0", "", true), "Untitled* - Quellmarin V1.2.0");
    EXPECT_EQ(WindowTitle("1.2.0", "show.asc", false), "show.asc - Quellmarin V1.2.0");
}
