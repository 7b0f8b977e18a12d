// Scan, selection, connection and the whole-state exchange over real pseudo-terminals, against
// virtual processors in this process and against the quellmarin-sim program.
#include "link/DeviceLink.h"

#include "LinkTestSupport.h"
#include "protocol/HexCodec.h"
#include "link/PortCatalog.h"
#include "link/WholeState.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#endif

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

SystemParameters EditedState() {
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    SetProgramName(p, "Arena left hang");
    p.InCH[2].Gain = 171;
    p.InCH[4].Peq[1] = {1, 77, 30, 12};
    p.OutCH[5].HpfType = 11;
    p.OutCH[5].HpfFreq = 29;
    SetDelaySamples(p.OutCH[1], 480);
    p.Comp[6] = {20, 30, 90, 49};
    p.RecordTail[0] = 5;
    return p;
}

struct Link {
    explicit Link(std::vector<std::string> ports, DeviceModel model = DeviceModel::Mivon,
                  LinkTimings timings = LinkTimings::Fast())
        : link(provider, model, timings) {
        link.SetCatalog(BuildPortCatalog(ports, {}, false));
    }
    SystemPortProvider provider;
    DeviceLink link;
};

} // namespace

TEST(Discovery, FindsDevicesInPortOrderAndRefusesWrongReplies) {
    PtyProcessor seven(7), twelve(12), otherModel(3, DeviceModel::Ketra), sameId(7);
    // Replies that must not be taken: unreversed ID digits, except where both digits are equal.
    PtyScripted unreversed([](const std::string& f) -> std::optional<std::string> {
        if (f == "(23hello)") return "(88olleh23)";
        if (f == "(11hello)") return "(88olleh11)";
        return std::nullopt;
    });
    Link l({seven.Path(), otherModel.Path(), twelve.Path(), unreversed.Path(), sameId.Path(),
            "/dev/quellmarin-none"});
    std::atomic<int> lastDone{0}, planned{0};
    const auto found = l.link.Scan([&](int done, int plan) {
        lastDone = std::max(lastDone.load(), done);
        planned = plan;
    });
    const std::vector<FoundDevice> expected = {
        {7, seven.Path()}, {12, twelve.Path()}, {11, unreversed.Path()}, {7, sameId.Path()}};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(planned, 6 * 50) << "a port that does not open counts as probed at once";
    EXPECT_EQ(lastDone, planned);
    // The ID found on two ports names each port, so that either can be chosen.
    EXPECT_EQ(l.link.DeviceLines(),
              (std::vector<std::string>{"Device.....07 on " + seven.Path(), "Device.....12", "Device.....11",
                                        "Device.....07 on " + sameId.Path()}));
    ASSERT_TRUE(l.link.Select("Device.....07 on " + sameId.Path()).selection);
    EXPECT_EQ(l.link.PortPath(), sameId.Path());
    EXPECT_EQ(l.link.PortNumber(), 5);
    EXPECT_FALSE(l.link.Select("Device.....07 on /dev/elsewhere").selection) << "no such device on that port";
    EXPECT_EQ(l.link.PortPath(), sameId.Path());

    // A line without its port takes the first device with that ID.
    const SelectResult s = l.link.Select("  Device.....07 ");
    ASSERT_TRUE(s.selection.has_value());
    EXPECT_EQ(l.link.Address(), "07");
    EXPECT_EQ(l.link.PortPath(), seven.Path());
    EXPECT_EQ(l.link.PortNumber(), 1);
    EXPECT_EQ(l.link.Select("Device.....12").selection->portNumber, 3);
    EXPECT_EQ(l.link.Select("").message, "hasn't selected device !");
    EXPECT_EQ(l.link.Select("None device").message, "没有设备!2");
    EXPECT_FALSE(l.link.Select("Device.....33").selection.has_value());
    EXPECT_EQ(l.link.Address(), "12") << "an unknown line changes nothing";
}

