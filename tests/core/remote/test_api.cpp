// The API over processors whose frames go straight to virtual processors: every route for every role,
// and what a refused request leaves (nothing, on the device and in the session).
#include "remote/Api.h"

#include "RemoteTestHost.h"
#include "edit/ProgramList.h"
#include "sim/VirtualProcessor.h"

#include <gtest/gtest.h>

using namespace quellmarin;
using namespace quellmarin::remote;
using quellmarin::test::TestHost;

namespace {

Caller As(Role role, std::string name = "") {
    return {{name.empty() ? std::string(RoleName(role)) : name, role}, "127.0.0.1"};
}

struct RouteCase {
    const char* method;
    const char* path;
    const char* body;
    Role needs;
};

// Every route, with the least role that may use it.
const std::vector<RouteCase>& Routes() {
    static const std::vector<RouteCase> routes = {
        {"GET", "/api/v1", "", Role::Viewer},
        {"GET", "/api/v1/devices", "", Role::Viewer},
        {"GET", "/api/v1/devices/1", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/outputs/3", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/inputs/2/gain", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/outputs/3/peq/2", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/levels", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/strips", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/generator", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/panel-lock", "", Role::Viewer},
        {"GET", "/api/v1/devices/1/links/inputs", "", Role::Viewer},
        {"GET", "/api/v1/lock", "", Role::Viewer},
        {"PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": true})", Role::Operator},
        {"PUT", "/api/v1/devices/1/outputs/3/mute", R"({"toggle": true})", Role::Operator},
        {"PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": -6, "unit": "dB"})", Role::Operator},
        {"PUT", "/api/v1/devices/1/inputs/2/gain", R"({"step": -3})", Role::Operator},
        {"PUT", "/api/v1/devices/1/generator", R"({"running": false})", Role::Operator},
        {"PUT", "/api/v1/devices/1/outputs/3/polarity", R"({"value": "inverted"})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/delay", R"({"value": 2.5, "unit": "ms"})", Role::Installer},
        {"PUT", "/api/v1/devices/1/inputs/1/delay", R"({"value": 1.7, "unit": "m"})", Role::Installer},
        {"PUT", "/api/v1/devices/1/inputs/1/delay", R"({"step": 1})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/limit", R"({"value": 10})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/name", R"({"value": "Stage L"})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/route", R"({"value": ["A", "B"]})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/hpf", R"({"slope": "lr24", "frequency": 80})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/lpf", R"({"value": "off"})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/peq", R"({"value": true})", Role::Installer},
        {"PUT", "/api/v1/devices/1/outputs/3/peq/2", R"({"type": "peaking", "frequency": 1000, "gain": -3, "q": 1.4})",
         Role::Installer},
        {"PUT", "/api/v1/devices/1/inputs/1/comp", R"({"threshold": -10, "attack": 5, "release": 330, "ratio": 4})",
         Role::Installer},
        {"PUT", "/api/v1/devices/1/links/outputs", R"({"value": [1, 1, 3, 4, 5, 6, 7, 8]})", Role::Installer},
        {"PUT", "/api/v1/devices/1/panel-lock", R"({"value": true})", Role::Installer},
        {"PUT", "/api/v1/devices/1/generator", R"({"running": true, "frequency": 1000, "level": -20})", Role::Installer},
        {"POST", "/api/v1/lock", "", Role::Installer},
        {"DELETE", "/api/v1/lock", "", Role::Installer},
    };
    return routes;
}

} // namespace

