// Figures of the remote-control server: a gain set over HTTP until its frame is on a 38400-baud wire,
// beside the link's own post to arrival; the command-line tool's --server set as a whole process; 50
// WebSocket clients on 10 Hz levels against the headless server (its CPU and added memory); and a
// token flooding 2000 requests a second past its limit while the link's post to arrival is measured.
// Everything is on loopback. Usage: quellmarin-remote-figures [--quick]
#include "protocol/Frames.h"
#include "remote/HttpClient.h"
#include "server/RemoteServer.h"
#include "shell/QuellmarinApp.h"

#include "ServingFigures.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quellmarin;
using Clock = std::chrono::steady_clock;

namespace {

struct Spread {
    double median = 0, p99 = 0;
};
Spread SpreadOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return {};
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

// /proc/PID/status: VmRSS in KiB.
long ProcessRssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

std::string RunForLine(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p)) out = buffer;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const int count = quick ? 40 : 200;
    const std::string stateDir = "/tmp/quellmarin-remote-figures-" + std::to_string(::getpid());

    // ---- In process: the program's link on a 38400-baud wire, its server on loopback -------------------
    TimingDevice dev;
    ui::CQuellmarinApp app;
    if (!ConnectToTimingDevice(app, dev)) return 1;
    remote::TokenStore tokens;
    remote::AuditLog audit;
    std::string error;
    const std::string token = *tokens.Add("bench", remote::Role::Installer, error);
    const std::string flooder = *tokens.Add("flood", remote::Role::Operator, error);
    ui::RemoteServer server(app, tokens, audit);
    ui::RemoteSettings settings;
    settings.port = 0;
    QString why;
    if (!server.Start(settings, why)) {
        std::printf("server: %s\n", why.toUtf8().constData());
        return 1;
    }
    remote::HttpUrl url{"127.0.0.1", server.Port(), ""};

    std::vector<double> link, put, linkFlooded;
    int flood200 = 0, flood429 = 0, floodSent = 0;
    double floodSeconds = 0;
    WhileServing([&] {
        link = LinkLatency(app, dev, count, 0);
        // One token asks 2000 times a second, far past its 20 a second; the link goes on meanwhile.
        std::atomic<bool> stop{false};
        std::thread flood([&] {
            const auto start = Clock::now();
            while (!stop) {
                std::string e;
                const auto r = remote::HttpExchange(url, "GET", "/api/v1/devices/1/outputs/3/mute", flooder, {}, 2000, e);
                ++floodSent;
                if (r && r->status == 200) ++flood200;
                if (r && r->status == 429) ++flood429;
                std::this_thread::sleep_until(start + std::chrono::microseconds(500) * floodSent);
            }
        });
        const auto floodStart = Clock::now();
        linkFlooded = LinkLatency(app, dev, count, 40);
        stop = true;
        flood.join();
        floodSeconds = Ms(Clock::now() - floodStart) / 1000;
        // The gains set over HTTP come last: the read-back of the edits they make would otherwise meet
        // the frames the figures above posted behind the session's back, which it now takes.
        QMetaObject::invokeMethod(
            &app, [&] { app.Params().OutCH[1].Gain = dev.device.Parameters().OutCH[1].Gain; },
            Qt::BlockingQueuedConnection);
        for (int i = 0; i < count; ++i) {
            const int db = -10 - i % 40;
            const std::string body = "{\"value\": " + std::to_string(db) + "}";
            // Whatever step the value is, output 3's gain frame ("$0352") after the request is its frame.
            const auto sent = Clock::now();
            std::string e;
            const auto r = remote::HttpExchange(url, "PUT", "/api/v1/devices/1/outputs/3/gain", token, body, 5000, e);
            if (!r || r->status != 200) continue;
            for (;;) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                std::lock_guard lock(dev.mutex);
                const auto it = std::find_if(dev.arrivals.rbegin(), dev.arrivals.rend(), [&](const auto& a) {
                    return a.first.find("$0352") != std::string::npos && a.second >= sent;
                });
                if (it != dev.arrivals.rend() && it->second <= Clock::now()) {
                    put.push_back(Ms(it->second - sent));
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(13 * (i % 7)));
        }
    });
    const Spread l = SpreadOf(link), p = SpreadOf(put), f = SpreadOf(linkFlooded);
    std::printf("link post to arrival at 38400 baud (meters polling), %zu posts: median %.1f ms, 99th %.1f ms\n",
                link.size(), l.median, l.p99);
    std::printf("PUT of a gain to its frame on the wire, %zu requests: median %.1f ms, 99th %.1f ms "
                "(+%.1f / +%.1f ms over the link)\n",
                put.size(), p.median, p.p99, p.median - l.median, p.p99 - l.p99);
    std::printf("one token at %d requests in %.1f s (about 2000 a second): %d answered 200, %d refused 429; "
                "link post to arrival meanwhile: median %.1f ms, 99th %.1f ms\n",
                floodSent, floodSeconds, flood200, flood429, f.median, f.p99);
    server.Stop();
    app.Shutdown();

    // ---- The tool's --server set, as a whole process, and 50 level subscribers: the headless server --
    const std::string serverBin = QUELLMARIN_SERVER_PATH, cliBin = QUELLMARIN_CLI_PATH;
    const std::string secret = RunForLine(serverBin + " token add figures --role operator --state-dir " + stateDir);
    std::ofstream(stateDir + "/token") << secret << "\n";
    // Fifty clients from this one address: more connections than an address gets by default.
    std::ofstream(stateDir + "/server.conf") << "connections-per-address = 64\n";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!::freopen("/dev/null", "w", stderr)) ::_exit(126);
        const std::string config = stateDir + "/server.conf";
        ::execl(serverBin.c_str(), "quellmarin-server", "--virtual", "--config", config.c_str(), "--state-dir",
                stateDir.c_str(), "--listen", "127.0.0.1:18479", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    remote::HttpUrl headless{"127.0.0.1", 18479, ""};
    for (int i = 0; i < 250; ++i) {
        std::string e;
        const auto r = remote::HttpExchange(headless, "GET", "/api/v1/devices", secret, {}, 1000, e);
        if (r && r->status == 200 && r->body.find("\"state\":\"connected\"") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::vector<double> whole;
    for (int i = 0; i < (quick ? 10 : 40); ++i) {
        const std::string command = cliBin + " --server http://127.0.0.1:18479 --token-file " + stateDir +
                                    "/token set out 3 gain " + std::to_string(-1 - i % 20) + " >/dev/null";
        const auto start = Clock::now();
        const int status = std::system(command.c_str());
        if (status == 0) whole.push_back(Ms(Clock::now() - start));
        else std::printf("the tool failed (%d): %s\n", status, command.c_str());
        // One token's 20 requests a second: a script setting a value now and then, not a flood.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    const Spread w = SpreadOf(whole);
    std::printf("quellmarin-cli --server ... set as a whole process, %zu runs: median %.1f ms, 99th %.1f ms\n",
                whole.size(), w.median, w.p99);

    const int seconds = quick ? 3 : 10;
    const double idleStart = ProcessCpu(pid);
    const long rssBefore = ProcessRssKb(pid);
    RunFor(seconds * 1000);
    const double idle = (ProcessCpu(pid) - idleStart) / seconds * 100;
    std::vector<std::unique_ptr<QWebSocket>> clients;
    int levelEvents = 0;
    const int clientCount = 50;
    std::vector<int> perClient(clientCount, 0);
    for (int i = 0; i < clientCount; ++i) {
        auto ws = std::make_unique<QWebSocket>();
        QWebSocket* raw = ws.get();
        QObject::connect(raw, &QWebSocket::connected, [raw, secret] {
            raw->sendTextMessage(QString::fromStdString("{\"id\":1,\"command\":\"auth\",\"token\":\"" + secret + "\"}"));
            raw->sendTextMessage(R"({"id":2,"command":"subscribe","levels":{"device":1,"rate":10}})");
        });
        QObject::connect(raw, &QWebSocket::textMessageReceived, [&levelEvents, &perClient, i, raw](const QString& t) {
            levelEvents += t.contains("\"levels\"");
            perClient[i] += t.contains("\"levels\"");

            // Fifty clients subscribing at once pass the token's burst: each asks again a second later.
            if (t.contains("\"status\":429"))
                QTimer::singleShot(1000, raw, [raw] {
                    raw->sendTextMessage(R"({"id":2,"command":"subscribe","levels":{"device":1,"rate":10}})");
                });
        });
        raw->open(QUrl("ws://127.0.0.1:18479/api/v1/ws"));
        clients.push_back(std::move(ws));
    }
    RunFor(4000);
    const int eventsStart = levelEvents;
    const double busyStart = ProcessCpu(pid);
    RunFor(seconds * 1000);
    const double busy = (ProcessCpu(pid) - busyStart) / seconds * 100;
    const long rssAfter = ProcessRssKb(pid);
    std::printf("%d WebSocket clients on 10 Hz levels for %d s: %.0f level events a second in all; server CPU %.1f %% "
                "of a core (%.1f %% with no client), resident memory %+.1f MiB (%.1f MiB before)\n",
                clientCount, seconds, (levelEvents - eventsStart) / static_cast<double>(seconds), busy, idle,
                (rssAfter - rssBefore) / 1024.0, rssBefore / 1024.0);
    clients.clear();
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(stateDir, ec);
    return 0;
}
