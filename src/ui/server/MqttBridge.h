// The bridge to an MQTT broker: publishes every processor's settings as retained topics whenever
// they change (whoever changed them), their levels at a set rate, and the home-automation discovery
// messages; takes the commands of the "set" topics and carries them out through the remote API under
// the role the configuration gives the broker connection, answering each on the result topic. The
// broker's network work runs on the MQTT library's own thread: a broker that is slow or gone never
// holds up the window, the server or the link.
#pragma once

#include "remote/Api.h"
#include "remote/Mqtt.h"
#include "remote/ServerConfig.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

struct mosquitto;
class QTcpSocket;

namespace quellmarin::ui {

class MqttBridge : public QObject {
    Q_OBJECT

  public:
    // `api` is the remote server's, so that its lock and audit log hold for the broker's commands too.
    MqttBridge(remote::Host& host, remote::Api& api, QObject* parent = nullptr);
    ~MqttBridge() override;

    // Connects (and keeps reconnecting, with back-off) to the broker `config` names; `node` is this
    // server's name, the default topic prefix's last level. False, with why, for a configuration
    // that cannot work (an address that is none, a password file that cannot be read).
    bool Start(const remote::MqttConfig& config, const std::string& node, QString& error);
    // Says offline for every processor and leaves the broker.
    void Stop();
    bool Connected() const { return connected_; }
    // Started and not stopped: connected, or looking for the broker.
    bool Running() const { return mosq_ != nullptr; }
    const remote::MqttConfig& Config() const { return config_; }
    // The settings the next start takes unless told others (remembered ones, before any start).
    void SetConfig(const remote::MqttConfig& config) { config_ = config; }
    const std::string& Prefix() const;
    // Something changed (an edit step, records read anew): published at the next turn of the event
    // loop rather than at the next look.
    void Nudge();
    // Messages published since the start, for the figures.
    long long Published() const { return published_; }

  signals:
    void logLine(const QString& line);
    void connectedChanged(bool connected);

  private:
    // Whether the broker takes a connection, asked without blocking; then the library connects.
    void Probe();
    void Probed(bool reached, const QString& why);
    void OnConnect(int rc);
    void OnDisconnect(int rc);
    void OnMessage(const std::string& topic, const std::string& payload);
    void Publish(const remote::MqttMessage& m, int qos = 0);
    void PublishChanges();
    void PublishLevels();

    remote::Host& host_;
    remote::Api& api_;
    remote::MqttConfig config_;
    remote::MqttUrl url_;
    std::unique_ptr<remote::MqttPublisher> publisher_;
    mosquitto* mosq_ = nullptr;
    QTimer changes_, levels_, retry_, soon_;
    QTcpSocket* probe_ = nullptr;
    int retryMs_ = 1000;
    bool looping_ = false;
    bool saidUnreachable_ = false;
    bool connected_ = false;
    bool everConnected_ = false;
    long long published_ = 0;
};

} // namespace quellmarin::ui