TEST(RemoteApi, EveryRouteForEveryRoleIsAllowedOrRefusedAndARefusalChangesNothing) {
    for (const RouteCase& route : Routes()) {
        for (Role role : {Role::Viewer, Role::Operator, Role::Installer}) {
            TestHost host;
            AuditLog audit;
            Api api(host, audit);
            const SystemParameters sessionBefore = host.units[0].session->Params();
            const DeviceInfoRecord infoBefore = host.units[0].session->Info();
            const SystemParameters deviceBefore = host.units[0].device->Parameters();
            const std::size_t framesBefore = host.units[0].device->FrameCount();
            const ApiResponse r = api.Handle(route.method, route.path, route.body, As(role));
            const std::string what = std::string(route.method) + " " + route.path + " " + route.body + " as " +
                                     std::string(RoleName(role)) + ": " + r.body.dump();
            const bool write = std::string(route.method) != "GET";
            if (role >= route.needs) {
                EXPECT_EQ(r.status, 200) << what;
                if (write && std::string(route.path) != "/api/v1/lock") {
                    EXPECT_GT(host.units[0].device->FrameCount(), framesBefore) << what << ": no frame reached the device";
                }
            } else {
                EXPECT_EQ(r.status, 403) << what;
                EXPECT_EQ(host.units[0].device->FrameCount(), framesBefore) << what;
                EXPECT_TRUE(host.units[0].session->Params() == sessionBefore) << what;
                EXPECT_TRUE(host.units[0].session->Info() == infoBefore) << what;
                EXPECT_TRUE(host.units[0].device->Parameters() == deviceBefore) << what;
                EXPECT_EQ(host.edits, 0) << what;
                EXPECT_FALSE(api.LockHolder()) << what;
                const auto line = nlohmann::json::parse(audit.Recent().back());
                EXPECT_EQ(line["action"], "refused") << what;
                EXPECT_EQ(line["status"], 403) << what;
            }
        }
    }
}

TEST(RemoteApi, AnAllowedWriteReachesTheDeviceAndIsLoggedWithOldAndNew) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    const ApiResponse r = api.Handle("PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": -6})", As(Role::Operator, "tablet"));
    ASSERT_EQ(r.status, 200) << r.body.dump();
    EXPECT_EQ(host.units[0].device->Parameters().OutCH[2].Gain, host.units[0].session->Params().OutCH[2].Gain);
    const auto line = nlohmann::json::parse(audit.Recent().back());
    EXPECT_EQ(line["token"], "tablet");
    EXPECT_EQ(line["client"], "127.0.0.1");
    EXPECT_EQ(line["device"], 1);
    EXPECT_EQ(line["setting"], "out 3 gain");
    EXPECT_EQ(line["old"], "+0.0 dB");
    EXPECT_EQ(line["new"], "-6.0 dB");
    const ApiResponse read = api.Handle("GET", "/api/v1/devices/1/outputs/3/gain", "", As(Role::Viewer));
    EXPECT_EQ(read.body["value"], -6.0);
    EXPECT_EQ(read.body["unit"], "dB");
    // A step moves from there; the mute toggle flips it.
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/gain", R"({"step": -3})", As(Role::Operator)).status, 200);
    EXPECT_EQ(api.Handle("GET", "/api/v1/devices/1/outputs/3/gain", "", As(Role::Viewer)).body["value"], -9.0);
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"toggle": true})", As(Role::Operator)).status, 200);
    EXPECT_EQ(host.units[0].device->Parameters().OutCH[2].Mute, 1);
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"toggle": true})", As(Role::Operator)).status, 200);
    EXPECT_EQ(host.units[0].device->Parameters().OutCH[2].Mute, 0);
    // Frames the device answers go as exchanges: the alias name reaches it.
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/name", R"({"value": "Stage L"})", As(Role::Installer)).status, 200);
    EXPECT_EQ(std::string(host.units[0].device->Parameters().ChName[10], 7), "Stage L");
}

