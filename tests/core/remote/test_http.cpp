// The request parser, the token store, the hash, the rate limit and the server's configuration.
#include "remote/Audit.h"
#include "remote/Http.h"
#include "remote/ServerConfig.h"
#include "remote/Sha256.h"
#include "remote/Tokens.h"

#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace quellmarin;
using namespace quellmarin::remote;

namespace {

HttpParse Parse(const std::string& text, const HttpLimits& limits = {}) { return ParseHttpRequest(text, limits); }

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(HttpParser, ReadsARequestWithItsBodyAndLeavesTheNextOne) {
    const std::string first = "PUT /api/v1/devices/1/outputs/3/gain?x=1 HTTP/1.1\r\nHost: localhost:8470\r\n"
                              "Authorization: Bearer qm_1\r\nContent-Length: 13\r\n\r\n{\"value\": -6}";
    const std::string second = "GET /api/v1/devices HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    const HttpParse p = Parse(first + second);
    ASSERT_EQ(p.status, HttpParse::Status::Complete);
    EXPECT_EQ(p.request.method, "PUT");
    EXPECT_EQ(p.request.path, "/api/v1/devices/1/outputs/3/gain");
    EXPECT_EQ(p.request.query, "x=1");
    EXPECT_EQ(p.request.Header("authorization"), "Bearer qm_1");
    EXPECT_EQ(p.request.body, "{\"value\": -6}");
    EXPECT_TRUE(p.request.KeepAlive());
    ASSERT_EQ(p.consumed, first.size());
    const HttpParse q = Parse(second);
    ASSERT_EQ(q.status, HttpParse::Status::Complete);
    EXPECT_FALSE(q.request.KeepAlive());

    // Every cut of the first request waits for more, never takes a part of it.
    for (std::size_t cut = 0; cut < first.size(); ++cut)
        ASSERT_EQ(Parse(first.substr(0, cut)).status, HttpParse::Status::NeedMore) << cut;
    EXPECT_TRUE(Parse(first.substr(0, first.size() - 2)).headerComplete);
}

TEST(HttpParser, RefusesWhatTwoReadersCouldTakeDifferently) {
    const auto refusal = [](const std::string& text) {
        const HttpParse p = Parse(text);
        return p.status == HttpParse::Status::Refused ? p.refusal : 0;
    };
    const std::string host = "Host: localhost\r\n";
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n\r\n"), 400) << "no Host";
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n" + host + host + "\r\n"), 400) << "two Hosts";
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n"), 501);
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\n" + host + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd"), 400);
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\n" + host + "Content-Length: -3\r\n\r\n"), 400);
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\n" + host + "Content-Length: 0x10\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n" + host + "X: a\r\n b\r\n\r\n"), 400) << "folded";
    EXPECT_EQ(refusal("GET / HTTP/1.1\n" + host + "\r\n\r\n"), 400) << "bare LF";
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n" + host + "X: a\rb\r\n\r\n"), 400) << "bare CR";
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n" + host + "X: a\x01" "b\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n" + host + "Bad Name: a\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET http://evil/ HTTP/1.1\r\n" + host + "\r\n"), 400);
    EXPECT_EQ(refusal("GET /a%00b HTTP/1.1\r\n" + host + "\r\n"), 400);
    EXPECT_EQ(refusal("GET /a%G0 HTTP/1.1\r\n" + host + "\r\n"), 400);
    EXPECT_EQ(refusal("GET /a% HTTP/1.1\r\n" + host + "\r\n"), 400);
    EXPECT_EQ(refusal("GET /#x HTTP/1.1\r\n" + host + "\r\n"), 400);
    EXPECT_EQ(refusal("GET / HTTP/2.0\r\n" + host + "\r\n"), 505);
    EXPECT_EQ(refusal("GET  / HTTP/1.1\r\n" + host + "\r\n"), 400);
    EXPECT_EQ(refusal("G(T / HTTP/1.1\r\n" + host + "\r\n"), 400);
    // HTTP/1.0 needs no Host and closes unless asked to stay.
    const HttpParse old = Parse("GET /a%2Fb HTTP/1.0\r\n\r\n");
    ASSERT_EQ(old.status, HttpParse::Status::Complete);
    EXPECT_EQ(old.request.path, "/a/b");
    EXPECT_FALSE(old.request.KeepAlive());
}

