#include "remote/Mqtt.h"

#include "model/DeviceModel.h"
#include "remote/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace quellmarin::remote {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> TopicLevels(const std::string& topic) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = topic.find('/', start);
        parts.push_back(topic.substr(start, slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

bool Digits(const std::string& s, std::size_t most) {
    return !s.empty() && s.size() <= most && std::all_of(s.begin(), s.end(), ::isdigit);
}

// A setting's value as a payload: JSON's true and false, a number with one decimal, a text as it is.
// JSON text of anything, with bytes that are no UTF-8 (a name from the processor, a payload from
// the broker) replaced rather than thrown about.
std::string Text(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string Payload(const Json& v) {
    if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
    if (v.is_number()) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", v.get<double>());
        return text;
    }
    if (v.is_string()) return v.get<std::string>();
    return Text(v);
}

std::string Title(const std::string& section, const Json& strip) {
    std::string t = std::string(section == "inputs" ? "Input " : "Output ") + std::to_string(strip.value("number", 0));
    const std::string name = strip.value("name", "");
    if (!name.empty() && name.find_first_not_of('*') != std::string::npos) t += " " + name;
    return t;
}

} // namespace

std::optional<MqttUrl> ParseMqttUrl(const std::string& text, std::string& error) {
    error = "the broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not \"" + text + "\"";
    MqttUrl url;
    std::string rest;
    if (text.starts_with("mqtt://")) {
        rest = text.substr(7);
    } else if (text.starts_with("mqtts://")) {
        url.tls = true;
        url.port = 8883;
        rest = text.substr(8);
    } else {
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::optional<int> port;
    bool colonOnly = false;
    if (!SplitHostPort(rest, url.host, port, colonOnly) || colonOnly ||
        url.host.find_first_of("/@?# ") != std::string::npos)
        return std::nullopt;
    if (port) url.port = *port;
    error.clear();
    return url;
}

std::string TopicWord(const std::string& text) {
    std::string word;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u)) word += static_cast<char>(std::tolower(u));
        else if (c == '-' || c == '_') word += c;
        else if (!word.empty() && word.back() != '_') word += '_';
    }
    while (!word.empty() && word.back() == '_') word.pop_back();
    return word.empty() ? "quellmarin" : word;
}

MqttPublisher::MqttPublisher(Api& api, Host& host, std::string prefix, std::string discoveryPrefix)
    : api_(api), host_(host), prefix_(std::move(prefix)), node_(TopicWord(prefix_)),
      discoveryPrefix_(std::move(discoveryPrefix)) {}

std::vector<std::string> MqttPublisher::CommandFilters() const {
    return {prefix_ + "/+/+/set", prefix_ + "/+/+/+/+/set"};
}

std::map<std::string, std::string> MqttPublisher::State() {
    std::map<std::string, std::string> state;
    const std::vector<UnitView> units = host_.Units();
    std::set<int> seen;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const UnitView& v = units[i];
        // An ID on two ports is one name for two processors: the first keeps it.
        if (!seen.insert(v.id).second) continue;
        const Session* s = host_.SessionOf(i);
        if (!s) continue;
        const std::string base = prefix_ + "/" + std::to_string(v.id) + "/";
        state[base + "availability"] = v.connected && !v.lost ? "online" : "offline";
        state[base + "state"] = v.state;
        state[base + "name"] = v.name;
        state[base + "program"] = std::to_string(s->Info().ProgramNo);
        state[base + "generator"] = s->Info().GenRun == 1 ? "true" : "false";
        const Json strips = api_.StripsJson(i);
        for (const char* section : {"inputs", "outputs"})
            for (const Json& strip : strips[section]) {
                const std::string channel = base + section + "/" + std::to_string(strip.value("number", 0)) + "/";
                for (const char* setting : {"mute", "gain", "polarity", "name"})
                    if (strip.contains(setting)) state[channel + setting] = Payload(strip[setting]);
            }
        // The discovery messages change with the names alone: made again only then.
        std::string signature = v.name;
        for (const char* section : {"inputs", "outputs"})
            for (const Json& strip : strips[section]) signature += "|" + strip.value("name", "");
        auto& [was, configs] = discovery_[v.id];
        if (was != signature || configs.empty()) {
            was = signature;
            configs = Discovery(i, v, strips);
        }
        for (const auto& [topic, payload] : configs) state[topic] = payload;
    }
    return state;
}