TEST(RemoteApi, TheStripsShowEachChannelInUserUnitsAfterAnEdit) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": -6})", As(Role::Operator)).status, 200);
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": true})", As(Role::Operator)).status, 200);
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/name", R"({"value": "Stage L"})", As(Role::Installer)).status,
              200);
    ASSERT_EQ(
        api.Handle("PUT", "/api/v1/devices/1/outputs/3/polarity", R"({"value": "inverted"})", As(Role::Installer)).status,
        200);
    const ApiResponse r = api.Handle("GET", "/api/v1/devices/1/strips", "", As(Role::Viewer));
    ASSERT_EQ(r.status, 200) << r.body.dump();
    ASSERT_EQ(r.body["outputs"].size(), 8u);
    const Json& out3 = r.body["outputs"][2];
    EXPECT_EQ(out3["number"], 3);
    EXPECT_EQ(out3["label"], "out 3");
    EXPECT_EQ(out3["gain"], -6.0);
    EXPECT_EQ(out3["mute"], true);
    EXPECT_EQ(out3["name"], "Stage L");
    EXPECT_EQ(out3["polarity"], "inverted");
    // The neighbours are as they were; the inputs have no polarity of their own to show.
    EXPECT_EQ(r.body["outputs"][1]["gain"], 0.0);
    EXPECT_EQ(r.body["outputs"][1]["mute"], false);
    EXPECT_EQ(r.body["inputs"].size(), kBuildModel == DeviceModel::Ketra ? 4u : 8u);
    EXPECT_EQ(r.body["inputs"][0]["gain"], 0.0);
    EXPECT_EQ(api.Handle("PUT", "/api/v1/devices/1/strips", "{}", As(Role::Installer)).status, 405);
}

TEST(RemoteApi, BadRequestsGetTheirStatusAndChangeNothing) {
    TestHost host;
    host.AddUnit(2, "/dev/ttyUSB1");
    host.AddUnit(2, "/dev/ttyUSB2");
    host.units[0].view.connected = true;
    AuditLog audit;
    Api api(host, audit);
    struct Bad {
        const char* method;
        const char* path;
        std::string body;
        int status;
        const char* message;
    };
    std::string deep(5000, '[');
    deep += std::string(5000, ']');
    const std::vector<Bad> bad = {
        {"PUT", "/api/v1/devices/1/outputs/3/gain", "{\"value\": ", 400, "not JSON"},
        {"PUT", "/api/v1/devices/1/outputs/3/gain", deep, 400, "object"},
        {"PUT", "/api/v1/devices/1/outputs/3/gain", "[1]", 400, "object"},
        {"PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": "loud"})", 400, "gain takes"},
        {"PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": -6, "unit": "dBu"})", 400, "not dBu"},
        {"PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": 30})", 422, "Input range:[-90,+12]"},
        {"PUT", "/api/v1/devices/1/outputs/3/gain", R"({"step": 1.5})", 422, "whole decibels"},
        {"PUT", "/api/v1/devices/1/outputs/3/delay", R"({"value": 5000})", 422, "Input range"},
        {"PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": "yes"})", 400, "mute takes"},
        {"PUT", "/api/v1/devices/1/outputs/3/route", R"({"value": ["Z"]})", 400, "no such channel"},
        {"PUT", "/api/v1/devices/1/outputs/3/peq/9", R"({"type": "peaking"})", 404, "no setting"},
        {"PUT", "/api/v1/devices/1/outputs/3/peq/2", R"({"type": "wobble", "frequency": 100})", 400, "band type"},
        {"PUT", "/api/v1/devices/1/outputs/3/peq/2", R"({"type": "peaking", "gain": -3})", 400, "from the frequency on"},
        // One bad value of several: none of them is taken.
        {"PUT", "/api/v1/devices/1/inputs/1/comp", R"({"threshold": -10, "ratio": 200})", 422, "Input range:[1,99]"},
        {"PUT", "/api/v1/devices/1/outputs/3/colour", R"({"value": 1})", 404, "has no setting colour"},
        {"PUT", "/api/v1/devices/1/inputs/3/limit", R"({"value": 1})", 404, "has no setting limit"},
        {"PUT", "/api/v1/devices/1/outputs/9/gain", R"({"value": 1})", 404, "no such channel"},
        {"PUT", "/api/v1/devices/1/outputs/0/gain", R"({"value": 1})", 404, "no such channel"},
        {"GET", "/api/v1/devices/7", "", 404, "no processor has the ID 7"},
        {"GET", "/api/v1/devices/2", "", 409, "several ports"},
        {"GET", "/api/v1/nothing", "", 404, "no such path"},
        {"GET", "/elsewhere", "", 404, "no such path"},
        {"DELETE", "/api/v1/devices", "", 405, "only GET"},
        {"POST", "/api/v1/devices/1/outputs/3/gain", R"({"value": 1})", 405, "GET or PUT"},
        {"PUT", "/api/v1/devices/1/links/inputs", R"({"value": ["B", "B", "C", "D", "E", "F", "G", "H"]})", 400, "first channel"},
        {"PUT", "/api/v1/devices/1/generator", R"({"running": true, "frequency": 5, "level": -20})", 422, "range"},
    };
    const SystemParameters before = host.units[0].session->Params();
    const std::size_t frames = host.units[0].device->FrameCount();
    for (const Bad& b : bad) {
        const ApiResponse r = api.Handle(b.method, b.path, b.body, As(Role::Installer));
        EXPECT_EQ(r.status, b.status) << b.path << " " << b.body.substr(0, 60) << ": " << r.body.dump();
        EXPECT_NE(r.body.value("message", "").find(b.message), std::string::npos) << r.body.dump();
        EXPECT_EQ(r.body["result"], "error");
    }
    EXPECT_TRUE(host.units[0].session->Params() == before);
    EXPECT_EQ(host.units[0].device->FrameCount(), frames);
}