TEST(Discovery, NoUsablePortListsNoneDevice) {
    Link l({"/dev/quellmarin-none"});
    EXPECT_TRUE(l.link.Scan().empty());
    EXPECT_EQ(l.link.DeviceLines(), std::vector<std::string>{"None device"});
}

TEST(Discovery, RealTimeScanOfTheSimulatorProgram) {
    SimProcess sim({"--id", "9"});
    ASSERT_FALSE(sim.Path().empty());
    Link l({sim.Path()}, DeviceModel::Mivon, LinkTimings{});
    const auto start = std::chrono::steady_clock::now();
    const auto found = l.link.Scan();
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, 9);
    EXPECT_LT(took, 3s) << "50 probes of at most 30 ms";
}

TEST(Discovery, SeveralProcessorsOnOneLineAreEachFoundAndEachAnswersOnlyItsOwnAddress) {
    SimProcess sim({"--ids", "2,5,7"});
    ASSERT_FALSE(sim.Path().empty());
    Link l({sim.Path()}, DeviceModel::Mivon, LinkTimings{});
    EXPECT_EQ(l.link.Scan(), (std::vector<FoundDevice>{{2, sim.Path()}, {5, sim.Path()}, {7, sim.Path()}}));
    // On the line itself: a level poll for 5 is answered by 5 alone, one for 3 by nobody.
    auto port = CreatePlatformLine();
    ASSERT_TRUE(port->Open(sim.Path()));
    ASSERT_TRUE(port->Configure(LineConfig{}));
    port->Write("(05L)", 1s);
    std::string reply;
    for (int i = 0; i < 100 && reply.find(')') == std::string::npos; ++i)
        if (port->WaitForBytes(1, 20ms)) reply += port->Read(4096);
    EXPECT_EQ(reply.rfind("(05L", 0), 0u) << reply;
    EXPECT_FALSE(port->WaitForBytes(1, 200ms)) << "a second processor answered too";
    port->Write("(03L)", 1s);
    EXPECT_FALSE(port->WaitForBytes(1, 300ms)) << "nobody has address 03";
    for (const char* bad : {"3,3", "0,1", "1,", "1,x", "51"})
        EXPECT_TRUE(SimProcess({"--ids", bad}).Path().empty()) << bad;
}

TEST(Discovery, LateHelloRepliesAreFoundWithTheirOwnId) {
    // Ten times the hello window late: the reply arrives while later IDs are probed, and still counts
    // for the ID it names.
    sim::SimFaults late;
    late.slowMs = 100;
    PtyProcessor three(3, DeviceModel::Mivon, late), fifty(50, DeviceModel::Mivon, late);
    Link l({three.Path(), fifty.Path()}, DeviceModel::Mivon, LinkTimings{});
    const auto start = std::chrono::steady_clock::now();
    const auto found = l.link.Scan();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(found, (std::vector<FoundDevice>{{3, three.Path()}, {50, fifty.Path()}}))
        << "ID 50 answers only in the listening time after the last probe";
    EXPECT_LT(took, 2500ms);
}

TEST(Discovery, AReplyTooLateIsMissedAndTheScanStillEndsInTime) {
    sim::SimFaults late;
    late.slowMs = 400;
    PtyProcessor fifty(50, DeviceModel::Mivon, late);
    Link l({fifty.Path()}, DeviceModel::Mivon, LinkTimings{});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(l.link.Scan().empty());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 50 * 30ms + 200ms + 400ms) << "50 windows, the late listening time, and some slack";
}

TEST(Discovery, StrayBytesAndHalfRepliesAroundAHelloDoNotHideIt) {
    // The reply comes in two pieces behind some noise, and a reply naming an ID not probed yet is
    // ignored.
    PtyScripted device([](const std::string& f) -> std::optional<std::string> {
        if (f == "(04hello)")
            return "x)(88olleh"
                   "9"; // ends with the next reply: ID 9, not probed yet
        if (f == "(05hello)") return "0)garbage(88olleh50)";
        if (f == "(06hello)") return "(88olleh90)"; // names ID 9, not probed yet
        return std::nullopt;
    });
    Link l({device.Path()});
    EXPECT_EQ(l.link.Scan(), (std::vector<FoundDevice>{{5, device.Path()}}));
}

