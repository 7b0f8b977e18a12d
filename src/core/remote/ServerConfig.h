// The headless server's configuration: a file of "key = value" lines ("#" starts a comment), which
// the command line then adds to or overrides.
#pragma once

#include "remote/Tokens.h"

#include <string>
#include <string_view>
#include <vector>

namespace quellmarin::remote {

inline constexpr int kDefaultApiPort = 8470;

// The bridge to an MQTT broker: off while `url` is empty.
struct MqttConfig {
    std::string url;              // mqtt = mqtt://broker.local:1883 or mqtts://...
    std::string user;             // mqtt-user = quellmarin
    std::string passwordFile;     // mqtt-password-file = /etc/quellmarin/mqtt-password (its first line)
    std::string prefix;           // mqtt-prefix = quellmarin/hall (default quellmarin/HOSTNAME)
    Role role = Role::Operator;   // mqtt-role = operator: what commands from the broker may do
    int levelsPerSecond = 1;      // mqtt-levels = 1 (0: no levels)
    std::string caFile, certFile, keyFile; // mqtt-ca, mqtt-cert, mqtt-key (TLS; a client certificate)
};

// A topic prefix: levels without wildcards, no empty level.
bool MqttPrefixValid(const std::string& prefix);

struct ServerConfig {
    std::vector<std::string> ports;    // port = /dev/ttyUSB0 (again for more)
    std::vector<int> ids;              // id = 1 (again for more; none: every processor found)
    std::string listen = "127.0.0.1:" + std::to_string(kDefaultApiPort);
    std::string tlsCert, tlsKey;
    bool insecure = false;
    std::string stateDir;
    std::string showFile;              // show-file = /etc/quellmarin/hall.json: the rig's processors
    std::vector<std::string> hostNames; // host-name = rack.example (names requests may use)
    bool virtualProcessor = false;     // virtual = yes: the built-in virtual processor
    // Limits: connections (HTTP and WebSocket) from one client address, and requests a second of one
    // token (with bursts of twice as many).
    int connectionsPerAddress = 32;    // connections-per-address = 32
    int requestsPerSecond = 20;        // requests-per-second = 20
    MqttConfig mqtt;
};

// Reads a configuration file's text into `config`; false with the line and the reason.
bool ReadServerConfig(std::string_view text, ServerConfig& config, std::string& error);

// "127.0.0.1:8470", "[::1]:8470", "0.0.0.0:8470" or just "8470" (loopback).
bool SplitListen(const std::string& text, std::string& address, int& port, std::string& error);

} // namespace quellmarin::remote
