// The remote-control server: HTTP and WebSocket on one port, over the API of the processors a host
// holds (the window's, or the headless server's). It only carries bytes, checks who asks and keeps
// the limits; what a request does is the API's. Loopback unless told otherwise, TLS for any other
// address unless explicitly switched off, a bearer token on every request, the Host and Origin of
// every request checked against this server's own names, and bounds on sizes, rates, connections
// and time.
#pragma once

#include "remote/Api.h"
#include "remote/Http.h"
#include "remote/ServerConfig.h"
#include "remote/Tokens.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace quellmarin::ui {

struct RemoteSettings {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = remote::kDefaultApiPort; // 0: any free port
    QString certFile, keyFile;
    // Serving a non-loopback address without TLS, said in the log.
    bool insecure = false;
    // Host names besides this machine's loopback names and the bind address that requests may name.
    QStringList hostNames;
    remote::HttpLimits http;
    int connectionsPerAddress = 32;
    double requestsPerSecond = 20, requestBurst = 40;
    // A request's header must arrive within this, and a connection with nothing to do closes after the idle time.
    int headerMs = 10000, idleMs = 60000;
    // A WebSocket must say who it is (an "auth" message) within this, when its upgrade carried no token.
    int authMs = 5000;
    qint64 webSocketMessageBytes = 64 * 1024;
    // What a client may leave unread before it is cut off.
    qint64 slowClientBytes = 4 * 1024 * 1024;
    int maxLevelRate = 10;
};

class RemoteServer : public QObject {
    Q_OBJECT
  public:
    RemoteServer(remote::Host& host, remote::TokenStore& tokens, remote::AuditLog& audit, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Starts listening; false with the reason (a non-loopback address without TLS and without
    // `insecure`, a certificate that cannot be read, a port in use).
    bool Start(const RemoteSettings& settings, QString& error);
    void Stop();
    bool Listening() const;
    quint16 Port() const;
    const RemoteSettings& Settings() const { return settings_; }
    // The settings to show and start with, while not serving.
    void SetSettings(const RemoteSettings& settings) {
        if (!Listening()) settings_ = settings;
    }
    remote::Api& Api() { return api_; }
    int WebSocketClients() const { return static_cast<int>(clients_.size()); }
    // Looks for settings changed by anyone (the window, a recall) and tells subscribed clients; runs
    // on a timer while a client listens for changes.
    void CheckChanges();

  signals:
    void logLine(const QString& line);
    void lockChanged();
    // A line of the audit log was written.
    void auditLine(const QString& line);

  private:
    struct Connection;
    struct Client;
    void Accept();
    void Read(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, const remote::HttpRequest& request);
    void Send(QTcpSocket* socket, int status, const remote::Json& body, bool close,
              const std::vector<std::pair<std::string, std::string>>& headers = {});
    void Refuse(QTcpSocket* socket, int status, const std::string& message, bool close = false);
    // Who a request is from: its bearer token, or the status and reason to refuse it.
    std::optional<remote::Principal> Authenticate(const remote::HttpRequest& request, int& status, std::string& why) const;
    bool HostAllowed(const std::string& host) const;
    bool OriginAllowed(const std::string& origin) const;
    bool TakeRate(const std::string& token);
    // The remote page and the files beside it, from the program's resources; false when the path is
    // none of them.
    bool ServePage(QTcpSocket* socket, const remote::HttpRequest& request, bool close);
    void Upgrade(QTcpSocket* socket, const remote::HttpRequest& request);
    void TakeWebSocket();
    void WebSocketMessage(QWebSocket* ws, const QString& text);
    void SendLevels(QWebSocket* ws);
    void Write(QTcpSocket* socket, const std::string& response, bool close);
    // The last answer is out: the connection ends.
    void Finish(QTcpSocket* socket);
    void Drop(QTcpSocket* socket);
    void Log(const QString& line) { emit logLine(line); }

    remote::Host& host_;
    remote::TokenStore& tokens_;
    remote::AuditLog& audit_;
    remote::Api api_;
    RemoteSettings settings_;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QWebSocketServer> webSockets_;
    std::map<QTcpSocket*, std::unique_ptr<Connection>> connections_;
    std::map<QString, int> perAddress_;
    std::map<std::string, remote::RateLimiter> rates_;
    std::map<QWebSocket*, std::unique_ptr<Client>> clients_;
    // Upgraded sockets not yet taken by the WebSocket server, by peer: who they are.
    std::map<std::pair<QString, quint16>, std::optional<remote::Principal>> upgrading_;
    QTimer changes_;
};

} // namespace quellmarin::ui