TEST(RemoteApi, ALostOrUnconnectedProcessorRefusesWritesWith503) {
    TestHost host(2);
    host.units[0].view = {1, "Unit 1", "virtual", "lost \u2014 reconnecting", true, true};
    host.units[1].view = {2, "Unit 2", "virtual", "not connected", false, false};
    AuditLog audit;
    Api api(host, audit);
    for (const char* d : {"1", "2"}) {
        const std::string base = std::string("/api/v1/devices/") + d;
        const ApiResponse r = api.Handle("PUT", base + "/outputs/3/mute", R"({"value": true})", As(Role::Operator));
        EXPECT_EQ(r.status, 503) << r.body.dump();
        EXPECT_EQ(api.Handle("GET", base + "/levels", "", As(Role::Viewer)).status, 503);
        EXPECT_EQ(api.Handle("GET", base + "/outputs/3/mute", "", As(Role::Viewer)).status, 200) << "its settings still read";
    }
    EXPECT_NE(api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": true})", As(Role::Operator))
                  .body["message"]
                  .get<std::string>()
                  .find("lost"),
              std::string::npos);
    EXPECT_EQ(host.edits, 0);
    EXPECT_EQ(host.units[0].device->FrameCount(), 0u);
}

TEST(RemoteApi, TheInstallersLockRefusesOthersWith409UntilGivenBackOrBroken) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    ASSERT_EQ(api.Handle("POST", "/api/v1/lock", "", As(Role::Installer, "anna")).status, 200);
    EXPECT_EQ(api.LockHolder().value_or(""), "anna");
    const std::size_t frames = host.units[0].device->FrameCount();
    const ApiResponse refused = api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": true})", As(Role::Operator, "tablet"));
    EXPECT_EQ(refused.status, 409);
    EXPECT_EQ(refused.body["message"], "the rig is locked by anna");
    EXPECT_EQ(api.Handle("PUT", "/api/v1/devices/1/generator", R"({"running": false})", As(Role::Operator, "tablet")).status, 409);
    EXPECT_EQ(api.Handle("POST", "/api/v1/lock", "", As(Role::Installer, "ben")).status, 409);
    EXPECT_EQ(api.Handle("DELETE", "/api/v1/lock", "", As(Role::Installer, "ben")).status, 409);
    EXPECT_EQ(host.units[0].device->FrameCount(), frames);
    EXPECT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": true})", As(Role::Installer, "anna")).status, 200);
    EXPECT_EQ(api.Handle("GET", "/api/v1/lock", "", As(Role::Viewer)).body["holder"], "anna");
    api.BreakLock("window");
    EXPECT_FALSE(api.LockHolder());
    EXPECT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": false})", As(Role::Operator, "tablet")).status, 200);
    EXPECT_NE(audit.Recent().end(), std::find_if(audit.Recent().begin(), audit.Recent().end(), [](const std::string& l) {
                  return l.find("lock broken") != std::string::npos;
              }));
}