TEST(HttpParser, KeepsItsLimitsBeforeTheBytesArrive) {
    HttpLimits limits;
    limits.maxBodyBytes = 1000;
    // A 10 MB body is refused from its header alone.
    const HttpParse big = Parse("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 10485760\r\n\r\n", limits);
    EXPECT_EQ(big.refusal, 413);
    EXPECT_EQ(Parse("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999\r\n\r\n").refusal, 400);
    // A header that never ends is refused once it passes the limit.
    EXPECT_EQ(Parse("GET / HTTP/1.1\r\nHost: x\r\nX: " + std::string(9000, 'a')).refusal, 431);
    std::string many = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 70; ++i) many += "X" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(Parse(many + "\r\n").refusal, 431);
    EXPECT_EQ(Parse("GET /" + std::string(3000, 'a')).refusal, 414);
    EXPECT_EQ(Parse("GET /" + std::string(3000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n").refusal, 414);
}

TEST(HttpParser, KnowsAWebSocketUpgrade) {
    const HttpParse p = Parse("GET /api/v1/ws HTTP/1.1\r\nHost: x\r\nUpgrade: WebSocket\r\nConnection: keep-alive, Upgrade\r\n\r\n");
    ASSERT_EQ(p.status, HttpParse::Status::Complete);
    EXPECT_TRUE(p.request.WantsWebSocket());
    EXPECT_FALSE(Parse("GET / HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\n\r\n").request.WantsWebSocket());
    const std::string response = HttpResponseText(404, "application/json", "{}", {{"X-A", "1"}}, true);
    EXPECT_EQ(response, "HTTP/1.1 404 Not Found\r\nX-A: 1\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                        "Connection: close\r\n\r\n{}");
}

TEST(Sha256, MatchesTheStandardsVectors) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_TRUE(ConstantTimeEqual("abc", "abc"));
    EXPECT_FALSE(ConstantTimeEqual("abc", "abd"));
    EXPECT_FALSE(ConstantTimeEqual("abc", "ab"));
}

TEST(TokenStore, KeepsOnlySaltedHashesAndForgetsARevokedToken) {
    test::TempDir dir;
    const auto file = dir / "state" / "tokens.json";
    std::string error;
    TokenStore store(file);
    ASSERT_EQ(store.Load(), "") << "a missing file holds no tokens";
    const auto op = store.Add("stage-tablet", Role::Operator, error);
    const auto inst = store.Add("installer", Role::Installer, error);
    ASSERT_TRUE(op && inst) << error;
    EXPECT_EQ(op->size(), 3u + 48u);
    EXPECT_NE(*op, *inst);
    const std::string text = ReadAll(file);
    EXPECT_EQ(text.find(*op), std::string::npos) << "the secret is never stored";
    EXPECT_EQ(text.find(op->substr(3)), std::string::npos);
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    EXPECT_FALSE(store.Add("installer", Role::Viewer, error)) << "a name in use";
    EXPECT_FALSE(store.Add("", Role::Viewer, error));
    EXPECT_FALSE(store.Add("has space", Role::Viewer, error));
    EXPECT_FALSE(store.Add(std::string(33, 'a'), Role::Viewer, error));

    TokenStore again(file);
    ASSERT_EQ(again.Load(), "");
    ASSERT_EQ(again.List().size(), 2u);
    const auto who = again.Verify(*op);
    ASSERT_TRUE(who);
    EXPECT_EQ(who->name, "stage-tablet");
    EXPECT_EQ(who->role, Role::Operator);
    EXPECT_FALSE(again.Verify(op->substr(0, op->size() - 1) + "x"));
    EXPECT_FALSE(again.Verify(""));
    ASSERT_TRUE(again.Revoke("stage-tablet", error));
    EXPECT_FALSE(again.Verify(*op));
    EXPECT_FALSE(again.Revoke("stage-tablet", error));
    TokenStore third(file);
    third.Load();
    EXPECT_FALSE(third.Verify(*op)) << "the revocation is kept in the file";
    EXPECT_TRUE(third.Verify(*inst));

    // A running server sees a token added or revoked by another process at its next request.
    const auto late = again.Add("late", Role::Viewer, error);
    ASSERT_TRUE(late) << error;
    EXPECT_TRUE(third.Verify(*late));
    ASSERT_TRUE(again.Revoke("installer", error));
    EXPECT_FALSE(third.Verify(*inst));
}

TEST(TokenStore, RefusesADamagedFileWhole) {
    test::TempDir dir;
    const auto file = dir / "tokens.json";
    for (const char* text : {"{", "[]", R"({"tokens": [{"name": "a", "role": "boss", "salt": "00", "hash": "00"}]})",
                             R"({"tokens": [{"name": "a", "role": "viewer", "salt": "zz", "hash": "00"}]})"}) {
        std::ofstream(file) << text;
        TokenStore store(file);
        EXPECT_NE(store.Load(), "") << text;
        EXPECT_TRUE(store.List().empty());
    }
}

TEST(RateLimiter, LetsABurstThroughThenTheRate) {
    RateLimiter limit(10, 3);
    EXPECT_TRUE(limit.Take(0));
    EXPECT_TRUE(limit.Take(0));
    EXPECT_TRUE(limit.Take(0));
    EXPECT_FALSE(limit.Take(0.01));
    EXPECT_TRUE(limit.Take(0.11));
    EXPECT_FALSE(limit.Take(0.12));
    EXPECT_TRUE(limit.Take(10));
}

TEST(ServerConfig, ReadsTheFileAndNamesTheLineOfAMistake) {
    ServerConfig c;
    std::string error;
    ASSERT_TRUE(ReadServerConfig("# the rack\nport = /dev/ttyUSB0\nport=tcp://127.0.0.1:4001 # the second\n"
                                 "id = 1\nid = 2\nlisten = [::1]:9000\ninsecure = no\nhost-name = rack.local\n"
                                 "connections-per-address = 100\n\n",
                                 c, error))
        << error;
    EXPECT_EQ(c.ports, (std::vector<std::string>{"/dev/ttyUSB0", "tcp://127.0.0.1:4001"}));
    EXPECT_EQ(c.ids, (std::vector<int>{1, 2}));
    EXPECT_EQ(c.listen, "[::1]:9000");
    EXPECT_EQ(c.hostNames, (std::vector<std::string>{"rack.local"}));
    EXPECT_EQ(c.connectionsPerAddress, 100);
    EXPECT_EQ(c.requestsPerSecond, 20);
    EXPECT_TRUE(c.mqtt.url.empty()); // no bridge unless one is named
    ServerConfig m;
    ASSERT_TRUE(ReadServerConfig("mqtt = mqtts://broker.local\nmqtt-user = rack\nmqtt-password-file = /etc/q/pw\n"
                                 "mqtt-prefix = venue/hall\nmqtt-role = installer\nmqtt-levels = 0\nmqtt-ca = /etc/q/ca.crt\n",
                                 m, error))
        << error;
    EXPECT_EQ(m.mqtt.url, "mqtts://broker.local");
    EXPECT_EQ(m.mqtt.user, "rack");
    EXPECT_EQ(m.mqtt.passwordFile, "/etc/q/pw");
    EXPECT_EQ(m.mqtt.prefix, "venue/hall");
    EXPECT_EQ(m.mqtt.role, Role::Installer);
    EXPECT_EQ(m.mqtt.levelsPerSecond, 0);
    EXPECT_EQ(m.mqtt.caFile, "/etc/q/ca.crt");
    for (const auto& [text, line] : std::vector<std::pair<std::string, std::string>>{
             {"id = 0", "line 1"}, {"\nlisten = 1.2.3.4", "line 2"}, {"colour = red", "line 1"},
             {"insecure = maybe", "line 1"}, {"port", "line 1"}, {"requests-per-second = 0", "line 1"},
             {"mqtt = tcp://broker:1883", "line 1"}, {"mqtt-prefix = a/#", "line 1"}, {"mqtt-role = admin", "line 1"},
             {"mqtt-levels = 20", "line 1"}}) {
        ServerConfig d;
        EXPECT_FALSE(ReadServerConfig(text, d, error)) << text;
        EXPECT_TRUE(error.starts_with(line)) << error;
    }
    std::string address;
    int port = 0;
    ASSERT_TRUE(SplitListen("8471", address, port, error));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, 8471);
    ASSERT_TRUE(SplitListen("[::1]:80", address, port, error));
    EXPECT_EQ(address, "::1");
    EXPECT_FALSE(SplitListen("::1:80", address, port, error));
    EXPECT_FALSE(SplitListen("127.0.0.1:70000", address, port, error));
}

TEST(AuditLog, AppendsOneJsonLineAnEntry) {
    test::TempDir dir;
    AuditLog log(dir / "audit.jsonl", 2);
    log.Append({{"token", "a"}, {"setting", "out 3 gain"}});
    log.Append({{"token", "b\n\"x"}});
    log.Append({{"token", "c"}});
    const std::string text = ReadAll(dir / "audit.jsonl");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto j = nlohmann::json::parse(line);
        EXPECT_TRUE(j.contains("time"));
        EXPECT_TRUE(j.contains("token"));
    }
    EXPECT_EQ(log.Recent().size(), 2u);
}
