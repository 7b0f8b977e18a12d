// A rig on real pseudo-terminals: four virtual processors on one line and two on another, connected
// at once, edited as a group, and one of them falling silent while the others go on.
#include "link/RigLink.h"

#include "LinkTestSupport.h"
#include "edit/GainEditor.h"
#include "edit/MuteEditor.h"
#include "edit/RecordDiff.h"
#include "edit/RecordText.h"
#include "link/WholeState.h"
#include "session/Rig.h"
#include "session/RigFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <map>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

constexpr int kGains[] = {-6, -2, 2, 6, 10, 12}; // output 3 of each unit: offsets to keep

int OutputGainDb(const SystemParameters& p, int channel) {
    return 13 - (207 - p.OutCH[channel].Gain) / 2;
}

struct SixOnTwoLines {
    PtyBus lineA{{1, 2, 3, 4}, DeviceModel::Mivon};
    PtyBus lineB{{1, 2}, DeviceModel::Mivon};
    SystemPortProvider provider;
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, int> meters; // (port, address) -> level frames
    RigLink link{provider, DeviceModel::Mivon, LinkTimings::Fast(), Events()};
    Rig rig;

    RigLink::Events Events() {
        RigLink::Events ev;
        ev.levels = [this](const std::string& port, const LevelFrame& f) {
            std::lock_guard lock(mutex);
            ++meters[{port, f.address}];
        };
        return ev;
    }
    int Meters(std::size_t u) {
        std::lock_guard lock(mutex);
        return meters[{rig.At(u).Port(), rig.At(u).Address()}];
    }
    sim::VirtualProcessor& Device(std::size_t u) { return u < 4 ? lineA.Device(u) : lineB.Device(u - 4); }
    int Id(std::size_t u) const { return u < 4 ? static_cast<int>(u) + 1 : static_cast<int>(u) - 3; }

    // Every unit with output 3 at its own gain, then connected by reading it.
    void ConnectAll() {
        for (std::size_t u = 0; u < 6; ++u) {
            SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
            p.OutCH[2].Gain = static_cast<std::uint8_t>(207 - 2 * (13 - kGains[u]));
            Device(u).SetParameters(p);
            const std::size_t i = rig.Add("Unit " + std::string(1, static_cast<char>('A' + u)),
                                          u < 4 ? lineA.Path() : lineB.Path(), Id(u), DeviceModel::Mivon);
            const ConnectOutcome c = link.Connect(rig.At(i).Port(), Id(u), false, {});
            ASSERT_TRUE(c.connected) << rig.Label(i) << ": " << c.message;
            rig.At(i).ReplaceRecords(c.params, c.info);
            rig.At(i).SetPost([this, port = rig.At(i).Port()](std::string f) { link.Post(port, std::move(f)); });
        }
    }
};

} // namespace

