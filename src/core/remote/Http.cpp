#include "remote/Http.h"

#include <algorithm>
#include <cctype>

namespace quellmarin::remote {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The characters of a token (a method, a header name).
bool TokenChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool Token(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), TokenChar); }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

HttpParse Refuse(int status, std::string reason) {
    HttpParse p;
    p.status = HttpParse::Status::Refused;
    p.refusal = status;
    p.reason = std::move(reason);
    return p;
}

// Whether a comma-separated header value holds `word` (in any case).
bool ListHas(std::string_view value, std::string_view word) {
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        if (Lower(Trim(value.substr(start, comma - start))) == word) return true;
        start = comma + 1;
    }
    return false;
}

} // namespace

std::string HttpRequest::Header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (n == name) return v;
    return {};
}

bool HttpRequest::Has(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return h.first == name; });
}

bool HttpRequest::KeepAlive() const {
    const std::string connection = Header("connection");
    if (ListHas(connection, "close")) return false;
    return !http10 || ListHas(connection, "keep-alive");
}

bool HttpRequest::WantsWebSocket() const {
    return ListHas(Header("upgrade"), "websocket") && ListHas(Header("connection"), "upgrade");
}

bool PercentDecode(std::string_view in, std::string& out) {
    out.clear();
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '%') {
            if (i + 2 >= in.size()) return false;
            const int hi = hex(in[i + 1]), lo = hex(in[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        out += c;
    }
    return true;
}

HttpParse ParseHttpRequest(std::string_view bytes, const HttpLimits& limits) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        if (bytes.size() > limits.maxHeaderBytes) return Refuse(431, "the request header is too large");
        // A request line that can already be seen to be wrong is refused without waiting for more.
        const std::size_t lineEnd = bytes.find("\r\n");
        if (lineEnd == std::string_view::npos && bytes.size() > limits.maxTargetBytes + 32)
            return Refuse(414, "the request line is too long");
        return {};
    }
    if (end + 4 > limits.maxHeaderBytes) return Refuse(431, "the request header is too large");
    const std::string_view head = bytes.substr(0, end + 2);

    HttpParse parse;
    HttpRequest& r = parse.request;
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return Refuse(400, "the request line is not METHOD TARGET VERSION");
    r.method = std::string(line.substr(0, sp1));
    r.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    const std::string_view version = line.substr(sp2 + 1);
    if (!Token(r.method)) return Refuse(400, "the method is not a word");
    if (version == "HTTP/1.0") {
        r.http10 = true;
    } else if (version != "HTTP/1.1") {
        return Refuse(505, "only HTTP/1.1 and HTTP/1.0 are spoken here");
    }
    if (r.target.size() > limits.maxTargetBytes) return Refuse(414, "the request target is too long");
    if (r.target.empty() || r.target[0] != '/') return Refuse(400, "the request target is not a path");
    for (char c : r.target)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            return Refuse(400, "the request target holds a character it may not");
    const std::size_t q = r.target.find('?');
    if (q != std::string::npos) r.query = r.target.substr(q + 1);
    if (r.target.find('#') != std::string::npos) return Refuse(400, "the request target holds a fragment");
    if (!PercentDecode(std::string_view(r.target).substr(0, q), r.path))
        return Refuse(400, "the request path holds a broken escape");

    while (lineEnd + 2 < head.size()) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string_view h = head.substr(start, lineEnd - start);
        if (h.empty()) break;
        if (h.front() == ' ' || h.front() == '\t') return Refuse(400, "a header is folded over two lines");
        const std::size_t colon = h.find(':');
        if (colon == std::string_view::npos || !Token(h.substr(0, colon)))
            return Refuse(400, "a header line is not NAME: VALUE");
        const std::string_view value = Trim(h.substr(colon + 1));
        for (char c : value)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
                return Refuse(400, "a header value holds a control character");
        if (r.headers.size() >= limits.maxHeaderCount) return Refuse(431, "the request has too many headers");
        r.headers.emplace_back(Lower(h.substr(0, colon)), std::string(value));
    }
    // No line ends inside the header but at CRLF.
    if (head.find('\n') != std::string_view::npos) {
        for (std::size_t i = head.find('\n'); i != std::string_view::npos; i = head.find('\n', i + 1))
            if (i == 0 || head[i - 1] != '\r') return Refuse(400, "a line of the header does not end in CRLF");
    }
    if (head.find('\r') != std::string_view::npos) {
        for (std::size_t i = head.find('\r'); i != std::string_view::npos; i = head.find('\r', i + 1))
            if (i + 1 >= head.size() || head[i + 1] != '\n')
                return Refuse(400, "a line of the header does not end in CRLF");
    }

    if (!r.http10) {
        const auto hosts = std::count_if(r.headers.begin(), r.headers.end(), [](const auto& h) { return h.first == "host"; });
        if (hosts != 1) return Refuse(400, "an HTTP/1.1 request names its host once");
    }
    if (r.Has("transfer-encoding")) return Refuse(501, "a body must come with its length, not chunked");
    std::size_t length = 0;
    bool haveLength = false;
    for (const auto& [name, value] : r.headers) {
        if (name != "content-length") continue;
        if (value.empty() || value.size() > 12 || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return Refuse(400, "the body length is not a number");
        const std::size_t n = std::stoull(value);
        if (haveLength && n != length) return Refuse(400, "the body length is given twice");
        length = n;
        haveLength = true;
    }
    if (length > limits.maxBodyBytes) return Refuse(413, "the body is larger than " + std::to_string(limits.maxBodyBytes) + " bytes");
    parse.headerComplete = true;
    const std::size_t bodyStart = end + 4;
    if (bytes.size() - bodyStart < length) return parse;
    r.body = std::string(bytes.substr(bodyStart, length));
    parse.consumed = bodyStart + length;
    parse.status = HttpParse::Status::Complete;
    return parse;
}

std::string_view ReasonPhrase(int status) {
    switch (status) {
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 415: return "Unsupported Media Type";
    case 421: return "Misdirected Request";
    case 422: return "Unprocessable Content";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

std::string HttpResponseText(int status, std::string_view contentType, std::string_view body,
                             const std::vector<std::pair<std::string, std::string>>& headers, bool close) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + ' ' + std::string(ReasonPhrase(status)) + "\r\n";
    for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
    if (!contentType.empty()) out += "Content-Type: " + std::string(contentType) + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (close) out += "Connection: close\r\n";
    out += "\r\n";
    out += body;
    return out;
}

} // namespace quellmarin::remote
