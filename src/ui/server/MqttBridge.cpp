#include "server/MqttBridge.h"

#include <QPointer>
#include <QTcpSocket>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mosquitto.h>
#include <unistd.h>

namespace quellmarin::ui {

namespace {

// The library's state is set up once for the program.
void InitLibrary() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)done;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

MqttBridge::MqttBridge(remote::Host& host, remote::Api& api, QObject* parent) : QObject(parent), host_(host), api_(api) {
    InitLibrary();
    changes_.setInterval(100);
    connect(&changes_, &QTimer::timeout, this, &MqttBridge::PublishChanges);
    connect(&levels_, &QTimer::timeout, this, &MqttBridge::PublishLevels);
    soon_.setSingleShot(true);
    soon_.setInterval(0);
    connect(&soon_, &QTimer::timeout, this, &MqttBridge::PublishChanges);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttBridge::Probe);
    probe_ = new QTcpSocket(this);
    connect(probe_, &QTcpSocket::connected, this, [this] { Probed(true, {}); });
    connect(probe_, &QTcpSocket::errorOccurred, this, [this] { Probed(false, probe_->errorString()); });
}

MqttBridge::~MqttBridge() { Stop(); }

const std::string& MqttBridge::Prefix() const {
    static const std::string none;
    return publisher_ ? publisher_->Prefix() : none;
}

bool MqttBridge::Start(const remote::MqttConfig& config, const std::string& node, QString& error) {
    Stop();
    std::string why;
    const auto url = remote::ParseMqttUrl(config.url, why);
    if (!url) {
        error = Q(why);
        return false;
    }
    std::string password;
    if (!config.passwordFile.empty()) {
        std::ifstream in(config.passwordFile);
        if (!in || !std::getline(in, password)) {
            error = Q("the MQTT password file " + config.passwordFile + " cannot be read");
            return false;
        }
        if (!password.empty() && password.back() == '\r') password.pop_back();
    }
    const std::string prefix = config.prefix.empty() ? "quellmarin/" + remote::TopicWord(node) : config.prefix;
    if (!remote::MqttPrefixValid(prefix)) {
        error = Q("the topic prefix " + prefix + " has a wildcard or an empty level");
        return false;
    }
    config_ = config;
    url_ = *url;
    publisher_ = std::make_unique<remote::MqttPublisher>(api_, host_, prefix);

    const std::string clientId = "quellmarin-" + remote::TopicWord(node) + "-" + std::to_string(::getpid());
    mosq_ = mosquitto_new(clientId.c_str(), true, this);
    if (!mosq_) {
        error = "the MQTT client could not be made";
        return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!config.user.empty()) mosquitto_username_pw_set(mosq_, config.user.c_str(), password.empty() ? nullptr : password.c_str());
    // Should the server vanish, the broker says so for it.
    const std::string offline = "offline";
    mosquitto_will_set(mosq_, publisher_->StatusTopic().c_str(), static_cast<int>(offline.size()), offline.data(), 1, true);
    if (url_.tls) {
        const char* ca = config.caFile.empty() ? nullptr : config.caFile.c_str();
        const int rc = mosquitto_tls_set(mosq_, ca, ca ? nullptr : "/etc/ssl/certs",
                                         config.certFile.empty() ? nullptr : config.certFile.c_str(),
                                         config.keyFile.empty() ? nullptr : config.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = Q(std::string("the MQTT TLS files cannot be used: ") + mosquitto_strerror(rc));
            Stop();
            return false;
        }
    }
    mosquitto_reconnect_delay_set(mosq_, 1, 30, true);
    // The library calls these on its own thread; the work is done on this object's.
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        QMetaObject::invokeMethod(static_cast<MqttBridge*>(self), [self, rc] { static_cast<MqttBridge*>(self)->OnConnect(rc); },
                                  Qt::QueuedConnection);
    });
    mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        QMetaObject::invokeMethod(static_cast<MqttBridge*>(self),
                                  [self, rc] { static_cast<MqttBridge*>(self)->OnDisconnect(rc); }, Qt::QueuedConnection);
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
        std::string topic(m->topic ? m->topic : "");
        std::string payload(static_cast<const char*>(m->payload), static_cast<std::size_t>(std::max(0, m->payloadlen)));
        QMetaObject::invokeMethod(
            static_cast<MqttBridge*>(self),
            [self, topic = std::move(topic), payload = std::move(payload)] { static_cast<MqttBridge*>(self)->OnMessage(topic, payload); },
            Qt::QueuedConnection);
    });
    // Until the broker has answered once, it is looked for here (a connection that does not block
    // this thread); once it has, the library's thread keeps the connection, reconnecting with back-off.
    retryMs_ = 1000;
    Probe();
    changes_.start();
    if (config.levelsPerSecond > 0) levels_.start(1000 / config.levelsPerSecond);
    emit logLine(QString("MQTT bridge to %1:%2%3, topics under %4, commands as %5")
                     .arg(Q(url_.host))
                     .arg(url_.port)
                     .arg(url_.tls ? " (TLS)" : "")
                     .arg(Q(prefix))
                     .arg(Q(std::string(remote::RoleName(config.role)))));
    return true;
}

