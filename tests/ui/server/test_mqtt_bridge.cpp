// The MQTT bridge of quellmarin-server against a real Mosquitto broker on loopback, with a password
// file and an access list, and the virtual processor on a pseudo-terminal: retained state, commands,
// refusals, the broker's own access control, a broker restarted or absent, the last will, and the
// home-automation discovery messages.
#include "HeadlessTestSupport.h"
#include "TempDir.h"
#include "core/link/LinkTestSupport.h"
#include "remote/HttpClient.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <map>
#include <mosquitto.h>
#include <mutex>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

template <class F> bool Eventually(F f, int ms = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (f()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return f();
}

// Mosquitto on a loopback port of its own: three users (the bridge; a dashboard that reads and may
// send commands; a reader that may only read) and no anonymous access, no persistence.
class Broker {
  public:
    explicit Broker(const std::filesystem::path& dir) : dir_(dir), port_(FreePort()) {
        const std::string passwords = (dir / "passwords").string();
        RunProgram("mosquitto_passwd -b -c " + passwords + " quellmarin bridge-secret");
        RunProgram("mosquitto_passwd -b " + passwords + " dashboard dash-secret");
        RunProgram("mosquitto_passwd -b " + passwords + " reader read-secret");
        std::ofstream(dir / "acl") << "user quellmarin\ntopic readwrite quellmarin/#\ntopic readwrite homeassistant/#\n"
                                      "user dashboard\ntopic read quellmarin/#\ntopic read homeassistant/#\n"
                                      "topic write quellmarin/test/+/+/set\ntopic write quellmarin/test/+/+/+/+/set\n"
                                      "user reader\ntopic read quellmarin/#\ntopic read homeassistant/#\n";
        std::ofstream(dir / "mosquitto.conf") << "listener " << port_ << " 127.0.0.1\nallow_anonymous false\n"
                                              << "password_file " << passwords << "\nacl_file " << (dir / "acl").string()
                                              << "\npersistence false\n";
        Start();
    }
    ~Broker() { Stop(); }
    void Start() {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open((dir_ / "mosquitto.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            const std::string conf = (dir_ / "mosquitto.conf").string();
            ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        Eventually([&] { return Accepts(port_); }, 10000);
    }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

  private:
    std::filesystem::path dir_;
    int port_;
    pid_t pid_ = -1;
};

// A client of the broker, as a dashboard would be: what it has seen, by topic.
class Client {
  public:
    Client(int port, const std::string& user, const std::string& password, std::vector<std::string> filters)
        : filters_(std::move(filters)) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
            auto* c = static_cast<Client*>(self);
            if (rc == 0)
                for (const std::string& f : c->filters_) mosquitto_subscribe(m, nullptr, f.c_str(), 1);
            std::lock_guard lock(c->mutex_);
            c->connected_ = rc == 0;
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* msg) {
            auto* c = static_cast<Client*>(self);
            std::lock_guard lock(c->mutex_);
            const std::string payload(static_cast<const char*>(msg->payload), static_cast<std::size_t>(msg->payloadlen));
            c->latest_[msg->topic] = payload;
            c->all_.emplace_back(msg->topic, payload);
        });
        mosquitto_connect(mosq_, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq_);
        Eventually([&] { return Connected(); }, 5000);
    }
    ~Client() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    bool Connected() {
        std::lock_guard lock(mutex_);
        return connected_;
    }
    void Publish(const std::string& topic, const std::string& payload) {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
    }
    std::string Latest(const std::string& topic) {
        std::lock_guard lock(mutex_);
        const auto it = latest_.find(topic);
        return it == latest_.end() ? "<none>" : it->second;
    }
    std::map<std::string, std::string> All() {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    // The payloads that arrived on `topic`, in order.
    std::vector<std::string> On(const std::string& topic) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> v;
        for (const auto& [t, p] : all_)
            if (t == topic) v.push_back(p);
        return v;
    }

  private:
    mosquitto* mosq_ = nullptr;
    std::vector<std::string> filters_;
    std::mutex mutex_;
    bool connected_ = false;
    std::map<std::string, std::string> latest_;
    std::vector<std::pair<std::string, std::string>> all_;
};

const std::string kPrefix = "quellmarin/test";