TEST(RigLink, SixProcessorsOnTwoLinesTakeAGroupEditEachAsItsOwnFrameAndOneUndoRestoresAll) {
    SixOnTwoLines six;
    six.ConnectAll();
    Rig& rig = six.rig;
    for (std::size_t u = 0; u < 6; ++u) {
        EXPECT_EQ(six.link.State(rig.At(u).Port(), six.Id(u)), LinkState::Connected);
        EXPECT_EQ(OutputGainDb(rig.At(u).Params(), 2), kGains[u]) << "each read its own record";
    }
    rig.SetGroup({0, 1, 2, 3, 4, 5});

    rig.Edit("Output 3 mute", [](EditContext& ctx, std::size_t) {
        MuteEditor(ctx).Set({Section::Output, 2}, true);
        return std::string();
    });
    for (std::size_t u = 0; u < 6; ++u)
        ASSERT_TRUE(WaitFor([&] { return six.Device(u).Parameters().OutCH[2].Mute == 1; })) << rig.Label(u);
    for (std::size_t u = 0; u < 6; ++u) {
        const std::string address = AddressText(six.Id(u));
        const auto frames = six.Device(u).FramesReceived();
        EXPECT_EQ(std::count(frames.begin(), frames.end(), "(" + address + "$0372001)"), 1) << rig.Label(u);
        for (const std::string& f : frames) EXPECT_EQ(f.substr(1, 2), address) << "heard another's frame: " << f;
    }

    rig.Edit("Output 3 gain", [](EditContext& ctx, std::size_t) {
        GainEditor(ctx, Section::Output).StepDb(2, -3);
        return std::string();
    });
    for (std::size_t u = 0; u < 6; ++u)
        ASSERT_TRUE(WaitFor([&] { return OutputGainDb(six.Device(u).Parameters(), 2) == kGains[u] - 3; }))
            << rig.Label(u) << " keeps its offset";

    EXPECT_EQ(rig.UndoGroup(), "");
    EXPECT_EQ(rig.UndoGroup(), "");
    for (std::size_t u = 0; u < 6; ++u) {
        ASSERT_TRUE(WaitFor([&] {
            const SystemParameters p = six.Device(u).Parameters();
            return p.OutCH[2].Mute == 0 && OutputGainDb(p, 2) == kGains[u];
        })) << rig.Label(u) << " restored by the two group undos";
    }

    // One leaves the line; the other three on it stay connected and edited.
    six.link.Disconnect(rig.At(1).Port(), 2);
    EXPECT_EQ(six.link.State(rig.At(1).Port(), 2), LinkState::NotConnected);
    ASSERT_TRUE(WaitFor([&] { return six.Device(1).FramesReceived().back() == "(02B)"; }));
    const std::size_t heard = six.Device(1).FrameCount();
    MuteEditor(rig.At(2).Context()).Set({Section::Output, 0}, true);
    ASSERT_TRUE(WaitFor([&] { return six.Device(2).Parameters().OutCH[0].Mute == 1; }));
    EXPECT_EQ(six.link.Connected().size(), 5u);
    EXPECT_EQ(six.Device(1).FrameCount(), heard) << "nothing more goes to the one that left, not even a poll";
}

TEST(RigLink, AProcessorThatStopsAnsweringIsLostAloneAndIsComparedWhenItReturns) {
    SixOnTwoLines six;
    six.ConnectAll();
    Rig& rig = six.rig;
    const std::size_t silent = 2; // ID 3 on the first line
    six.lineA.SwitchOff(3);
    ASSERT_TRUE(WaitFor([&] { return six.link.State(rig.At(silent).Port(), 3) == LinkState::Lost; }, 5000ms));
    for (std::size_t u = 0; u < 6; ++u)
        if (u != silent) {
            EXPECT_EQ(six.link.State(rig.At(u).Port(), six.Id(u)), LinkState::Connected) << u;
        }

    // The others keep their meters and take edits; the silent one's edit waits for it.
    std::vector<int> before;
    for (std::size_t u = 0; u < 6; ++u) before.push_back(six.Meters(u));
    MuteEditor(rig.At(0).Context()).Set({Section::Output, 4}, true);
    MuteEditor(rig.At(silent).Context()).Set({Section::Output, 4}, true);
    MuteEditor(rig.At(3).Context()).Set({Section::Output, 4}, true);
    ASSERT_TRUE(WaitFor([&] { return six.Device(0).Parameters().OutCH[4].Mute == 1; }));
    ASSERT_TRUE(WaitFor([&] { return six.Device(3).Parameters().OutCH[4].Mute == 1; }));
    for (std::size_t u = 0; u < 6; ++u)
        if (u != silent) {
            ASSERT_TRUE(WaitFor([&] { return six.Meters(u) > before[u] + 3; })) << rig.Label(u) << " meters";
        }
    EXPECT_EQ(six.Meters(silent), before[silent]);
    EXPECT_EQ(six.Device(silent).Parameters().OutCH[4].Mute, 0);

    six.lineA.SwitchOff(3, false);
    ASSERT_TRUE(WaitFor([&] { return six.link.State(rig.At(silent).Port(), 3) == LinkState::Connected; }, 5000ms));
    ASSERT_TRUE(WaitFor([&] { return six.Device(silent).Parameters().OutCH[4].Mute == 1; }))
        << "its kept edit follows its return";
    // The comparison of the returned processor: its record read over the line agrees with the session.
    std::promise<std::optional<ParameterBytes>> read;
    six.link.Job(rig.At(silent).Port(), [&](CSerialPort* port) {
        read.set_value(port ? UploadParameters(*port, "03", LinkTimings::Fast()) : std::nullopt);
    });
    const auto bytes = read.get_future().get();
    ASSERT_TRUE(bytes);
    const RecordDiff diff = DiffFrames(rig.At(silent).Params(), ParametersFromBytes(*bytes),
                                       "03", DeviceModel::Mivon);
    EXPECT_TRUE(diff.Empty()) << (diff.frames.empty() ? "" : diff.frames.front());
}