void MqttBridge::Probe() {
    if (!mosq_) return;
    probe_->abort();
    probe_->connectToHost(Q(url_.host), static_cast<quint16>(url_.port));
}

void MqttBridge::Probed(bool reached, const QString& why) {
    probe_->abort();
    if (!mosq_ || looping_) return;
    if (reached) {
        const int rc = mosquitto_connect_async(mosq_, url_.host.c_str(), url_.port, 30);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS) {
            looping_ = true;
            return;
        }
    }
    if (!saidUnreachable_)
        emit logLine(QString("MQTT broker %1:%2 not reachable yet (%3): trying again")
                         .arg(Q(url_.host))
                         .arg(url_.port)
                         .arg(reached ? QStringLiteral("it took the connection, then did not answer") : why));
    saidUnreachable_ = true;
    retry_.start(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, 30000);
}

void MqttBridge::Stop() {
    changes_.stop();
    levels_.stop();
    retry_.stop();
    if (probe_) probe_->abort();
    if (!mosq_) return;
    if (connected_ && publisher_) {
        for (const remote::MqttMessage& m : publisher_->Leaving()) Publish(m, 1);
        Publish({publisher_->StatusTopic(), "offline", true}, 1);
    }
    const bool wasConnected = connected_;
    mosquitto_disconnect(mosq_);
    // Connected, the thread ends once the goodbye is out; else it may be waiting to try again.
    if (looping_) mosquitto_loop_stop(mosq_, !wasConnected);
    looping_ = false;
    saidUnreachable_ = false;
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    if (connected_) {
        connected_ = false;
        emit connectedChanged(false);
    }
}

void MqttBridge::OnConnect(int rc) {
    if (!mosq_) return;
    if (rc != 0) {
        emit logLine(QString("MQTT broker %1:%2 refused the connection: %3")
                         .arg(Q(url_.host))
                         .arg(url_.port)
                         .arg(Q(mosquitto_connack_string(rc))));
        return;
    }
    connected_ = true;
    emit logLine(QString("MQTT broker %1:%2 %3").arg(Q(url_.host)).arg(url_.port).arg(everConnected_ ? "connected again" : "connected"));
    everConnected_ = true;
    for (const std::string& filter : publisher_->CommandFilters()) mosquitto_subscribe(mosq_, nullptr, filter.c_str(), 1);
    Publish({publisher_->StatusTopic(), "online", true}, 1);
    // The broker may have lost everything (restarted without persistence): all of it again.
    publisher_->Forget();
    PublishChanges();
    emit connectedChanged(true);
}

void MqttBridge::OnDisconnect(int rc) {
    if (!connected_) return;
    connected_ = false;
    if (rc != 0) emit logLine(QString("MQTT broker %1:%2 gone: reconnecting").arg(Q(url_.host)).arg(url_.port));
    emit connectedChanged(false);
}

void MqttBridge::Publish(const remote::MqttMessage& m, int qos) {
    if (!mosq_) return;
    if (mosquitto_publish(mosq_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()), m.payload.data(), qos,
                          m.retain) == MOSQ_ERR_SUCCESS)
        ++published_;
}

void MqttBridge::Nudge() {
    if (connected_) soon_.start();
}

void MqttBridge::PublishChanges() {
    if (!connected_ || !publisher_) return;
    for (const remote::MqttMessage& m : publisher_->Changes()) Publish(m);
}

void MqttBridge::PublishLevels() {
    if (!connected_ || !publisher_) return;
    for (const remote::MqttMessage& m : publisher_->Levels()) Publish(m);
}

void MqttBridge::OnMessage(const std::string& topic, const std::string& payload) {
    if (!publisher_) return;
    std::string error;
    const auto command = publisher_->ReadCommand(topic, payload, error);
    const auto answer = [this, topic](const remote::Json& result) {
        remote::Json r = {{"topic", topic}};
        r.update(result);
        Publish({publisher_->ResultTopic(), r.dump(-1, ' ', false, remote::Json::error_handler_t::replace), false});
    };
    if (!command) {
        if (!error.empty()) answer({{"result", "error"}, {"status", 400}, {"message", error}});
        return;
    }
    // The broker connection is one caller, named in the audit log by its user and broker.
    const std::string broker = url_.host + ":" + std::to_string(url_.port);
    const remote::Caller caller{{"mqtt " + (config_.user.empty() ? std::string("anonymous") : config_.user) + "@" + broker,
                                 config_.role},
                                "broker " + broker};
    QPointer<MqttBridge> self(this);
    api_.HandleAsync(command->method, command->path, command->body, caller, [self, answer](remote::ApiResponse r) {
        if (!self) return;
        if (r.status == 200)
            answer({{"result", "ok"}});
        else
            answer({{"result", "error"}, {"status", r.status}, {"message", r.body.value("message", "refused")}});
        self->PublishChanges();
    });
}

} // namespace quellmarin::ui