TEST(RemoteApi, ChangesAreLaidAtTheDoorOfWhoeverMadeThem) {
    TestHost host(2);
    AuditLog audit;
    Api api(host, audit);
    std::vector<Change> told;
    api.SetChangeListener([&](const std::vector<Change>& c) { told.insert(told.end(), c.begin(), c.end()); });
    EXPECT_TRUE(api.CollectChanges("window").empty()) << "the first look is no change";
    // An edit in the window, then one over the API: each has its author.
    host.units[1].session->Params().OutCH[0].Mute = 1;
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": -4})", As(Role::Operator, "tablet")).status, 200);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].by, "window");
    EXPECT_EQ(told[0].id, 2);
    EXPECT_EQ(told[0].setting, "out 1 mute");
    EXPECT_EQ(told[0].before, "off");
    EXPECT_EQ(told[0].after, "on");
    EXPECT_EQ(told[1].by, "tablet");
    EXPECT_EQ(told[1].setting, "out 3 gain");
    const Json event = Api::ChangeJson(told[1]);
    EXPECT_EQ(event["event"], "change");
    EXPECT_EQ(event["new"], "-4.0 dB");
    EXPECT_TRUE(api.CollectChanges("window").empty());
}

TEST(RemoteApi, TheWebSocketEnvelopeCarriesGetsSetsAndErrors) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    const Json ok = api.Message({{"id", 7}, {"command", "set"}, {"path", "/devices/1/outputs/3/mute"}, {"value", true}},
                                As(Role::Operator));
    EXPECT_EQ(ok["id"], 7);
    EXPECT_EQ(ok["result"], "ok");
    EXPECT_EQ(host.units[0].device->Parameters().OutCH[2].Mute, 1);
    const Json range = api.Message({{"id", 8}, {"command", "set"}, {"path", "/devices/1/outputs/3/gain"}, {"value", 40}},
                                   As(Role::Operator));
    EXPECT_EQ(range["result"], "error");
    EXPECT_EQ(range["status"], 422);
    EXPECT_EQ(range["message"], "Input range:[-90,+12]");
    const Json read = api.Message({{"id", "a"}, {"command", "get"}, {"path", "/devices/1/outputs/3/mute"}}, As(Role::Viewer));
    EXPECT_EQ(read["id"], "a");
    EXPECT_EQ(read["data"]["value"], true);
    EXPECT_EQ(api.Message({{"id", 9}, {"command", "drop"}, {"path", "/devices"}}, As(Role::Installer))["status"], 400);
    EXPECT_EQ(api.Message(Json::array(), As(Role::Installer))["status"], 400);
    EXPECT_EQ(api.Message({{"command", "get"}}, As(Role::Installer))["status"], 400);
}

TEST(RemoteApi, ProgramsAreListedAndRecalledOnceTheProcessorHasAnswered) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    std::optional<ApiResponse> listed;
    api.HandleAsync("GET", "/api/v1/devices/1/programs", "", As(Role::Viewer), [&](ApiResponse r) { listed = r; });
    EXPECT_FALSE(listed) << "the answer waits for the processor";
    host.Answer();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->status, 200) << listed->body.dump();
    EXPECT_EQ(listed->body["programs"].size(), 40u);
    EXPECT_EQ(listed->body["programs"][0]["slot"], 1);

    // A viewer may not recall; a recall while the rig is locked by another is refused; neither waits.
    std::optional<ApiResponse> refused;
    api.HandleAsync("POST", "/api/v1/devices/1/programs/2/recall", "", As(Role::Viewer), [&](ApiResponse r) { refused = r; });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    EXPECT_TRUE(host.pending.empty());
    for (const char* path : {"/api/v1/devices/1/programs/0/recall", "/api/v1/devices/1/programs/41/recall",
                             "/api/v1/devices/1/programs/2/store", "/api/v1/devices/1/programs/x/recall"}) {
        refused.reset();
        api.HandleAsync("POST", path, "", As(Role::Operator), [&](ApiResponse r) { refused = r; });
        ASSERT_TRUE(refused) << path;
        EXPECT_EQ(refused->status, 404) << path;
    }

    // The recall's changes are the caller's, in the answer and in the audit log.
    // Program 2 holds output 1 muted; the session does not.
    host.units[0].device->Handle(FrameOutputMute("01", 0, true));
    host.units[0].device->Handle(FrameStoreProgram("01", 2));
    std::optional<ApiResponse> recalled;
    api.HandleAsync("POST", "/api/v1/devices/1/programs/2/recall", "", As(Role::Operator, "tablet"),
                    [&](ApiResponse r) { recalled = r; });
    EXPECT_FALSE(recalled);
    host.Answer();
    ASSERT_TRUE(recalled);
    ASSERT_EQ(recalled->status, 200) << recalled->body.dump();
    EXPECT_EQ(host.units[0].session->Info().ProgramNo, 2);
    EXPECT_EQ(host.units[0].session->Params().OutCH[0].Mute, 1);
    const Json changes = recalled->body["changes"];
    EXPECT_TRUE(std::any_of(changes.begin(), changes.end(), [](const Json& c) { return c["setting"] == "out 1 mute"; }))
        << changes.dump();
    bool logged = false;
    for (const std::string& line : audit.Recent()) logged |= line.find("\"recalled\"") != std::string::npos;
    EXPECT_TRUE(logged);

    // Through the WebSocket envelope: "call" is a POST.
    std::optional<Json> answer;
    api.MessageAsync({{"id", 3}, {"command", "call"}, {"path", "/devices/1/programs/1/recall"}}, As(Role::Operator),
                     [&](Json a) { answer = a; });
    host.Answer();
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["id"], 3);
    EXPECT_EQ((*answer)["result"], "ok") << answer->dump();
}

