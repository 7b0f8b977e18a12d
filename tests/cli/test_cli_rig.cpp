// The tool on several processors: three on one pseudo-terminal and one on another, reached with
// --all and --id lists, and the show file read from them and sent back.
#include "cli/Cli.h"

#include "TempDir.h"
#include "core/link/LinkTestSupport.h"
#include "session/RigFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#ifndef _WIN32 // pseudo-terminals

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

constexpr int kGains[] = {-6, 0, 4, 10}; // output 3 of each processor

int OutputGainDb(const SystemParameters& p, int channel) {
    return 13 - (207 - p.OutCH[channel].Gain) / 2;
}

struct FourProcessors {
    PtyBus lineA{{1, 2, 3}, DeviceModel::Mivon};
    PtyBus lineB{{4}, DeviceModel::Mivon};
    cli::Environment env;

    FourProcessors() {
        env.timings = LinkTimings::Fast();
        env.includeHardware = false;
        env.progressOnTerminal = false;
        for (std::size_t u = 0; u < 4; ++u) {
            SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
            p.OutCH[2].Gain = static_cast<std::uint8_t>(207 - 2 * (13 - kGains[u]));
            Device(u).SetParameters(p);
        }
    }
    sim::VirtualProcessor& Device(std::size_t u) { return u < 3 ? lineA.Device(u) : lineB.Device(0); }
    struct Result {
        int code;
        std::string out, err;
    };
    Result Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--model", "Mivon", "--port", lineA.Path(), "--port", lineB.Path()});
        std::ostringstream out, err;
        const int code = cli::Run(args, out, err, env);
        return {code, out.str(), err.str()};
    }
};

} // namespace

TEST(CliRig, AllAndIdListsRunTheCommandOnEachProcessorWithItsOwnValues) {
    FourProcessors four;
    auto r = four.Run({"--all", "set", "out", "3", "gain", "step", "-3"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (std::size_t u = 0; u < 4; ++u)
        EXPECT_EQ(OutputGainDb(four.Device(u).Parameters(), 2), kGains[u] - 3) << "ID " << u + 1 << " keeps its offset";
    EXPECT_NE(r.out.find("ID 4 on " + four.lineB.Path() + ": done\n"), std::string::npos) << r.out;

    // An ID nobody answers to: the others are done, the exit says it, and names it.
    r = four.Run({"--id", "2,9,4", "set", "out", "3", "mute", "on"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(four.Device(1).Parameters().OutCH[2].Mute, 1);
    EXPECT_EQ(four.Device(3).Parameters().OutCH[2].Mute, 1);
    EXPECT_EQ(four.Device(0).Parameters().OutCH[2].Mute, 0) << "ID 1 was not named";
    EXPECT_NE(r.err.find("no processor answers as ID 9\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not done on: ID 9\n"), std::string::npos) << r.err;
    r = four.Run({"--id", "1,4", "get", "out", "3"});
    EXPECT_NE(r.out.find("ID 1 on " + four.lineA.Path() + ":\n  out 3 "), std::string::npos) << r.out;

    // An edit a processor refuses is said with its name; the others still take theirs.
    r = four.Run({"--all", "set", "out", "3", "gain", "step", "+12"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("ID 4 on " + four.lineB.Path() + ": "), std::string::npos) << "held at +12: " << r.err;
    EXPECT_EQ(OutputGainDb(four.Device(3).Parameters(), 2), 12);
    EXPECT_EQ(OutputGainDb(four.Device(0).Parameters(), 2), kGains[0] - 3 + 12);

    // --json: one array, one entry a processor, each with its own output.
    r = four.Run({"--json", "--id", "1,3", "get", "out", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(json.is_array() && json.size() == 2) << r.out;
    EXPECT_EQ(json[1]["id"], 3);
    EXPECT_EQ(json[1]["port"], four.lineA.Path());
    EXPECT_TRUE(json[1]["output"].is_object()) << json[1].dump();

    // Several processors are for the commands that make sense on each; bad lists are refused.
    EXPECT_EQ(four.Run({"--all", "download", "x.asc"}).code, 2);
    EXPECT_EQ(four.Run({"--all", "--id", "1", "get", "all"}).code, 2);
    for (const char* bad : {"1,,2", "1,51", "2,2", "1;2", "0"}) {
        r = four.Run({"--id", bad, "get", "all"});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_NE(r.err.find("--id"), std::string::npos) << bad << ": " << r.err;
    }
}

TEST(CliRig, RigSaveReadsEveryProcessorAndRigSendConfirmsEachOrNamesThoseNotConfirmed) {
    FourProcessors four;
    TempDir dir;
    const std::string show = (dir / "show.json").string();
    auto r = four.Run({"rig", "save", show});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("wrote 4 processors to " + show), std::string::npos) << r.out;
    RigRead saved = OpenRigFile(show);
    ASSERT_TRUE(saved.ok()) << saved.problem;
    ASSERT_EQ(saved.members->size(), 4u);
    for (std::size_t u = 0; u < 4; ++u) EXPECT_TRUE((*saved.members)[u].params == four.Device(u).Parameters()) << u;

    // Names given in the file are kept when it is saved again.
    std::vector<RigMember> named = *saved.members;
    named[3].name = "Delay tower";
    ASSERT_EQ(SaveRigFile(show, named), "");
    ASSERT_EQ(four.Run({"rig", "save", show}).code, 0);
    EXPECT_EQ((*OpenRigFile(show).members)[3].name, "Delay tower");

    // The processors change; the show file brings each back.
    for (std::size_t u = 0; u < 4; ++u) {
        SystemParameters p = four.Device(u).Parameters();
        p.OutCH[2].Gain = 100;
        p.InCH[0].Mute = 1;
        four.Device(u).SetParameters(p);
    }
    r = four.Run({"rig", "send", show});
    ASSERT_EQ(r.code, 0) << r.err;
    for (std::size_t u = 0; u < 4; ++u) EXPECT_TRUE((*saved.members)[u].params == four.Device(u).Parameters()) << u;
    EXPECT_NE(r.out.find("sent and confirmed Delay tower (ID 4 on " + four.lineB.Path() + ")"), std::string::npos);

    // One switched off: the others are sent theirs, the exit names it.
    four.lineA.SwitchOff(2);
    SystemParameters p = four.Device(0).Parameters();
    p.OutCH[2].Gain = 100;
    four.Device(0).SetParameters(p);
    r = four.Run({"rig", "send", show});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("not confirmed: ID 2 on " + four.lineA.Path() + "\n"), std::string::npos) << r.err;
    EXPECT_TRUE((*saved.members)[0].params == four.Device(0).Parameters());

    // Saving with one missing writes nothing over the file.
    const RigRead before = OpenRigFile(show);
    r = four.Run({"rig", "save", show, "--id", "1,2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("nothing was written to " + show), std::string::npos) << r.err;
    EXPECT_EQ(RigFileText(*OpenRigFile(show).members), RigFileText(*before.members));
}

#endif
