// The bridge's words to a broker without the broker: retained state in user units and only what
// changed, discovery messages for every entity and their removal, commands read as API requests.
#include "remote/Mqtt.h"
#include "remote/ServerConfig.h"

#include "RemoteTestHost.h"

#include <gtest/gtest.h>

using namespace quellmarin;
using namespace quellmarin::remote;
using quellmarin::test::TestHost;

namespace {

std::map<std::string, std::string> AsMap(const std::vector<MqttMessage>& messages) {
    std::map<std::string, std::string> m;
    for (const MqttMessage& msg : messages) m[msg.topic] = msg.payload;
    return m;
}

Caller Bridge(Role role) { return {{"mqtt quellmarin", role}, "broker 127.0.0.1:1883"}; }

} // namespace

TEST(Mqtt, BrokerAddressesAndTopicWords) {
    std::string error;
    auto url = ParseMqttUrl("mqtt://127.0.0.1:1884", error);
    ASSERT_TRUE(url) << error;
    EXPECT_FALSE(url->tls);
    EXPECT_EQ(url->host, "127.0.0.1");
    EXPECT_EQ(url->port, 1884);
    url = ParseMqttUrl("mqtts://broker.local", error);
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->tls);
    EXPECT_EQ(url->port, 8883);
    url = ParseMqttUrl("mqtt://[::1]:1883/", error);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "::1");
    for (const char* bad : {"", "tcp://host:1", "mqtt://", "mqtt://host:", "mqtt://host:0", "mqtt://host:70000",
                            "mqtt://user@host", "mqtt://host/path", "mqtt://[::1", "http://host"}) {
        EXPECT_FALSE(ParseMqttUrl(bad, error)) << bad;
        EXPECT_NE(error.find("mqtt://HOST"), std::string::npos) << bad;
    }
    EXPECT_EQ(TopicWord("Rack A/stage+#"), "rack_a_stage");
    EXPECT_EQ(TopicWord("***"), "quellmarin");
    EXPECT_TRUE(MqttPrefixValid("quellmarin/hall"));
    for (const char* bad : {"", "a/+/b", "a/#", "/a", "a/", "a//b"}) EXPECT_FALSE(MqttPrefixValid(bad)) << bad;
}

TEST(Mqtt, TheStateIsRetainedInUserUnitsAndOnlyWhatChangedGoesAgain) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    MqttPublisher publisher(api, host, "quellmarin/rack");
    const std::vector<MqttMessage> first = publisher.Changes();
    const auto state = AsMap(first);
    EXPECT_EQ(state.at("quellmarin/rack/1/outputs/3/mute"), "false");
    EXPECT_EQ(state.at("quellmarin/rack/1/outputs/3/gain"), "0.0");
    EXPECT_EQ(state.at("quellmarin/rack/1/outputs/3/polarity"), "normal");
    EXPECT_EQ(state.at("quellmarin/rack/1/inputs/1/gain"), "0.0");
    EXPECT_EQ(state.at("quellmarin/rack/1/availability"), "online");
    EXPECT_EQ(state.at("quellmarin/rack/1/state"), "connected");
    EXPECT_EQ(state.at("quellmarin/rack/1/generator"), "false");
    for (const MqttMessage& m : first) EXPECT_TRUE(m.retain) << m.topic;
    // Every entity exists before its state: the discovery messages lead.
    const auto firstState = std::find_if(first.begin(), first.end(), [](const MqttMessage& m) {
        return !m.topic.starts_with("homeassistant/");
    });
    EXPECT_TRUE(std::all_of(firstState, first.end(), [](const MqttMessage& m) { return !m.topic.starts_with("homeassistant/"); }));
    EXPECT_TRUE(publisher.Changes().empty());

    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/gain", R"({"value": -6})", Bridge(Role::Operator)).status, 200);
    ASSERT_EQ(api.Handle("PUT", "/api/v1/devices/1/outputs/3/mute", R"({"value": true})", Bridge(Role::Operator)).status, 200);
    const auto changed = AsMap(publisher.Changes());
    EXPECT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed.at("quellmarin/rack/1/outputs/3/gain"), "-6.0");
    EXPECT_EQ(changed.at("quellmarin/rack/1/outputs/3/mute"), "true");

    // A processor lost: offline, and its state says so.
    host.units[0].view.lost = true;
    host.units[0].view.state = "lost — reconnecting";
    const auto lost = AsMap(publisher.Changes());
    EXPECT_EQ(lost.at("quellmarin/rack/1/availability"), "offline");
    EXPECT_EQ(lost.at("quellmarin/rack/1/state"), "lost — reconnecting");
    // After a reconnection to the broker everything goes again.
    publisher.Forget();
    EXPECT_EQ(publisher.Changes().size(), first.size());
}