#ifndef _WIN32
namespace {

// What a scan says of `path` when it runs as a user without special rights (as nobody when the tests
// run as root, who may open any port).
std::string ProblemSeenByAUser(const std::string& path) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        SystemPortProvider provider;
        const PortCheck check = CheckPorts(provider, {path});
        const std::string text = check.problems.empty() ? "usable" : check.problems.front();
        if (::write(fds[1], text.data(), text.size()) < 0) ::_exit(3);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return text;
}

} // namespace

TEST(Discovery, PortsThatCannotBeOpenedSayWhy) {
    TempDir dir;
    const std::string file = (dir / "not-a-port").string();
    std::ofstream(file) << "text";
    sim::PseudoTerminal held, locked;
    ASSERT_TRUE(held.ok() && locked.ok());

    SystemPortProvider provider;
    const PortCheck check = CheckPorts(provider, {"/dev/quellmarin-none", file});
    EXPECT_TRUE(check.usable.empty());
    ASSERT_EQ(check.problems.size(), 2u);
    EXPECT_EQ(check.problems[0], "/dev/quellmarin-none: there is no such port (is the adapter plugged in?)");
    EXPECT_EQ(check.problems[1], file + ": this is not a serial port");

    // Another program holds the port in exclusive mode.
    ::chmod(held.SlavePath().c_str(), 0666);
    const int other = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::ioctl(other, TIOCEXCL), 0);
    EXPECT_EQ(ProblemSeenByAUser(held.SlavePath()),
              held.SlavePath() +
                  ": the port is busy: another program holds it open (close that program and scan again)");
    ::close(other);

    // No rights: the message names the group of the device file and the command that adds the user.
    struct stat st {};
    ASSERT_EQ(::stat(locked.SlavePath().c_str(), &st), 0);
    ::chmod(locked.SlavePath().c_str(), 0);
    const std::string said = ProblemSeenByAUser(locked.SlavePath());
    EXPECT_EQ(said.rfind(locked.SlavePath() + ": permission denied", 0), 0u) << said;
    if (const group* g = ::getgrgid(st.st_gid); g && st.st_gid != 0) {
        EXPECT_NE(said.find(std::string("sudo usermod -aG ") + g->gr_name + " $USER"), std::string::npos)
            << said;
    }

    // A scan of such ports still ends with the one line "None device", and keeps the reasons.
    Link l({"/dev/quellmarin-none", file});
    EXPECT_TRUE(l.link.Scan().empty());
    EXPECT_EQ(l.link.DeviceLines(), std::vector<std::string>{"None device"});
    EXPECT_EQ(l.link.PortProblems(), check.problems);
}
#endif

TEST(Connection, UploadReadsTheWholeStateByteForByte) {
    PtyProcessor sim(7);
    sim.device.SetParameters(EditedState());
    DeviceInfoRecord info = sim.device.Info();
    info.ProgramNo = 5;
    sim.device.SetInfo(info);

    Link l({sim.Path()});
    l.link.Scan();
    ASSERT_TRUE(l.link.Select("Device.....07").selection);
    const ConnectOutcome c = l.link.Connect(false, {});
    ASSERT_TRUE(c.connected) << c.message;
    ASSERT_TRUE(c.params && c.info);
    EXPECT_EQ(*c.params, ToBytes(EditedState()));
    EXPECT_EQ(*c.info, ToBytes(sim.device.Info()));
    EXPECT_EQ(ProgramNoText(DeviceInfoFromBytes(*c.info)), "05");
    EXPECT_TRUE(l.link.Connected());

    const ConnectOutcome again = l.link.Connect(false, {});
    EXPECT_FALSE(again.connected);
    EXPECT_EQ(again.message, "Open port: fail..") << "the port is held by the connection";
    EXPECT_TRUE(l.link.Connected());

    // A posted command reaches the device; the disconnection sends "(07B)".
    l.link.Post(FrameInputMute("07", 3, true));
    ASSERT_TRUE(WaitFor([&] { return sim.device.Parameters().InCH[3].Mute == 1; }));
    l.link.Disconnect();
    EXPECT_FALSE(l.link.Connected());
    ASSERT_TRUE(WaitFor([&] {
        return !sim.device.FramesReceived().empty() && sim.device.FramesReceived().back() == "(07B)";
    }));
    const auto frames = sim.device.FramesReceived();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "(07Q000)"), 1);
}

