// What the MQTT bridge says to a broker and reads from it, without the broker: each processor's
// settings as retained topics in user units, published when they change; levels; the commands of
// its "set" topics as API requests, carried out under the bridge's role like any client's; and the
// home-automation discovery messages that make each processor a device of switches, numbers, a
// select and sensors, removed again when the processor leaves the rig.
#pragma once

#include "remote/Api.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quellmarin::remote {

// mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883).
struct MqttUrl {
    bool tls = false;
    std::string host;
    int port = 1883;
};
std::optional<MqttUrl> ParseMqttUrl(const std::string& text, std::string& error);

// A free text as one level of a topic: lower-case letters, digits, '-' and '_' ("Rack A" → "rack_a").
std::string TopicWord(const std::string& text);

struct MqttMessage {
    std::string topic;
    std::string payload; // empty and retained: the retained message is removed
    bool retain = true;
};

// A message on one of the bridge's command topics, as the API request it stands for.
struct MqttCommand {
    std::string method, path, body;
};

class MqttPublisher {
  public:
    // `prefix`: "quellmarin/rack" (the processors' topics are PREFIX/ID/...); it names the devices
    // of the discovery messages too ("quellmarin_rack_1"), so two servers never share one.
    MqttPublisher(Api& api, Host& host, std::string prefix, std::string discoveryPrefix = "homeassistant");

    const std::string& Prefix() const { return prefix_; }
    // "online" while the bridge is connected; the broker's last will says "offline".
    std::string StatusTopic() const { return prefix_ + "/status"; }
    // Every command's answer: {"topic": ..., "result": "ok"} or {..., "result": "error", "status":
    // 422, "message": "Input range:[-90,+12]"}.
    std::string ResultTopic() const { return prefix_ + "/result"; }
    std::vector<std::string> CommandFilters() const;

    // What changed since the last call: discovery messages of processors that came, state topics
    // that changed, and empty retained messages for everything of a processor that left.
    std::vector<MqttMessage> Changes();
    // Everything is published anew from the next call (after a reconnection to the broker).
    void Forget();
    // Each processor's newest levels (not retained): PREFIX/ID/levels {"inputs": [...], "outputs": [...]}.
    std::vector<MqttMessage> Levels();
    // Offline for every processor, before the bridge leaves the broker.
    std::vector<MqttMessage> Leaving() const;

    // The request a command message stands for; nothing, with why, for a topic or payload that is
    // none (a topic outside the bridge's yields an empty `error`).
    std::optional<MqttCommand> ReadCommand(const std::string& topic, const std::string& payload, std::string& error) const;

  private:
    // The retained state of every processor now: topic → payload.
    std::map<std::string, std::string> State();
    std::map<std::string, std::string> Discovery(std::size_t unit, const UnitView& view, const Json& strips);

    Api& api_;
    Host& host_;
    std::string prefix_, node_, discoveryPrefix_;
    std::map<std::string, std::string> published_; // topic → payload, as the broker holds it
    // Each processor's discovery messages, with the names they were made from.
    std::map<int, std::pair<std::string, std::map<std::string, std::string>>> discovery_;
};

} // namespace quellmarin::remote
