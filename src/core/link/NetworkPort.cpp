#include "link/NetworkPort.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quellmarin {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

bool HostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

std::nullopt_t Refuse(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return std::nullopt;
}

} // namespace

bool IsNetworkPort(std::string_view name) {
    return StartsWithNoCase(name, kTcpScheme) || StartsWithNoCase(name, kRfc2217Scheme);
}

std::optional<NetworkAddress> ParseNetworkPort(std::string_view name, std::string* why) {
    NetworkAddress a;
    std::string_view rest;
    if (StartsWithNoCase(name, kTcpScheme)) {
        a.kind = NetworkKind::RawTcp;
        rest = name.substr(kTcpScheme.size());
    } else if (StartsWithNoCase(name, kRfc2217Scheme)) {
        a.kind = NetworkKind::Rfc2217;
        rest = name.substr(kRfc2217Scheme.size());
    } else {
        return Refuse(why, "a network port starts with tcp:// or rfc2217://");
    }
    const std::string shape = "give it as HOST:PORT, for example " + std::string(name.substr(0, name.size() - rest.size())) +
                              "192.168.1.20:4001";
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    std::string_view host, port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return Refuse(why, "an IPv6 address goes in brackets followed by the port: [::1]:4001");
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
        if (host.empty() || !std::all_of(host.begin(), host.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
            }))
            return Refuse(why, "\"" + std::string(host) + "\" is not an IPv6 address");
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) return Refuse(why, "the port number is missing: " + shape);
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.empty()) return Refuse(why, "the host is missing: " + shape);
        if (host.find(':') != std::string_view::npos)
            return Refuse(why, "an IPv6 address goes in brackets followed by the port: [::1]:4001");
        if (!std::all_of(host.begin(), host.end(), HostCharacter))
            return Refuse(why, "\"" + std::string(host) + "\" is not a host name or address");
    }
    if (host.size() > 253) return Refuse(why, "the host name is longer than 253 characters");
    int number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || error != std::errc{} || end != port.data() + port.size() || number < 1 || number > 65535)
        return Refuse(why, "the port number must be 1 to 65535: " + shape);
    a.host = Lower(host);
    a.port = number;
    return a;
}

std::string HostAndPort(const NetworkAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::string NetworkPortName(const NetworkAddress& address) {
    return std::string(address.kind == NetworkKind::RawTcp ? kTcpScheme : kRfc2217Scheme) + HostAndPort(address);
}

} // namespace quellmarin
