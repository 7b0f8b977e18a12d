// quellmarin-server as its service runs it: started on its shipped configuration with a virtual
// processor on a pseudo-terminal, driven by the command-line tool's --server, stopped with SIGTERM.
#include "protocol/Frames.h"
#include "remote/HttpClient.h"
#include "session/RigFile.h"
#include "sim/VirtualProcessor.h"

#include "HeadlessTestSupport.h"
#include "TempDir.h"
#include "core/link/LinkTestSupport.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quellmarin;
using namespace quellmarin::test;


TEST(HeadlessServer, RunsOnItsShippedConfigurationAndTheToolEditsThroughIt) {
    TempDir dir;
    const auto simLog = dir / "sim.log";
    SimProcess sim({"--id", "1", "--log", simLog.string()});
    ASSERT_FALSE(sim.Path().empty());
    const auto state = dir / "state";
    const std::string server = QUELLMARIN_SERVER_PATH;
    const Ran added = RunProgram(server + " token add tablet --role operator --state-dir " + state.string());
    ASSERT_EQ(added.code, 0) << added.out;
    const std::string secret = added.out.substr(added.out.rfind("qm_"), 51);
    std::ofstream(dir / "token") << secret << "\n";
    const Ran viewer = RunProgram(server + " token add phone --role viewer --state-dir " + state.string());
    std::ofstream(dir / "viewer") << viewer.out.substr(viewer.out.rfind("qm_"), 51) << "\n";

    // The configuration as the package ships it, with this rack's port and a free API port.
    std::string config = ReadAll(QUELLMARIN_SOURCE_DIR "/packaging/server.conf");
    config += "\nport = " + sim.Path() + "\nid = 1\nlisten = 127.0.0.1:0\n";
    std::ofstream(dir / "server.conf") << config;
    const auto log = dir / "server.log";
    ServerProcess process({"--config", (dir / "server.conf").string()}, state, log);
    ASSERT_TRUE(WaitFor(log, "Unit 1 (ID 1 on " + sim.Path() + "): connected")) << ReadAll(log);
    const int port = ListeningPort(log);
    ASSERT_GT(port, 0) << ReadAll(log);
    const std::string url = "http://127.0.0.1:" + std::to_string(port);

    const std::string cli = QUELLMARIN_CLI_PATH;
    const Ran set = RunProgram(cli + " --server " + url + " --token-file " + (dir / "token").string() + " set out 3 mute on");
    EXPECT_EQ(set.code, 0) << set.out;
    EXPECT_TRUE(WaitFor(simLog, "recv " + FrameOutputMute("01", 2, true))) << ReadAll(simLog);
    const Ran get = RunProgram(cli + " --server " + url + " --token-file " + (dir / "token").string() + " get out 3");
    EXPECT_EQ(get.code, 0) << get.out;
    EXPECT_NE(get.out.find("out 3 mute: on"), std::string::npos) << get.out;
    const Ran refused = RunProgram(cli + " --server " + url + " --token-file " + (dir / "viewer").string() + " set out 3 mute off");
    EXPECT_EQ(refused.code, 1) << refused.out;
    EXPECT_NE(refused.out.find("the viewer role may not change out 3 mute"), std::string::npos) << refused.out;
    const Ran range = RunProgram(cli + " --server " + url + " --token-file " + (dir / "token").string() + " set out 3 gain 40");
    EXPECT_EQ(range.code, 2) << range.out;
    EXPECT_NE(range.out.find("Input range:[-90,+12]"), std::string::npos) << range.out;

    std::string error;
    const auto target = remote::ParseHttpUrl(url, error);
    ASSERT_TRUE(target) << error;
    const auto anonymous = remote::HttpExchange(*target, "GET", "/api/v1/devices", "", {}, 5000, error);
    ASSERT_TRUE(anonymous) << error;
    EXPECT_EQ(anonymous->status, 401);

    // The audit log in the state directory names the change and the refusals.
    const std::string audit = ReadAll(state / "audit.jsonl");
    EXPECT_NE(audit.find("\"token\":\"tablet\",\"client\":\"127.0.0.1\",\"action\":\"changed\""), std::string::npos) << audit;
    EXPECT_NE(audit.find("\"status\":403"), std::string::npos) << audit;
    EXPECT_EQ(ReadAll(state / "tokens.json").find(secret), std::string::npos);

    EXPECT_EQ(process.Stop(), 0) << ReadAll(log);
    EXPECT_NE(ReadAll(log).find("stopping"), std::string::npos);
    EXPECT_TRUE(WaitFor(simLog, "(01B)", 3000)) << "the processor was told goodbye";
}

