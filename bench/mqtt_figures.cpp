// Figures of the MQTT bridge, all on loopback with a Mosquitto broker this program starts: a window
// edit until its retained message reaches a subscriber; a "set" message until its frame is on a
// 38400-baud wire; the link's post to arrival with no bridge, with a broker, with the broker stopped
// (SIGSTOP: it takes nothing more) and with none there; and, against the headless server with eight
// virtual processors, the broker messages a second at 10 Hz levels and the server's CPU with and
// without the bridge. Usage: quellmarin-mqtt-figures [--quick]
#include "edit/SettingWords.h"
#include "protocol/Frames.h"
#include "server/MqttBridge.h"
#include "server/RemoteServer.h"
#include "shell/QuellmarinApp.h"

#include "ServingFigures.h"
#include "TempDir.h"
#include "core/link/LinkTestSupport.h"
#include "ui/server/HeadlessTestSupport.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mosquitto.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace quellmarin;
using namespace quellmarin::test;
using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

pid_t StartBroker(int port, const std::string& dir) {
    std::ofstream(dir + "/mosquitto.conf") << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!::freopen("/dev/null", "w", stderr) || !::freopen("/dev/null", "w", stdout)) ::_exit(126);
        const std::string conf = dir + "/mosquitto.conf";
        ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return pid;
}