TEST(RigLink, AShowFileOpenedOfflineAndEditedNamesExactlyThatUnitsDifferenceOnConnecting) {
    SixOnTwoLines six;
    six.ConnectAll();
    // Six different set-ups, saved as one show file, and the rig closed.
    for (std::size_t u = 0; u < 6; ++u) {
        GainEditor(six.rig.At(u).Context(), Section::Input).SetDb(static_cast<int>(u), -static_cast<int>(u) - 1);
        six.rig.Rename(u, "Unit " + std::to_string(u + 1));
    }
    for (std::size_t u = 0; u < 6; ++u)
        ASSERT_TRUE(WaitFor([&] { return six.Device(u).Parameters() == six.rig.At(u).Params(); })) << u;
    TempDir dir;
    const auto show = dir / "rig.json";
    ASSERT_EQ(SaveRigFile(show, six.rig.Members()), "");
    for (std::size_t u = 0; u < 6; ++u) six.link.Disconnect(six.rig.At(u).Port(), six.Id(u));
    for (std::size_t u = 0; u < 6; ++u)
        ASSERT_TRUE(WaitFor([&] { return six.Device(u).FramesReceived().back() == "(" + AddressText(six.Id(u)) + "B)"; }))
            << "each says goodbye, the last of a line too: " << six.rig.Label(u) << " last heard "
            << (six.Device(u).FramesReceived().empty() ? std::string("nothing") : six.Device(u).FramesReceived().back());

    // A damaged copy is refused whole and leaves the rig as it is.
    std::ofstream(dir / "cut.json") << RigFileText(six.rig.Members()).substr(0, 3000);
    const RigRead cut = OpenRigFile(dir / "cut.json");
    EXPECT_FALSE(cut.ok());
    EXPECT_NE(cut.problem.find("cut.json"), std::string::npos) << cut.problem;

    Rig offline;
    const RigRead read = OpenRigFile(show);
    ASSERT_TRUE(read.ok()) << read.problem;
    offline.Open(*read.members);
    ASSERT_EQ(offline.Size(), 6u);
    MuteEditor(offline.At(4).Context()).Set({Section::Output, 6}, true); // offline: goes nowhere

    // Connecting reads each processor; only unit 5 differs, and only in that mute.
    for (std::size_t u = 0; u < 6; ++u) {
        const ConnectOutcome c = six.link.Connect(offline.At(u).Port(), offline.Id(u), false, {});
        ASSERT_TRUE(c.connected) << offline.Label(u) << ": " << c.message;
        const auto lines = DescribeDifferences(offline.At(u).Params(), ParametersFromBytes(*c.params),
                                               offline.At(u).Info(), DeviceModel::Mivon);
        if (u == 4) {
            ASSERT_EQ(lines.size(), 1u) << offline.Label(u);
            EXPECT_NE(lines[0].find("out 7"), std::string::npos) << lines[0];
        } else {
            EXPECT_TRUE(lines.empty()) << offline.Label(u) << ": " << lines.front();
        }
    }
}