TEST(HeadlessServer, RefusesToServeAnotherAddressWithoutTls) {
    TempDir dir;
    const auto log = dir / "server.log";
    ServerProcess process({"--listen", "0.0.0.0:18471", "--state-dir", (dir / "state").string()}, dir / "state", log);
    EXPECT_EQ(process.Wait(), 1);
    EXPECT_NE(ReadAll(log).find("needs TLS"), std::string::npos) << ReadAll(log);
    EXPECT_EQ(ReadAll(log).find("listening"), std::string::npos);
}

TEST(HeadlessServer, TokenCommandsRefuseWhatIsWrong) {
    TempDir dir;
    const std::string server = std::string(QUELLMARIN_SERVER_PATH) + " ";
    const std::string state = " --state-dir " + (dir / "s").string();
    EXPECT_EQ(RunProgram(server + "token add x --role boss" + state).code, 2);
    EXPECT_EQ(RunProgram(server + "token add 'a b' --role viewer" + state).code, 1);
    EXPECT_EQ(RunProgram(server + "token add x --role viewer" + state).code, 0);
    EXPECT_EQ(RunProgram(server + "token add x --role viewer" + state).code, 1);
    EXPECT_NE(RunProgram(server + "token list" + state).out.find("x\tviewer\t"), std::string::npos);
    EXPECT_EQ(RunProgram(server + "token revoke y" + state).code, 1);
    EXPECT_EQ(RunProgram(server + "token revoke x" + state).code, 0);
    EXPECT_EQ(RunProgram(server + "token list" + state).out, "");
    std::ofstream(dir / "bad.conf") << "listen = everywhere\n";
    const Ran bad = RunProgram(server + "--config " + (dir / "bad.conf").string() + state);
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.out.find("line 1"), std::string::npos) << bad.out;
}

TEST(HeadlessServer, ConnectsTheProcessorsOfAShowFileAndKeepsWhatTheyHold) {
    TempDir dir;
    SimProcess sim({"--ids", "1,2"});
    ASSERT_FALSE(sim.Path().empty());
    // The file's two processors; the second holds out 3 muted in the file only.
    std::vector<RigMember> members(2);
    for (int i = 0; i < 2; ++i) {
        const sim::VirtualProcessor defaults(i + 1, DeviceModel::Mivon);
        members[i] = {i == 0 ? "Sub left" : "Sub right", sim.Path(), i + 1, DeviceModel::Mivon, defaults.Parameters(),
                      defaults.Info()};
    }
    members[1].params.OutCH[2].Mute = 1;
    ASSERT_EQ(SaveRigFile(dir / "show.json", members), "");
    const auto state = dir / "state";
    const std::string server = QUELLMARIN_SERVER_PATH;
    const Ran added = RunProgram(server + " token add phone --role viewer --state-dir " + state.string());
    const std::string secret = added.out.substr(added.out.rfind("qm_"), 51);
    const auto log = dir / "server.log";
    ServerProcess process({"--show-file", (dir / "show.json").string(), "--listen", "127.0.0.1:0"}, state, log);
    ASSERT_TRUE(WaitFor(log, "Sub right (ID 2 on " + sim.Path() + "): connected")) << ReadAll(log);
    EXPECT_TRUE(WaitFor(log, "Sub left (ID 1 on " + sim.Path() + "): connected")) << ReadAll(log);
    EXPECT_TRUE(WaitFor(log, "holds other settings than the show file")) << ReadAll(log);

    std::string error;
    const auto url = remote::ParseHttpUrl("http://127.0.0.1:" + std::to_string(ListeningPort(log)), error);
    ASSERT_TRUE(url) << error;
    const auto devices = remote::HttpExchange(*url, "GET", "/api/v1/devices", secret, {}, 5000, error);
    ASSERT_TRUE(devices) << error;
    EXPECT_NE(devices->body.find("\"name\":\"Sub right\""), std::string::npos) << devices->body;
    const auto mute = remote::HttpExchange(*url, "GET", "/api/v1/devices/2/outputs/3/mute", secret, {}, 5000, error);
    ASSERT_TRUE(mute) << error;
    EXPECT_NE(mute->body.find("\"value\":false"), std::string::npos) << "the processor's own value: " << mute->body;
    EXPECT_EQ(process.Stop(), 0);
}
