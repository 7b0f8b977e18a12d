#include "remote/HttpClient.h"

#include "remote/Http.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quellmarin::remote {

bool SplitHostPort(const std::string& text, std::string& host, std::optional<int>& port, bool& colonOnly) {
    port.reset();
    colonOnly = false;
    std::string portText;
    bool colon = false;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) return false;
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') return false;
            colon = true;
            portText = text.substr(close + 2);
        }
    } else {
        const std::size_t at = text.find(':');
        host = text.substr(0, at);
        if (at != std::string::npos) {
            colon = true;
            portText = text.substr(at + 1);
        }
    }
    if (host.empty()) return false;
    colonOnly = colon && portText.empty();
    if (!portText.empty()) {
        if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), ::isdigit)) return false;
        port = std::stoi(portText);
        if (*port < 1 || *port > 65535) return false;
    }
    return true;
}

std::optional<HttpUrl> ParseHttpUrl(const std::string& text, std::string& error) {
    error = "the server is http://HOST:PORT (http://127.0.0.1:8470), not " + text;
    if (text.starts_with("https://")) {
        error = "the command-line tool speaks plain http to a server on this machine or a trusted line; "
                "https is not built in (" + text + ")";
        return std::nullopt;
    }
    if (!text.starts_with("http://")) return std::nullopt;
    std::string rest = text.substr(7);
    HttpUrl url;
    const std::size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        url.base = rest.substr(slash);
        rest.erase(slash);
        while (!url.base.empty() && url.base.back() == '/') url.base.pop_back();
    }
    std::optional<int> port;
    bool colonOnly = false;
    if (!SplitHostPort(rest, url.host, port, colonOnly)) return std::nullopt;
    if (port) url.port = *port;
    error.clear();
    return url;
}

std::optional<HttpAnswer> HttpExchange(const HttpUrl& url, const std::string& method, const std::string& path,
                                       const std::string& token, const std::string& body, int timeoutMs,
                                       std::string& error) {
#if defined(_WIN32)
    (void)url, (void)method, (void)path, (void)token, (void)body, (void)timeoutMs;
    error = "--server is not built into the Windows tool";
    return std::nullopt;
#else
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto left = [&] {
        return static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    };
    const std::string where = url.host + ":" + std::to_string(url.port);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(url.host.c_str(), std::to_string(url.port).c_str(), &hints, &found) != 0 || !found) {
        error = "cannot find the server " + url.host;
        return std::nullopt;
    }
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            ::close(fd);
            fd = -1;
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::poll(&p, 1, left()) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        error = "no server answers on " + where;
        return std::nullopt;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const bool v6 = url.host.find(':') != std::string::npos;
    std::string request = method + " " + url.base + path + " HTTP/1.1\r\nHost: " + (v6 ? "[" + url.host + "]" : url.host) +
                          ":" + std::to_string(url.port) + "\r\n";
    if (!token.empty()) request += "Authorization: Bearer " + token + "\r\n";
    if (!body.empty()) request += "Content-Type: application/json\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    std::size_t sent = 0;
    while (sent < request.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, left()) != 1) break;
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string got;
    constexpr std::size_t kLimit = 16 << 20;
    char buffer[16384];
    bool complete = false;
    while (!complete && got.size() < kLimit) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, left()) != 1) break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            complete = true;
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
        // Done once the length the header names has come.
        const std::size_t end = got.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        std::string head = got.substr(0, end);
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::size_t at = head.find("\r\ncontent-length:");
        if (at != std::string::npos && got.size() >= end + 4 + std::stoul(head.substr(at + 17))) complete = true;
    }
    ::close(fd);
    if (!got.starts_with("HTTP/1.") || got.size() < 12) {
        error = sent < request.size() ? "the server " + where + " took no request" : "no answer from " + where;
        return std::nullopt;
    }
    HttpAnswer answer;
    answer.status = std::atoi(got.c_str() + 9);
    const std::size_t end = got.find("\r\n\r\n");
    if (end != std::string::npos) answer.body = got.substr(end + 4);
    return answer;
#endif
}

} // namespace quellmarin::remote