TEST(Connection, DownloadDeliversTheExact1881CharacterFrame) {
    PtyProcessor sim(12);
    Link l({sim.Path()});
    l.link.Scan();
    ASSERT_TRUE(l.link.Select("Device.....12").selection);
    const ParameterBytes record = ToBytes(EditedState());
    const ConnectOutcome c = l.link.Connect(true, record);
    ASSERT_TRUE(c.connected) << c.message;
    EXPECT_FALSE(c.params.has_value()) << "a download reads only the device information";
    ASSERT_TRUE(c.info.has_value());
    const auto frames = sim.device.FramesReceived();
    const std::string expected = "(12P1881" + HexEncode(record) + ")";
    ASSERT_EQ(expected.size(), 1881u);
    EXPECT_NE(std::find(frames.begin(), frames.end(), expected), frames.end());
    EXPECT_EQ(ToBytes(sim.device.Parameters()), record);
    l.link.Disconnect();
}

TEST(Connection, ADownloadUnderLostFramesIsConfirmedOrSaidToHaveFailed) {
    // Frames lost on the way to the device and replies lost on the way back, over 50 seeded runs: a
    // run that reports success has the record in the device; every other run reports its failure.
    const SystemParameters old = DefaultSystemParameters(DeviceModel::Mivon);
    const SystemParameters sent = EditedState();
    int confirmed = 0, unconfirmed = 0, failed = 0;
    for (unsigned seed = 1; seed <= 50; ++seed) {
        sim::SimFaults faults;
        faults.lose = 0.2;
        faults.drop = 0.2;
        faults.seed = seed;
        PtyProcessor sim(7, DeviceModel::Mivon, faults);
        sim.device.SetParameters(old);
        Link l({sim.Path()});
        l.link.Select(SelectionOf({7, sim.Path()}, l.link.Catalog()));
        const ConnectOutcome out = l.link.Connect(true, ToBytes(sent));
        if (!out.connected) {
            ++failed;
            EXPECT_FALSE(out.message.empty()) << "seed " << seed;
        } else if (out.unconfirmed) {
            ++unconfirmed;
            EXPECT_TRUE(out.message == kDownloadUnconfirmed || out.message == kDownloadReadBackFailed)
                << "seed " << seed << ": " << out.message;
        } else {
            ++confirmed;
            EXPECT_TRUE(sim.device.Parameters() == sent) << "reported downloaded, seed " << seed;
        }
        l.link.Disconnect();
    }
    EXPECT_GT(confirmed, 0);
    EXPECT_GT(unconfirmed + failed, 0);
}

TEST(Connection, AnUnconfirmedDownloadIsSentAgainOverTheOpenConnection) {
    sim::SimFaults faults;
    faults.loseDownloads = 1;
    PtyProcessor sim(7, DeviceModel::Mivon, faults);
    const SystemParameters sent = EditedState();
    Link l({sim.Path()});
    l.link.Select(SelectionOf({7, sim.Path()}, l.link.Catalog()));
    const ConnectOutcome out = l.link.Connect(true, ToBytes(sent));
    ASSERT_TRUE(out.connected);
    EXPECT_TRUE(out.unconfirmed) << "the download frame was lost";
    EXPECT_FALSE(sim.device.Parameters() == sent);

    auto resent = l.link.Worker().Submit(
        [&](CSerialPort& port) { return ResendDownload(port, "07", ToBytes(sent), LinkTimings::Fast()); });
    EXPECT_EQ(resent.get(), ReadBack::Confirmed);
    EXPECT_TRUE(sim.device.Parameters() == sent);
    l.link.Disconnect();
}