// A subscriber: the time each topic's newest payload arrived, and how many messages came.
struct Subscriber {
    Subscriber(int port, const std::string& filter) : filter_(filter) {
        mosq = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(mosq, [](mosquitto* m, void* self, int) {
            mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 0);
        });
        mosquitto_message_callback_set(mosq, [](mosquitto*, void* self, const mosquitto_message* msg) {
            auto* s = static_cast<Subscriber*>(self);
            std::lock_guard lock(s->mutex);
            s->latest[msg->topic] = {std::string(static_cast<const char*>(msg->payload), static_cast<std::size_t>(msg->payloadlen)),
                                     Clock::now()};
            ++s->count;
        });
        mosquitto_connect(mosq, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq);
    }
    ~Subscriber() {
        mosquitto_disconnect(mosq);
        mosquitto_loop_stop(mosq, false);
        mosquitto_destroy(mosq);
    }
    // When `topic` came to hold `payload`, waiting up to 5 s; nothing when it did not.
    std::optional<Clock::time_point> When(const std::string& topic, const std::string& payload) {
        for (int i = 0; i < 25000; ++i) {
            {
                std::lock_guard lock(mutex);
                const auto it = latest.find(topic);
                if (it != latest.end() && it->second.first == payload) return it->second.second;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return std::nullopt;
    }
    mosquitto* mosq;
    std::string filter_;
    std::mutex mutex;
    std::map<std::string, std::pair<std::string, Clock::time_point>> latest;
    long long count = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    mosquitto_lib_init();
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const int count = quick ? 30 : 100;
    TempDir dir;
    const int brokerPort = FreePort();
    pid_t broker = StartBroker(brokerPort, dir.path().string());

    // ---- In process: the program on a 38400-baud wire, its server, and the bridge ----------------------
    TimingDevice dev;
    ui::CQuellmarinApp app;
    if (!ConnectToTimingDevice(app, dev)) return 1;
    remote::TokenStore tokens;
    remote::AuditLog audit;
    ui::RemoteServer server(app, tokens, audit);

    std::vector<double> linkAlone, linkBridged, linkStopped, linkAbsent, windowToRetained, setToFrame;
    WhileServing([&] { linkAlone = LinkLatency(app, dev, count, 0); });

    ui::MqttBridge bridge(app, server.Api());
    // As the headless server has it: an edit step is published at once.
    QObject::connect(&app, &ui::CQuellmarinApp::edited, &bridge, &ui::MqttBridge::Nudge);
    remote::MqttConfig config;
    config.url = "mqtt://127.0.0.1:" + std::to_string(brokerPort);
    config.prefix = "quellmarin/bench";
    config.levelsPerSecond = 10;
    QString why;
    if (!bridge.Start(config, "bench", why)) return 1;
    for (int i = 0; i < 250 && !bridge.Connected(); ++i) RunFor(20);
    {
        Subscriber sub(brokerPort, "quellmarin/bench/#");
        RunFor(500);
        WhileServing([&] { linkBridged = LinkLatency(app, dev, count, 20); });
        // The broker stopped: it takes no more (its socket fills), and the link goes on.
        ::kill(broker, SIGSTOP);
        WhileServing([&] { linkStopped = LinkLatency(app, dev, count, 40); });
        ::kill(broker, SIGCONT);
        for (int i = 0; i < 250 && !bridge.Connected(); ++i) RunFor(20);
        RunFor(1000);
        WhileServing([&] {
            // A window edit: the setting words on the window's own session, through its editors.
            for (int i = 0; i < count; ++i) {
                const int db = -1 - i % 40;
                const auto start = Clock::now();
                QMetaObject::invokeMethod(
                    &app, [&] { ApplySet(app.Context(), {"out", "3", "gain", std::to_string(db)}); },
                    Qt::BlockingQueuedConnection);
                char text[16];
                std::snprintf(text, sizeof text, "%.1f", static_cast<double>(db));
                if (const auto at = sub.When("quellmarin/bench/1/outputs/3/gain", text)) windowToRetained.push_back(Ms(*at - start));
                std::this_thread::sleep_for(std::chrono::milliseconds(7 * (i % 5)));
            }
            // A set message from a dashboard until the mute's frame is on the wire.
            for (int i = 0; i < count; ++i) {
                const bool on = i % 2 == 0;
                const std::string frame = FrameOutputMute("01", 3, on);
                const std::string payload = on ? "true" : "false";
                const auto start = Clock::now();
                mosquitto_publish(sub.mosq, nullptr, "quellmarin/bench/1/outputs/4/mute/set", static_cast<int>(payload.size()),
                                  payload.data(), 0, false);
                setToFrame.push_back(Ms(dev.ArrivalOf(frame, start) - start));
                sub.When("quellmarin/bench/1/outputs/4/mute", payload);
            }
        });
    }
    // The read-back checks of those edits done, no broker at all: the bridge looks for it now and then.
    RunFor(5000);
    ::kill(broker, SIGTERM);
    ::waitpid(broker, nullptr, 0);
    RunFor(1000);
    WhileServing([&] { linkAbsent = LinkLatency(app, dev, count, 60); });
    bridge.Stop();
    server.Stop();
    app.Shutdown();

    const auto line = [](const char* what, const std::vector<double>& v) {
        std::vector<double> s = v;
        std::sort(s.begin(), s.end());
        std::printf("%s, %zu: median %.1f ms, 99th %.1f ms\n", what, s.size(), Median(s),
                    s.empty() ? 0 : s[std::min(s.size() - 1, s.size() * 99 / 100)]);
        std::fflush(stdout); // before the processes below are forked
    };
    line("link post to arrival at 38400 baud, no bridge", linkAlone);
    line("link post to arrival, bridge to a broker (levels at 10 Hz)", linkBridged);
    line("link post to arrival, the broker stopped (SIGSTOP)", linkStopped);
    line("link post to arrival, no broker there", linkAbsent);
    line("window edit to the retained message at a subscriber", windowToRetained);
    line("set message to the mute's frame on the wire", setToFrame);

    // ---- The headless server with eight processors: messages a second at 10 Hz levels, and its CPU --
    const int seconds = quick ? 4 : 10;
    broker = StartBroker(brokerPort, dir.path().string());
    for (const bool bridged : {false, true}) {
        SimProcess sim({"--ids", "1,2,3,4,5,6,7,8"});
        std::vector<std::string> args = {"--port", sim.Path(), "--listen", "127.0.0.1:0"};
        if (bridged)
            args.insert(args.end(), {"--mqtt", "mqtt://127.0.0.1:" + std::to_string(brokerPort), "--mqtt-prefix",
                                     "quellmarin/eight", "--mqtt-levels", "10"});
        const auto log = dir / (bridged ? "bridged.log" : "plain.log");
        ServerProcess process(args, dir / (bridged ? "state-b" : "state-p"), log);
        for (int i = 0; i < 600; ++i) {
            const std::string text = ReadAll(log);
            std::size_t connected = 0;
            for (std::size_t at = text.find("): connected"); at != std::string::npos; at = text.find("): connected", at + 1))
                ++connected;
            if (connected >= 8) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
        Subscriber sub(brokerPort, "quellmarin/eight/#");
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const pid_t pid = process.Pid();
        const long long before = sub.count;
        const double cpu = ProcessCpu(pid);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double used = (ProcessCpu(pid) - cpu) / seconds * 100;
        const double rate = static_cast<double>(sub.count - before) / seconds;
        std::fflush(stdout);
        if (bridged)
            std::printf("headless server, 8 processors, bridge on, levels at 10 Hz: %.0f broker messages/s, "
                        "server CPU %.1f %% of a core\n", rate, used);
        else
            std::printf("headless server, 8 processors, no bridge: server CPU %.1f %% of a core\n", used);
        process.Stop();
    }
    ::kill(broker, SIGTERM);
    ::waitpid(broker, nullptr, 0);
    return 0;
}
