// A small HTTP/1.1 client for the command-line tool's --server: one request on a fresh connection
// to an http:// address, within a time limit, the answer read whole (up to a size no answer of the
// server reaches).
#pragma once

#include <optional>
#include <string>

namespace quellmarin::remote {

// The "HOST[:PORT]" of an address ("rack.local", "127.0.0.1:8470", "[::1]", "[::1]:1883"): the host,
// and the port when one is given. `colonOnly` tells a colon with no port after it ("host:"). False
// for a bracket left open, anything after it but ":PORT", an empty host, or a port outside 1..65535.
bool SplitHostPort(const std::string& text, std::string& host, std::optional<int>& port, bool& colonOnly);

struct HttpUrl {
    std::string host; // "127.0.0.1", "::1", "rack.local"
    int port = 80;
    std::string base; // the path the URL names, without a trailing "/" ("" or "/quellmarin")
};
// "http://HOST[:PORT][/PATH]"; nothing with the reason for anything else (https among them).
std::optional<HttpUrl> ParseHttpUrl(const std::string& text, std::string& error);

struct HttpAnswer {
    int status = 0;
    std::string body;
};
// Sends the request and reads the answer; nothing, with the reason, when the server cannot be reached
// or does not answer within `timeoutMs`.
std::optional<HttpAnswer> HttpExchange(const HttpUrl& url, const std::string& method, const std::string& path,
                                       const std::string& token, const std::string& body, int timeoutMs,
                                       std::string& error);

} // namespace quellmarin::remote
