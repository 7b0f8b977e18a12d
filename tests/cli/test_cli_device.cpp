// The device commands of the command-line tool against a virtual processor on an in-memory port,
// and the real programs against each other over a pseudo-terminal.
#include "cli/Cli.h"

#include "CliTestSupport.h"
#include "TempDir.h"
#include "protocol/Frames.h"
#include "core/link/LinkTestSupport.h"
#include "model/ParameterFile.h"
#include "edit/RecordDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

using namespace quellmarin;
using namespace quellmarin::test;

TEST(CliDevice, ScanUploadDownloadLevelsAndSend) {
    TempDir dir;
    VirtualRig rig;
    auto r = rig.Run({"scan"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Device.....05\tvirtual\n");
    EXPECT_EQ(rig.Run({"--id", "6", "scan"}).out, "None device\n");
    EXPECT_EQ(rig.Run({"--id", "6", "scan"}).code, 1);

    rig.device.Handle(FrameOutputGain("05", 3, 161));
    const std::string up = (dir / "up.asc").string();
    r = rig.Run({"upload", up});
    ASSERT_EQ(r.code, 0) << r.err;
    LoadResult loaded = LoadParameterFile(up, 0x88);
    ASSERT_TRUE(loaded.ok());
    EXPECT_TRUE(loaded.records->params == rig.device.Parameters());
    EXPECT_EQ(loaded.records->params.OutCH[3].Gain, 161);
    EXPECT_TRUE(test::WaitFor([&] { return rig.device.FramesReceived().back() == "(05B)"; }))
        << "the processor reads the end of the connection on its own thread";
    EXPECT_EQ(rig.Run({"upload", (dir / "up.txt").string()}).code, 3);

    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    p.InCH[6].Gain = 33;
    const auto down = dir / "down.asc";
    ASSERT_EQ(SaveParameterFile(down, p, DefaultDeviceInfo(DeviceModel::Mivon)), "");
    r = rig.Run({"download", down.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(rig.device.Parameters().InCH[6].Gain, 33);
    // A download frame lost on the way: the read-back tells, and --retry sends it again.
    p.InCH[6].Gain = 35;
    ASSERT_EQ(SaveParameterFile(down, p, DefaultDeviceInfo(DeviceModel::Mivon)), "");
    sim::SimFaults lost;
    lost.loseDownloads = 2;
    rig.server.SetFaults(lost);
    r = rig.Run({"download", down.string(), "--retry", "1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "the device did not confirm the download; sending again (1 of 1)\n"
                     "The device did not confirm the download; its settings may be the old ones.\n");
    EXPECT_EQ(rig.device.Parameters().InCH[6].Gain, 33);
    lost.loseDownloads = 1;
    rig.server.SetFaults(lost);
    r = rig.Run({"download", down.string(), "--retry", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "the device did not confirm the download; sending again (1 of 2)\n");
    EXPECT_EQ(rig.device.Parameters().InCH[6].Gain, 35);
    rig.server.SetFaults({});

    std::ofstream(dir / "bad.asc") << "short";
    r = rig.Run({"download", (dir / "bad.asc").string()});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "File read Failed...! (it holds 5 bytes; a parameter file holds 1105 (or 831 in the older "
                     "layout))\n");

    r = rig.Run({"levels", "--count", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
    EXPECT_EQ(r.out.rfind("in ", 0), 0u);
    EXPECT_NE(r.out.find("status"), std::string::npos);

    r = rig.Run({"send", "(05T002)"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(DecodeProgramName(TrimBlanks(r.out)), "Main PA.............");
    EXPECT_EQ(rig.Run({"send", "(05\x01)"}).code, 2);
    r = rig.Run({"send", "(05Z)"});
    EXPECT_EQ(r.code, 1) << "no reply is a failure";
}

TEST(CliDevice, ApplySendsOnlyTheDifferenceAndDiffSaysItInWords) {
    TempDir dir;
    VirtualRig rig;
    SystemParameters wanted = rig.device.Parameters();
    wanted.OutCH[2].Gain = 169;
    wanted.InCH[0].Peq[1] = {1, 70, 18, 30};
    std::memcpy(wanted.ChName[10], "Stage left     ", kAliasLength);
    SetProgramName(wanted, "Other name");
    const auto file = dir / "wanted.asc";
    ASSERT_EQ(SaveParameterFile(file, wanted, rig.device.Info()), "");
    const auto before = dir / "before.asc";
    ASSERT_EQ(SaveParameterFile(before, rig.device.Parameters(), rig.device.Info()), "");

    auto r = rig.Run({"diff", before.string(), file.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("out 3 gain: +0.0 dB \u2192 -6.0 dB\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("program name: "), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
    EXPECT_EQ(rig.Run({"diff", file.string(), file.string()}).out, "no differences\n");

    const std::size_t seen = rig.device.FrameCount();
    r = rig.Run({"apply", file.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "sent 3 change(s) to device 05\n");
    EXPECT_EQ(r.err, "not sent, no frame sets it: program name\n");
    EXPECT_TRUE(SameSettings(rig.device.Parameters(), wanted));
    const auto frames = rig.device.FramesReceived();
    std::vector<std::string> changes;
    for (auto it = frames.end() - static_cast<std::ptrdiff_t>(rig.device.FrameCount() - seen);
         it != frames.end(); ++it)
        if (it->find("$0") != std::string::npos || it->find("E1") != std::string::npos)
            changes.push_back(*it);
    EXPECT_EQ(changes.size(), 3u) << "the gain, the band and the name, and no whole-record download";
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                            [](const std::string& f) { return f.rfind("(05P", 0) == 0; }),
              0);
}

TEST(CliDevice, DeviceThatDropsTheUploadWritesNoFile) {
    TempDir dir;
    VirtualRig rig;
    rig.server.SetFaults({0, 0, 0, 0, true, 1});
    const auto up = dir / "up.asc";
    const auto r = rig.Run({"upload", up.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Upload failed"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(up));
}

#ifndef _WIN32
TEST(CliDevice, RealProgramsOverAPseudoTerminal) {
    TempDir dir;
    SimProcess sim({"--id", "14", "--pace"});
    ASSERT_FALSE(sim.Path().empty());
    const std::string cli = QUELLMARIN_CLI_PATH;
    const std::string file = (dir / "state.asc").string();
    const std::string base = "'" + cli + "' --port '" + sim.Path() + "' --id 14 ";
    EXPECT_EQ(std::system((base + "scan | grep -q 'Device.....14'").c_str()), 0);
    EXPECT_EQ(std::system((base + "upload '" + file + "' >/dev/null").c_str()), 0);
    const LoadResult loaded = LoadParameterFile(file, 0x88);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.records->info.DeviceId, 14);
}
#endif

TEST(CliDevice, SilentDevicesAndUnwritableTargetsAreSaidPlainly) {
    VirtualRig rig;
    TempDir dir;
    // A target that cannot be written fails before the device is read.
    const std::size_t before = rig.device.FrameCount();
    const auto blocked = rig.Run({"upload", (dir.path() / "no-such-folder" / "show.asc").string()});
    EXPECT_EQ(blocked.code, 3);
    EXPECT_EQ(blocked.err,
              "File Open Error...! (no new file can be made in " + (dir.path() / "no-such-folder").string() + ")\n");
    const auto frames = rig.device.FramesReceived();
    EXPECT_EQ(std::count(frames.begin() + static_cast<std::ptrdiff_t>(before), frames.end(), "(05Q000)"), 0);

    // A port that cannot be opened is named with its reason, once; the result line stays.
    const auto missing = rig.Run({"--port", "/dev/quellmarin-none", "--id", "9", "scan"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "None device\n");
    EXPECT_EQ(missing.err, "/dev/quellmarin-none: there is no such port (is the adapter plugged in?)\n");

    // A frame nobody answers: the device answers its hello, then nothing more.
    sim::SimFaults silent;
    silent.muteAfter = static_cast<int>(rig.device.FrameCount()) + 1;
    rig.server.SetFaults(silent);
    const auto sent = rig.Run({"--id", "5", "send", "(05$0300001)"});
    EXPECT_EQ(sent.code, 1);
    EXPECT_EQ(sent.out, "");
    EXPECT_EQ(sent.err, "no reply\n");

    // Levels follow the lost-device rule: the 21st empty reply ends the command. The device answers
    // the hello, the state requests and two polls, then stops.
    silent.muteAfter = static_cast<int>(rig.device.FrameCount()) + 5;
    rig.server.SetFaults(silent);
    const auto levels = rig.Run({"--id", "5", "levels", "--count", "60"});
    EXPECT_EQ(levels.code, 1);
    EXPECT_NE(levels.err.find("Has been disconnect to DEVICE!"), std::string::npos) << levels.err;
}