TEST(Mqtt, DiscoveryNamesEveryEntityAsOneDeviceAndLeavesWithTheProcessor) {
    TestHost host(2);
    AuditLog audit;
    Api api(host, audit);
    MqttPublisher publisher(api, host, "quellmarin/rack");
    const auto all = AsMap(publisher.Changes());
    std::map<std::string, int> components;
    std::set<std::string> names, ids;
    for (const auto& [topic, payload] : all) {
        if (!topic.starts_with("homeassistant/") || topic.find("quellmarin_rack_1") == std::string::npos) continue;
        const std::string component = topic.substr(14, topic.find('/', 14) - 14);
        ++components[component];
        const auto config = nlohmann::json::parse(payload);
        names.insert(config.at("name").get<std::string>());
        EXPECT_TRUE(ids.insert(config.at("unique_id").get<std::string>()).second) << topic;
        EXPECT_EQ(config.at("device").at("identifiers")[0], "quellmarin_rack_1") << topic;
        EXPECT_EQ(config.at("availability")[0].at("topic"), "quellmarin/rack/status");
        // A level comes with the levels (not retained); every other entity's state is retained.
        if (component == "sensor")
            EXPECT_EQ(config.at("state_topic"), "quellmarin/rack/1/levels") << topic;
        else
            EXPECT_TRUE(all.count(config.at("state_topic").get<std::string>())) << topic << " has no state";
        if (config.contains("command_topic")) {
            std::string error;
            EXPECT_TRUE(publisher.ReadCommand(config["command_topic"], component == "number" ? "-3" : component == "select" ? "2" : "true", error))
                << topic << ": " << error;
        }
    }
    const std::size_t inputs = kBuildModel == DeviceModel::Ketra ? 4 : 8;
    EXPECT_EQ(components["switch"], static_cast<int>(inputs + 8 + 1)); // mutes and the test tone
    EXPECT_EQ(components["number"], static_cast<int>(inputs + 8));     // gains
    EXPECT_EQ(components["sensor"], static_cast<int>(inputs + 8));     // levels
    EXPECT_EQ(components["select"], 1);                                // the program
    for (const char* name : {"Output 3 mute", "Input 1 gain", "Output 8 level", "Program", "Test tone"})
        EXPECT_TRUE(names.count(name)) << name;

    // The second processor leaves the rig: everything of it is removed, the first's stays.
    host.units.pop_back();
    const std::vector<MqttMessage> gone = publisher.Changes();
    ASSERT_FALSE(gone.empty());
    for (const MqttMessage& m : gone) {
        EXPECT_TRUE(m.payload.empty()) << m.topic;
        EXPECT_TRUE(m.retain);
        EXPECT_TRUE(m.topic.find("quellmarin_rack_2") != std::string::npos || m.topic.starts_with("quellmarin/rack/2/"))
            << m.topic;
    }
    EXPECT_EQ(gone.size(), all.size() / 2);
}

TEST(Mqtt, CommandTopicsAreReadAsTheApisRequests) {
    TestHost host;
    AuditLog audit;
    Api api(host, audit);
    MqttPublisher publisher(api, host, "quellmarin/rack");
    std::string error;
    const auto read = [&](const std::string& topic, const std::string& payload) {
        return publisher.ReadCommand("quellmarin/rack/" + topic, payload, error);
    };
    auto c = read("1/outputs/3/mute/set", "true");
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(c->method, "PUT");
    EXPECT_EQ(c->path, "/api/v1/devices/1/outputs/3/mute");
    EXPECT_EQ(c->body, R"({"value":true})");
    EXPECT_EQ(read("1/outputs/3/mute/set", "OFF")->body, R"({"value":false})");
    EXPECT_EQ(read("1/outputs/3/mute/set", "toggle")->body, R"({"toggle":true})");
    EXPECT_EQ(read("1/inputs/2/gain/set", "-6")->body, R"({"value":-6})");
    EXPECT_EQ(read("1/inputs/2/gain/set", R"({"step": -3})")->body, R"({"step":-3})");
    EXPECT_EQ(read("1/outputs/2/name/set", "Stage L")->body, R"({"value":"Stage L"})");
    c = read("1/program/set", "2");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->method, "POST");
    EXPECT_EQ(c->path, "/api/v1/devices/1/programs/2/recall");
    EXPECT_EQ(read("1/generator/set", "false")->body, R"({"running":false})");
    // Topics and payloads that are none: refused with why, never a request.
    for (const auto& [topic, payload] : std::vector<std::pair<std::string, std::string>>{
             {"1/program/set", "Main PA"}, {"1/generator/set", "maybe"}, {"x/outputs/3/mute/set", "true"},
             {"1/speakers/3/mute/set", "true"}, {"1/outputs/three/mute/set", "true"},
             {"1/outputs/3/mute/extra/set", "true"}, {"1/outputs/3/mute/set", std::string(5000, '1')}}) {
        EXPECT_FALSE(read(topic, payload)) << topic;
        EXPECT_FALSE(error.empty()) << topic;
    }
    // Bytes that are no UTF-8 are a text like any other, never a crash of the server.
    c = read("1/outputs/2/name/set", "Stage \xff\xfe");
    ASSERT_TRUE(c);
    EXPECT_TRUE(nlohmann::json::parse(c->body, nullptr, false).is_object()) << c->body;
    EXPECT_FALSE(publisher.ReadCommand("other/1/outputs/3/mute/set", "true", error));
    EXPECT_TRUE(error.empty());

    // Carried out under the bridge's role, with the editors' own refusal and nothing changed.
    const SystemParameters before = host.units[0].session->Params();
    const std::size_t frames = host.units[0].device->FrameCount();
    c = read("1/outputs/3/gain/set", "20");
    ApiResponse r = api.Handle(c->method, c->path, c->body, Bridge(Role::Operator));
    EXPECT_EQ(r.status, 422);
    EXPECT_EQ(r.body["message"], "Input range:[-90,+12]");
    c = read("1/outputs/3/polarity/set", "inverted");
    EXPECT_EQ(api.Handle(c->method, c->path, c->body, Bridge(Role::Operator)).status, 403);
    EXPECT_TRUE(host.units[0].session->Params() == before);
    EXPECT_EQ(host.units[0].device->FrameCount(), frames);
    EXPECT_NE(audit.Recent().back().find("mqtt quellmarin"), std::string::npos);
}