// The processor, the server with its bridge, and a viewer token for the API.
struct Rig {
    explicit Rig(const std::string& brokerUrl) : sim({"--id", "1", "--log", (dir / "sim.log").string()}) {
        std::ofstream(dir / "mqtt-password") << "bridge-secret\n";
        const std::string server = QUELLMARIN_SERVER_PATH;
        const Ran viewer = RunProgram(server + " token add phone --role viewer --state-dir " + (dir / "state").string());
        token = viewer.out.substr(viewer.out.rfind("qm_"), 51);
        process = std::make_unique<ServerProcess>(
            std::vector<std::string>{"--port", sim.Path(), "--listen", "127.0.0.1:0", "--mqtt", brokerUrl, "--mqtt-user",
                                     "quellmarin", "--mqtt-password-file", (dir / "mqtt-password").string(), "--mqtt-prefix",
                                     kPrefix, "--mqtt-levels", "2"},
            dir / "state", dir / "server.log");
    }
    bool Connected() { return WaitFor(dir / "server.log", ": connected"); }
    std::vector<std::string> Frames() {
        std::vector<std::string> frames;
        std::istringstream in(ReadAll(dir / "sim.log"));
        for (std::string line; std::getline(in, line);) {
            if (!line.starts_with("recv ")) continue;
            for (std::size_t at = line.find('('); at != std::string::npos; at = line.find('(', at + 1))
                frames.push_back(line.substr(at, line.find(')', at) - at + 1));
        }
        return frames;
    }
    bool Received(const std::string& frame) {
        const auto f = Frames();
        return std::find(f.begin(), f.end(), frame) != f.end();
    }
    nlohmann::json Api(const std::string& path) {
        std::string error;
        const auto url = remote::ParseHttpUrl("http://127.0.0.1:" + std::to_string(ListeningPort(dir / "server.log")), error);
        const auto r = url ? remote::HttpExchange(*url, "GET", path, token, "", 5000, error) : std::nullopt;
        return r ? nlohmann::json::parse(r->body, nullptr, false) : nlohmann::json();
    }

    TempDir dir;
    SimProcess sim;
    std::string token;
    std::unique_ptr<ServerProcess> process;
};

} // namespace

TEST(MqttBridge, RetainedStateSetsRefusalsAndTheBrokersAccessList) {
    TempDir brokerDir;
    Broker broker(brokerDir.path());
    Rig rig(broker.Url());
    ASSERT_TRUE(rig.Connected()) << ReadAll(rig.dir / "server.log");
    Client reader(broker.Port(), "reader", "read-secret", {kPrefix + "/#"});
    Client dashboard(broker.Port(), "dashboard", "dash-secret", {kPrefix + "/result"});
    ASSERT_TRUE(reader.Connected() && dashboard.Connected()) << ReadAll(brokerDir / "mosquitto.log");

    // What the broker retains is what the processor holds, channel by channel.
    ASSERT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/1/outputs/8/gain") != "<none>"; }));
    const nlohmann::json strips = rig.Api("/api/v1/devices/1/strips");
    ASSERT_TRUE(strips.contains("outputs")) << strips.dump();
    for (const char* section : {"inputs", "outputs"})
        for (const auto& strip : strips[section]) {
            const std::string base = kPrefix + "/1/" + section + "/" + std::to_string(strip["number"].get<int>());
            char gain[16];
            std::snprintf(gain, sizeof gain, "%.1f", strip["gain"].get<double>());
            EXPECT_EQ(reader.Latest(base + "/gain"), gain) << base;
            EXPECT_EQ(reader.Latest(base + "/mute"), strip["mute"].get<bool>() ? "true" : "false") << base;
        }
    EXPECT_EQ(reader.Latest(kPrefix + "/status"), "online");
    EXPECT_EQ(reader.Latest(kPrefix + "/1/availability"), "online");
    EXPECT_EQ(reader.Latest(kPrefix + "/1/state"), "connected");
    EXPECT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/1/levels").starts_with("{\"inputs\":["); }));

    // A mute set from the dashboard: its frame at the processor, the new state retained, an answer.
    dashboard.Publish(kPrefix + "/1/outputs/3/mute/set", "true");
    EXPECT_TRUE(Eventually([&] { return rig.Received("(01$0372001)"); })) << ReadAll(rig.dir / "server.log");
    EXPECT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/1/outputs/3/mute") == "true"; }));
    EXPECT_TRUE(Eventually([&] { return !dashboard.On(kPrefix + "/result").empty(); }));
    EXPECT_EQ(nlohmann::json::parse(dashboard.On(kPrefix + "/result").back())["result"], "ok");

    // Out of range: the editors' message on the result topic, and nothing changes.
    const std::size_t framesBefore = rig.Frames().size();
    dashboard.Publish(kPrefix + "/1/outputs/3/gain/set", "20");
    ASSERT_TRUE(Eventually([&] { return dashboard.On(kPrefix + "/result").size() == 2; }));
    const auto refused = nlohmann::json::parse(dashboard.On(kPrefix + "/result").back());
    EXPECT_EQ(refused["result"], "error");
    EXPECT_EQ(refused["status"], 422);
    EXPECT_EQ(refused["message"], "Input range:[-90,+12]");
    EXPECT_EQ(reader.Latest(kPrefix + "/1/outputs/3/gain"), "0.0");

    // The reader may not write: the broker drops its command. A dashboard's command after it shows
    // that the bridge has had its turn.
    reader.Publish(kPrefix + "/1/outputs/3/gain/set", "-10");
    dashboard.Publish(kPrefix + "/1/outputs/4/mute/set", "true");
    EXPECT_TRUE(Eventually([&] { return rig.Received("(01$0373001)"); }));
    const auto frames = rig.Frames();
    EXPECT_TRUE(std::none_of(frames.begin() + static_cast<long>(framesBefore), frames.end(),
                             [](const std::string& f) { return f.starts_with("(01$0352"); }));
    EXPECT_EQ(reader.Latest(kPrefix + "/1/outputs/3/gain"), "0.0");
    // The audit log names the broker connection.
    EXPECT_NE(ReadAll(rig.dir / "state" / "audit.jsonl").find("\"token\":\"mqtt quellmarin@127.0.0.1:"), std::string::npos);
    EXPECT_EQ(rig.process->Stop(), 0);
    // Leaving, the server says so.
    EXPECT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/status") == "offline"; }));
    EXPECT_EQ(reader.Latest(kPrefix + "/1/availability"), "offline");
}