std::map<std::string, std::string> MqttPublisher::Discovery(std::size_t unit, const UnitView& v, const Json& strips) {
    std::map<std::string, std::string> configs;
    const std::string id = std::to_string(v.id);
    const std::string base = prefix_ + "/" + id;
    const std::string nodeId = node_ + "_" + id;
    const Json device = {{"identifiers", Json::array({nodeId})},
                         {"name", v.name + " (ID " + id + ")"},
                         {"manufacturer", "Quellmarin"},
                         {"model", std::string(ModelName(host_.SessionOf(unit)->Model()))}};
    const Json availability = Json::array({{{"topic", StatusTopic()}}, {{"topic", base + "/availability"}}});
    const auto add = [&](const std::string& component, const std::string& object, Json config) {
        config["unique_id"] = nodeId + "_" + object;
        config["object_id"] = nodeId + "_" + object;
        config["device"] = device;
        config["availability"] = availability;
        config["availability_mode"] = "all";
        configs[discoveryPrefix_ + "/" + component + "/" + nodeId + "/" + object + "/config"] = Text(config);
    };
    for (const char* section : {"inputs", "outputs"}) {
        const std::string shortName = section[0] == 'i' ? "in" : "out";
        for (const Json& strip : strips[section]) {
            const std::string n = std::to_string(strip.value("number", 0));
            const std::string topic = base + "/" + section + "/" + n;
            const std::string title = Title(section, strip);
            add("switch", shortName + n + "_mute",
                {{"name", title + " mute"},
                 {"state_topic", topic + "/mute"},
                 {"command_topic", topic + "/mute/set"},
                 {"payload_on", "true"},
                 {"payload_off", "false"},
                 {"state_on", "true"},
                 {"state_off", "false"},
                 {"icon", "mdi:volume-off"}});
            add("number", shortName + n + "_gain",
                {{"name", title + " gain"},
                 {"state_topic", topic + "/gain"},
                 {"command_topic", topic + "/gain/set"},
                 {"min", -90},
                 {"max", 12},
                 {"step", 1},
                 {"unit_of_measurement", "dB"},
                 {"mode", "slider"}});
            add("sensor", shortName + n + "_level",
                {{"name", title + " level"},
                 {"state_topic", base + "/levels"},
                 {"value_template", "{{ value_json." + std::string(section) + "[" +
                                        std::to_string(strip.value("number", 1) - 1) + "] }}"},
                 {"state_class", "measurement"},
                 {"icon", "mdi:meter-electric"}});
        }
    }
    Json options = Json::array();
    for (int slot = 1; slot <= 40; ++slot) options.push_back(std::to_string(slot));
    add("select", "program",
        {{"name", "Program"}, {"state_topic", base + "/program"}, {"command_topic", base + "/program/set"},
         {"options", options}, {"icon", "mdi:playlist-music"}});
    add("switch", "generator",
        {{"name", "Test tone"},
         {"state_topic", base + "/generator"},
         {"command_topic", base + "/generator/set"},
         {"payload_on", "true"},
         {"payload_off", "false"},
         {"state_on", "true"},
         {"state_off", "false"},
         {"icon", "mdi:sine-wave"}});
    return configs;
}

