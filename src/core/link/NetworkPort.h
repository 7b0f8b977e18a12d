// Ports behind a network serial server, named like any other port: "tcp://HOST:PORT" is a raw byte
// stream whose line settings are the server's; "rfc2217://HOST:PORT" is Telnet with the COM-port
// option, through which the program sets the line itself. HOST is a name, an IPv4 address or an
// IPv6 address in brackets ("rfc2217://[::1]:2217").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

enum class NetworkKind { RawTcp, Rfc2217 };

inline constexpr std::string_view kTcpScheme = "tcp://";
inline constexpr std::string_view kRfc2217Scheme = "rfc2217://";

struct NetworkAddress {
    NetworkKind kind = NetworkKind::RawTcp;
    std::string host; // without brackets
    int port = 0;
    bool operator==(const NetworkAddress&) const = default;
};

// Whether a port name is meant as a network port (starts with one of the schemes, in any case).
bool IsNetworkPort(std::string_view name);

// The address of a network port name; nothing, with `why` set, when it is not a usable one.
std::optional<NetworkAddress> ParseNetworkPort(std::string_view name, std::string* why = nullptr);

// The name of an address in its one spelling (lower-case scheme and host, brackets around IPv6).
std::string NetworkPortName(const NetworkAddress& address);

// "host:port" as the user types it in the list of network ports, with the kind beside it.
std::string HostAndPort(const NetworkAddress& address);

} // namespace quellmarin
