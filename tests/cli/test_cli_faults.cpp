// The tool on a line that loses frames, against virtual processors on real pseudo-terminals: what only
// reads is asked again, what writes is sent again only where the device's record shows it did not take
// it, and every run ends confirmed or with the message of the step that failed, never falsely.
#include "cli/Cli.h"

#include "TempDir.h"
#include "core/link/LinkTestSupport.h"
#include "link/Discovery.h"
#include "link/WholeState.h"
#include "model/ParameterFile.h"
#include "edit/Generator.h"
#include "edit/PanelLock.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <set>
#include <sstream>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result RunTool(const std::vector<std::string>& args) {
    cli::Environment env;
    env.timings = LinkTimings::Fast();
    env.includeHardware = false;
    env.progressOnTerminal = false;
    std::ostringstream out, err;
    const int code = cli::Run(args, out, err, env);
    return {code, out.str(), err.str()};
}

std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

} // namespace

TEST(CliFaults, ALostHelloOfANamedDeviceIsAskedAgain) {
    int hellos = 0;
    PtyScripted device([&](const std::string& frame) -> std::optional<std::string> {
        if (frame == "(05hello)" && ++hellos >= 3) return "(88olleh50)";
        return std::nullopt;
    });
    Result r = RunTool({"--port", device.Path(), "--id", "5", "scan"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Device.....05\t" + device.Path() + "\n");
    EXPECT_EQ(hellos, 3) << "two lost, the third answered";

    hellos = -10; // never answers within three asks
    r = RunTool({"--port", device.Path(), "--id", "5", "scan"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "None device\n");
    EXPECT_EQ(hellos, -7);
}

namespace {

const std::set<std::string>& FailureSteps() {
    static const std::set<std::string> steps = {
        std::string(kNoDeviceLine), std::string(kDownloadUnconfirmed), std::string(kDownloadReadBackFailed),
        std::string(kUploadFailed),
        "The device did not confirm the changes; its settings may differ from what was set."};
    return steps;
}

sim::SimFaults LoseOneFrameInFive(unsigned seed) {
    sim::SimFaults faults;
    faults.lose = 0.2;
    faults.seed = seed;
    return faults;
}

} // namespace

TEST(CliFaults, FiftyDownloadsOnALossyLineEndConfirmedOrNamingTheStep) {
    TempDir dir;
    SystemParameters sent = DefaultSystemParameters(DeviceModel::Mivon);
    sent.InCH[2].Gain = 171;
    SetProgramName(sent, "Lossy line");
    const std::string file = (dir / "sent.asc").string();
    ASSERT_EQ(SaveParameterFile(file, sent, DefaultDeviceInfo(DeviceModel::Mivon)), "");
    int confirmed = 0;
    for (unsigned seed = 1; seed <= 50; ++seed) {
        PtyProcessor device(7, DeviceModel::Mivon, LoseOneFrameInFive(seed));
        const Result r = RunTool({"--port", device.Path(), "--id", "7", "download", file, "--retry", "3"});
        if (r.code == 0) {
            ++confirmed;
            EXPECT_TRUE(device.device.Parameters() == sent) << "reported downloaded, seed " << seed;
        } else {
            EXPECT_TRUE(FailureSteps().count(LastLine(r.err))) << "seed " << seed << ": " << r.err;
        }
    }
    // One lost frame in five: without asking again, fewer than half the runs got through.
    EXPECT_GE(confirmed, 40);
}

TEST(CliFaults, SetsOnALossyLineEndConfirmedOrNamingTheStep) {
    int confirmed = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        PtyProcessor device(7, DeviceModel::Mivon, LoseOneFrameInFive(seed));
        const Result r = RunTool({"--port", device.Path(), "--id", "7", "set", "out", "3", "gain", "-6"});
        if (r.code == 0) {
            ++confirmed;
            EXPECT_EQ(device.device.Parameters().OutCH[2].Gain, 169) << "reported set, seed " << seed;
        } else {
            EXPECT_TRUE(FailureSteps().count(LastLine(r.err))) << "seed " << seed << ": " << r.err;
        }
    }
    EXPECT_GE(confirmed, 14); // without asking again, one in four
}

namespace {

struct Tally {
    int confirmed = 0, falselyConfirmed = 0, refused = 0;
};

// A command that only the device information can confirm, run on `runs` seeded lossy lines: it exits 0
// only when the device holds the setting, and otherwise says why.
Tally RunLossy(const std::vector<std::string>& command, int runs,
               const std::function<bool(const DeviceInfoRecord&)>& holds, const std::string& unconfirmed) {
    Tally t;
    std::set<std::string> steps = FailureSteps();
    steps.insert(unconfirmed);
    for (int seed = 1; seed <= runs; ++seed) {
        PtyProcessor device(7, DeviceModel::Mivon, LoseOneFrameInFive(static_cast<unsigned>(seed)));
        std::vector<std::string> args = {"--port", device.Path(), "--id", "7"};
        args.insert(args.end(), command.begin(), command.end());
        const Result r = RunTool(args);
        if (r.code == 0) {
            ++t.confirmed;
            if (!holds(device.device.Info())) ++t.falselyConfirmed;
        } else {
            ++t.refused;
            EXPECT_TRUE(steps.count(LastLine(r.err))) << "seed " << seed << ": " << r.err;
        }
    }
    return t;
}

} // namespace

TEST(CliFaults, TheLockAndTheGeneratorOnALossyLineAreConfirmedFromTheDeviceInformation) {
    const Tally lock = RunLossy({"set", "lock", "on"}, 30, [](const DeviceInfoRecord& i) { return i.PanelLock == 1; },
                                std::string(PanelLock::kUnconfirmed));
    std::cout << "set lock on: " << lock.confirmed << " of 30 confirmed, " << lock.falselyConfirmed
              << " falsely\n";
    EXPECT_EQ(lock.falselyConfirmed, 0);
    EXPECT_GE(lock.confirmed, 25) << "a lost lock frame is sent again";

    const Tally generator =
        RunLossy({"generator", "on", "1k", "-20"}, 30,
                 [](const DeviceInfoRecord& i) { return i.GenRun == 1 && i.GenFreq == 69 && i.GenLevel == 141; },
                 std::string(Generator::kUnconfirmed));
    std::cout << "generator on: " << generator.confirmed << " of 30 confirmed, " << generator.falselyConfirmed
              << " falsely\n";
    EXPECT_EQ(generator.falselyConfirmed, 0);
    EXPECT_GE(generator.confirmed, 25);
}