std::vector<MqttMessage> MqttPublisher::Changes() {
    std::vector<MqttMessage> out;
    const std::map<std::string, std::string> now = State();
    // What is gone (a processor that left the rig): removed from the broker.
    for (auto it = published_.begin(); it != published_.end();) {
        if (!now.count(it->first)) {
            out.push_back({it->first, "", true});
            it = published_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& [topic, payload] : now) {
        auto [it, fresh] = published_.try_emplace(topic, payload);
        if (fresh || it->second != payload) {
            it->second = payload;
            out.push_back({topic, payload, true});
        }
    }
    // The discovery messages go first: an entity exists before its state arrives.
    std::stable_partition(out.begin(), out.end(),
                          [&](const MqttMessage& m) { return m.topic.starts_with(discoveryPrefix_ + "/"); });
    return out;
}

void MqttPublisher::Forget() { published_.clear(); }

std::vector<MqttMessage> MqttPublisher::Levels() {
    std::vector<MqttMessage> out;
    const std::vector<UnitView> units = host_.Units();
    std::set<int> seen;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (!seen.insert(units[i].id).second || !units[i].connected || units[i].lost) continue;
        std::string why;
        const auto levels = api_.LevelsJson(i, why);
        if (!levels) continue;
        const Json payload = {{"inputs", (*levels)["inputs"]}, {"outputs", (*levels)["outputs"]}};
        out.push_back({prefix_ + "/" + std::to_string(units[i].id) + "/levels", Text(payload), false});
    }
    return out;
}

std::vector<MqttMessage> MqttPublisher::Leaving() const {
    std::vector<MqttMessage> out;
    for (const auto& [topic, payload] : published_)
        if (topic.ends_with("/availability") && topic.starts_with(prefix_ + "/")) out.push_back({topic, "offline", true});
    return out;
}

std::optional<MqttCommand> MqttPublisher::ReadCommand(const std::string& topic, const std::string& payload,
                                                      std::string& error) const {
    error.clear();
    if (!topic.starts_with(prefix_ + "/") || !topic.ends_with("/set")) return std::nullopt;
    const std::vector<std::string> parts = TopicLevels(topic.substr(prefix_.size() + 1));
    // ID/what/set or ID/section/N/setting/set
    if ((parts.size() != 3 && parts.size() != 5) || !Digits(parts[0], 2)) {
        error = "no such command topic: " + topic;
        return std::nullopt;
    }
    if (payload.size() > 4096) {
        error = "a command's payload is at most 4096 bytes";
        return std::nullopt;
    }
    const std::string device = "/api/v1/devices/" + parts[0];
    const Json json = Json::parse(payload, nullptr, false);
    const std::string word = Lower(payload);
    // true, false, ON, OFF (as a home-automation switch sends them)
    const auto flag = [&]() -> std::optional<bool> {
        if (json.is_boolean()) return json.get<bool>();
        if (word == "on") return true;
        if (word == "off") return false;
        return std::nullopt;
    };
    if (parts.size() == 3) {
        if (parts[1] == "program") {
            // "2", or an option as a select sends it
            std::size_t digits = 0;
            while (digits < payload.size() && std::isdigit(static_cast<unsigned char>(payload[digits]))) ++digits;
            if (!Digits(payload.substr(0, digits), 2)) {
                error = "program/set takes a program number, 1 to 40";
                return std::nullopt;
            }
            return MqttCommand{"POST", device + "/programs/" + payload.substr(0, digits) + "/recall", ""};
        }
        if (parts[1] == "generator") {
            const auto on = flag();
            if (!on) {
                error = "generator/set takes true or false";
                return std::nullopt;
            }
            return MqttCommand{"PUT", device + "/generator", Text(Json{{"running", *on}})};
        }
        error = "no such command topic: " + topic;
        return std::nullopt;
    }
    if ((parts[1] != "inputs" && parts[1] != "outputs") || !Digits(parts[2], 2)) {
        error = "no such command topic: " + topic;
        return std::nullopt;
    }
    const std::string path = device + "/" + parts[1] + "/" + parts[2] + "/" + parts[3];
    Json body;
    if (json.is_object()) {
        body = json; // {"step": -3}, {"toggle": true}, a filter's fields
    } else if (parts[3] == "mute" && word == "toggle") {
        body = {{"toggle", true}};
    } else if (parts[3] == "mute" && flag()) {
        body = {{"value", *flag()}};
    } else if (!json.is_discarded() && !json.is_array()) {
        body = {{"value", json}};
    } else {
        body = {{"value", payload}}; // a text as it is: a name, "inverted"
    }
    return MqttCommand{"PUT", path, Text(body)};
}

} // namespace quellmarin::remote