TEST(Connection, GarbledOrCutRepliesLeaveTheRecordsAndFailTheConnection) {
    for (const char* faults : {"garble=1", "short_q", "drop=1"}) {
        SCOPED_TRACE(faults);
        PtyProcessor sim(4);
        Link l({sim.Path()});
        l.link.Scan();
        ASSERT_TRUE(l.link.Select("Device.....04").selection);
        std::string error;
        sim.SetFaults(*sim::ParseFaults(faults, error));
        const ConnectOutcome c = l.link.Connect(false, {});
        EXPECT_FALSE(c.connected);
        EXPECT_FALSE(c.params.has_value());
        EXPECT_FALSE(c.info.has_value());
        EXPECT_EQ(c.message, kUploadFailed);
        EXPECT_FALSE(l.link.Connected());
        sim.SetFaults({});
        EXPECT_TRUE(l.link.Connect(false, {}).connected) << "the port was given back";
        l.link.Disconnect();
    }
}

TEST(Connection, ADeviceThatStopsAnsweringRaisesTheLostDeviceAlarm) {
    PtyProcessor sim(2);
    Link l({sim.Path()});
    std::atomic<int> lost{0};
    std::atomic<int> levels{0};
    WorkerCallbacks cb;
    cb.lostDevice = [&](const std::string&) { ++lost; };
    cb.levels = [&](const LevelFrame&) { ++levels; };
    l.link.SetCallbacks(cb);
    l.link.Scan();
    ASSERT_TRUE(l.link.Select("Device.....02").selection);
    ASSERT_TRUE(l.link.Connect(false, {}).connected);
    ASSERT_TRUE(WaitFor([&] { return levels >= 3; }));
    EXPECT_EQ(lost, 0);
    sim.SetFaults({0, 0, 0, 1, false, 1}); // mute after the first frame: it already saw more
    ASSERT_TRUE(WaitFor([&] { return lost >= 2; }, 5s));
    l.link.Disconnect();
}

TEST(Connection, PortNumbersOutsideTheRangeFailBeforeAnythingIsWritten) {
    PtyProcessor sim(1);
    Link l({sim.Path()});
    Selection s;
    s.address = "01";
    s.port = sim.Path();
    s.portNumber = 1025;
    s.id = 1;
    l.link.Select(s);
    ConnectOutcome c = l.link.Connect(true, ToBytes(EditedState()));
    EXPECT_FALSE(c.connected);
    EXPECT_EQ(c.message, "Open port: fail..");
    EXPECT_EQ(c.caption, "Warning");
    s.port = "/dev/quellmarin-none";
    s.portNumber = 1;
    l.link.Select(s);
    c = l.link.Connect(false, {});
    EXPECT_EQ(c.message, "Open port: fail..");
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(sim.device.FramesReceived().empty());
}

TEST(WholeState, RepliesAreCheckedBeforeTheyReplaceARecord) {
    const ParameterBytes record = ToBytes(EditedState());
    const std::string good = "(01Q0001872" + HexEncode(record) + ")";
    ASSERT_EQ(good.size(), kParameterReplyLength + 1);
    EXPECT_EQ(DecodeParameterReply(good), record);
    EXPECT_FALSE(DecodeParameterReply(good.substr(0, 1000)));
    const DeviceInfoBytes info = ToBytes(DefaultDeviceInfo());
    EXPECT_EQ(DecodeDeviceInfoReply("(01I0169" + HexEncode(info)), info);
    std::string lower = "(01I0169" + HexEncode(info);
    lower[20] = 'a';
    EXPECT_FALSE(DecodeDeviceInfoReply(lower));
}