TEST(RemoteApi, StoringAndDeletingProgramsIsAnInstallersAndTheCurrentOneStays) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    const auto call = [&](const char* method, const char* path, const char* body, Role role) {
        std::optional<ApiResponse> answer;
        api.HandleAsync(method, path, body, As(role), [&](ApiResponse r) { answer = r; });
        host.Answer();
        return answer.value_or(ApiResponse{0, {}});
    };
    EXPECT_EQ(call("PUT", "/api/v1/devices/1/programs/5", R"({"name": "Show A"})", Role::Operator).status, 403);
    EXPECT_EQ(call("DELETE", "/api/v1/devices/1/programs/5", "", Role::Operator).status, 403);
    EXPECT_EQ(call("PUT", "/api/v1/devices/1/programs/5", R"({"name": 7})", Role::Installer).status, 400);
    EXPECT_EQ(call("PUT", "/api/v1/devices/1/programs/5", R"({"name": "a name far longer than twenty"})", Role::Installer).status,
              422);
    EXPECT_TRUE(host.stored.empty());
    const ApiResponse stored = call("PUT", "/api/v1/devices/1/programs/5", R"({"name": "Show A"})", Role::Installer);
    ASSERT_EQ(stored.status, 200) << stored.body.dump();
    ASSERT_EQ(host.stored.size(), 1u);
    EXPECT_EQ(host.stored[0], std::make_pair(5, std::string("Show A")));
    EXPECT_TRUE(host.units[0].device->ProgramAt(5).has_value());
    // Program 5 is the current one now: it cannot be deleted; another can.
    const ApiResponse current = call("DELETE", "/api/v1/devices/1/programs/5", "", Role::Installer);
    EXPECT_EQ(current.status, 409);
    EXPECT_EQ(current.body["message"], std::string(ProgramList::kCannotDeleteCurrent));
    EXPECT_EQ(call("DELETE", "/api/v1/devices/1/programs/7", "", Role::Installer).status, 200);
    EXPECT_EQ(host.deleted, std::vector<int>{7});
    EXPECT_EQ(call("POST", "/api/v1/devices/1/programs/7", "", Role::Installer).status, 405);
}

TEST(RemoteApi, AnAnswerAfterTheApiIsGoneTellsNoOne) {
    TestHost host;
    AuditLog audit;
    bool told = false;
    {
        Api api(host, audit);
        api.HandleAsync("GET", "/api/v1/devices/1/programs", "", As(Role::Viewer), [&](ApiResponse) { told = true; });
        api.HandleAsync("POST", "/api/v1/devices/1/programs/1/recall", "", As(Role::Operator), [&](ApiResponse) { told = true; });
    }
    host.Answer();
    EXPECT_FALSE(told);
}
