// HTTP/1.1 requests as the remote-control server takes them: one request parsed from the bytes a
// client sent so far, within limits on the header, the number of headers and the body, and strict
// about what is ambiguous (a body length given twice, a chunked body, a header folded over lines),
// so that nothing reaches the API that two readers could take differently.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quellmarin::remote {

struct HttpLimits {
    std::size_t maxHeaderBytes = 8 * 1024;
    std::size_t maxHeaderCount = 64;
    std::size_t maxTargetBytes = 2048;
    std::size_t maxBodyBytes = 64 * 1024;
};

struct HttpRequest {
    std::string method;
    std::string target;              // as sent: "/api/v1/devices?x=1"
    std::string path;                // decoded, without the query: "/api/v1/devices"
    std::string query;               // after the "?", as sent
    bool http10 = false;
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    std::string body;

    // The value of the first header of that (lower-case) name, empty when there is none.
    std::string Header(std::string_view name) const;
    bool Has(std::string_view name) const;
    // Whether the connection stays open after the answer.
    bool KeepAlive() const;
    // "Upgrade: websocket" with "Connection: Upgrade".
    bool WantsWebSocket() const;
};

struct HttpParse {
    enum class Status { NeedMore, Complete, Refused };
    Status status = Status::NeedMore;
    // While more is needed: whether the header is complete (what follows is the body).
    bool headerComplete = false;
    // Refused: the status to answer (400, 413, 431, 501, 505) and why.
    int refusal = 0;
    std::string reason;
    // Complete: the request, and how many bytes it took (a next request may follow).
    HttpRequest request;
    std::size_t consumed = 0;
};

// Parses the request at the start of `bytes`.
HttpParse ParseHttpRequest(std::string_view bytes, const HttpLimits& limits = {});

// "%2F" and the like decoded; false for a broken escape or one that decodes to a control character.
bool PercentDecode(std::string_view in, std::string& out);

// "OK", "Not Found" ...
std::string_view ReasonPhrase(int status);

// A whole response: status line, the headers given, Content-Type and Content-Length, and the body.
std::string HttpResponseText(int status, std::string_view contentType, std::string_view body,
                             const std::vector<std::pair<std::string, std::string>>& headers = {}, bool close = false);

} // namespace quellmarin::remote
