#include "remote/ServerConfig.h"

#include "remote/Mqtt.h"

#include <algorithm>
#include <cctype>

namespace quellmarin::remote {

namespace {

std::string Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

bool Number(const std::string& s, int low, int high, int& out) {
    if (s.empty() || s.size() > 5 || !std::all_of(s.begin(), s.end(), ::isdigit)) return false;
    out = std::stoi(s);
    return out >= low && out <= high;
}

} // namespace

bool MqttPrefixValid(const std::string& prefix) {
    return !prefix.empty() && prefix.size() <= 200 && prefix.find_first_of("+#") == std::string::npos &&
           prefix.front() != '/' && prefix.back() != '/' && prefix.find("//") == std::string::npos &&
           std::none_of(prefix.begin(), prefix.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool SplitListen(const std::string& text, std::string& address, int& port, std::string& error) {
    error = "the listen address is ADDRESS:PORT (127.0.0.1:8470, [::1]:8470) or a port, not \"" + text + "\"";
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find("]:");
        if (close == std::string::npos) return false;
        address = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        address = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (address.find(':') != std::string::npos) return false; // IPv6 goes in brackets
    } else {
        address = "127.0.0.1";
        portText = text;
    }
    if (address.empty() || !Number(portText, 0, 65535, port)) return false;
    error.clear();
    return true;
}

bool ReadServerConfig(std::string_view text, ServerConfig& config, std::string& error) {
    int lineNo = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line(text.substr(start, end - start));
        start = end + 1;
        ++lineNo;
        if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        line = Trim(line);
        if (line.empty()) continue;
        const auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        };
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("a line is KEY = VALUE");
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        const auto yes = [&](bool& flag) {
            if (value == "yes" || value == "true" || value == "on") flag = true;
            else if (value == "no" || value == "false" || value == "off") flag = false;
            else return fail(key + " is yes or no, not " + value);
            return true;
        };
        if (key == "port") {
            if (value.empty()) return fail("port names a serial port or tcp://HOST:PORT");
            config.ports.push_back(value);
        } else if (key == "id") {
            int id = 0;
            if (!Number(value, 1, 99, id)) return fail("an id is 1 to 99, not " + value);
            config.ids.push_back(id);
        } else if (key == "listen") {
            std::string address, why;
            int port = 0;
            if (!SplitListen(value, address, port, why)) return fail(why);
            config.listen = value;
        } else if (key == "tls-cert") {
            config.tlsCert = value;
        } else if (key == "tls-key") {
            config.tlsKey = value;
        } else if (key == "insecure") {
            if (!yes(config.insecure)) return false;
        } else if (key == "virtual") {
            if (!yes(config.virtualProcessor)) return false;
        } else if (key == "state-dir") {
            config.stateDir = value;
        } else if (key == "connections-per-address") {
            if (!Number(value, 1, 10000, config.connectionsPerAddress))
                return fail("connections-per-address is 1 to 10000, not " + value);
        } else if (key == "requests-per-second") {
            if (!Number(value, 1, 10000, config.requestsPerSecond))
                return fail("requests-per-second is 1 to 10000, not " + value);
        } else if (key == "show-file") {
            if (value.empty()) return fail("show-file names a show file");
            config.showFile = value;
        } else if (key == "host-name") {
            config.hostNames.push_back(value);
        } else if (key == "mqtt") {
            std::string why;
            if (!ParseMqttUrl(value, why)) return fail(why);
            config.mqtt.url = value;
        } else if (key == "mqtt-user") {
            config.mqtt.user = value;
        } else if (key == "mqtt-password-file") {
            config.mqtt.passwordFile = value;
        } else if (key == "mqtt-prefix") {
            if (!MqttPrefixValid(value)) return fail("mqtt-prefix is topic levels without + or #, not " + value);
            config.mqtt.prefix = value;
        } else if (key == "mqtt-role") {
            const auto role = ParseRole(value);
            if (!role) return fail("mqtt-role is viewer, operator or installer, not " + value);
            config.mqtt.role = *role;
        } else if (key == "mqtt-levels") {
            if (!Number(value, 0, 10, config.mqtt.levelsPerSecond))
                return fail("mqtt-levels is 0 (none) to 10 a second, not " + value);
        } else if (key == "mqtt-ca") {
            config.mqtt.caFile = value;
        } else if (key == "mqtt-cert") {
            config.mqtt.certFile = value;
        } else if (key == "mqtt-key") {
            config.mqtt.keyFile = value;
        } else {
            return fail("no setting named " + key);
        }
    }
    return true;
}

} // namespace quellmarin::remote