TEST(MqttBridge, DiscoveryMessagesParseAndNameEveryEntity) {
    TempDir brokerDir;
    Broker broker(brokerDir.path());
    Rig rig(broker.Url());
    ASSERT_TRUE(rig.Connected());
    Client ha(broker.Port(), "reader", "read-secret", {"homeassistant/#"});
    const std::size_t entities = 8 + 8 + 8 + 8 + 8 + 8 + 2; // mutes, gains, levels of 16 channels; program, tone
    ASSERT_TRUE(Eventually([&] { return ha.All().size() >= entities; })) << ha.All().size();
    std::map<std::string, int> components;
    std::set<std::string> names;
    for (const auto& [topic, payload] : ha.All()) {
        const auto config = nlohmann::json::parse(payload, nullptr, false);
        ASSERT_TRUE(config.is_object()) << topic << ": " << payload;
        ++components[topic.substr(14, topic.find('/', 14) - 14)];
        names.insert(config["name"].get<std::string>());
        EXPECT_EQ(config["device"]["identifiers"][0], "quellmarin_test_1") << topic;
        EXPECT_TRUE(config["state_topic"].get<std::string>().starts_with(kPrefix + "/1/")) << topic;
        EXPECT_TRUE(config.contains("unique_id")) << topic;
    }
    EXPECT_EQ(components["switch"], 17);
    EXPECT_EQ(components["number"], 16);
    EXPECT_EQ(components["sensor"], 16);
    EXPECT_EQ(components["select"], 1);
    for (int n = 1; n <= 8; ++n)
        for (const char* kind : {"mute", "gain", "level"}) {
            EXPECT_TRUE(names.count("Input " + std::to_string(n) + " " + kind)) << n << kind;
            EXPECT_TRUE(names.count("Output " + std::to_string(n) + " " + kind)) << n << kind;
        }
    EXPECT_TRUE(names.count("Program") && names.count("Test tone"));
}

TEST(MqttBridge, ReconnectsAfterTheBrokerRestartsOrWasNotThereAndRepublishes) {
    TempDir brokerDir;
    Broker broker(brokerDir.path());
    broker.Stop();
    // No broker at the start: the server serves and the processor is edited all the same.
    Rig rig(broker.Url());
    ASSERT_TRUE(rig.Connected()) << ReadAll(rig.dir / "server.log");
    EXPECT_TRUE(WaitFor(rig.dir / "server.log", "not reachable yet")) << ReadAll(rig.dir / "server.log");
    broker.Start();
    ASSERT_TRUE(WaitFor(rig.dir / "server.log", "MQTT broker 127.0.0.1:" + std::to_string(broker.Port()) + " connected", 40000))
        << ReadAll(rig.dir / "server.log");
    {
        Client reader(broker.Port(), "reader", "read-secret", {kPrefix + "/#"});
        EXPECT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/1/outputs/3/mute") == "false"; }));
    }
    // Restarted, the broker has forgotten everything (no persistence): the bridge comes back and
    // publishes it all again.
    broker.Stop();
    EXPECT_TRUE(WaitFor(rig.dir / "server.log", "gone: reconnecting")) << ReadAll(rig.dir / "server.log");
    broker.Start();
    ASSERT_TRUE(WaitFor(rig.dir / "server.log", "connected again", 40000)) << ReadAll(rig.dir / "server.log");
    Client reader(broker.Port(), "reader", "read-secret", {kPrefix + "/#"});
    EXPECT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/1/outputs/3/mute") == "false"; }));
    EXPECT_EQ(reader.Latest(kPrefix + "/status"), "online");
    Client dashboard(broker.Port(), "dashboard", "dash-secret", {kPrefix + "/result"});
    dashboard.Publish(kPrefix + "/1/outputs/2/mute/set", "true");
    EXPECT_TRUE(Eventually([&] { return rig.Received("(01$0371001)"); }));
}

TEST(MqttBridge, AServerThatDiesIsSaidOfflineByItsLastWill) {
    TempDir brokerDir;
    Broker broker(brokerDir.path());
    Rig rig(broker.Url());
    ASSERT_TRUE(rig.Connected());
    Client reader(broker.Port(), "reader", "read-secret", {kPrefix + "/status"});
    ASSERT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/status") == "online"; }));
    rig.process->Kill();
    EXPECT_TRUE(Eventually([&] { return reader.Latest(kPrefix + "/status") == "offline"; }, 60000));
}
