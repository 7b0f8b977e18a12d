#include "server/RemoteServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <cctype>
#if defined(_WIN32)
#include <winsock2.h>
constexpr int kShutWrite = SD_SEND;
#else
#include <sys/socket.h>
constexpr int kShutWrite = SHUT_WR;
#endif

// The API's description and the remote page live in the resources of a static library, which the
// linker would drop.
static void InitServerResources() {
    Q_INIT_RESOURCE(server);
    Q_INIT_RESOURCE(web);
}

namespace quellmarin::ui {

using remote::Json;

struct RemoteServer::Connection {
    QString client;
    QTimer deadline;
    bool answered = false; // a request was answered: the idle time runs now
    // The last answer is out and the connection ends: what the client still sends is read and dropped
    // for a short while, so that closing with unread bytes never resets the answer away.
    bool closing = false;
    // A request waits for the processor (a program list, a recall).
    bool busy = false;
};

struct RemoteServer::Client {
    QString client;
    std::optional<remote::Principal> who;
    QTimer authDeadline;
    QTimer levels;
    int levelDevice = 0;
    bool changes = false;
};

namespace {

double Now() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "host", "host:port", "[::1]:port" without the port.
std::string HostPart(const std::string& host) {
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        return close == std::string::npos ? host : host.substr(0, close + 1);
    }
    const std::size_t colon = host.find(':');
    return colon == std::string::npos || host.find(':', colon + 1) != std::string::npos ? host : host.substr(0, colon);
}

const std::vector<std::pair<std::string, std::string>>& SecurityHeaders() {
    static const std::vector<std::pair<std::string, std::string>> headers = {
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"Content-Security-Policy", "default-src 'none'; frame-ancestors 'none'"},
        {"Referrer-Policy", "no-referrer"}};
    return headers;
}

} // namespace

RemoteServer::RemoteServer(remote::Host& host, remote::TokenStore& tokens, remote::AuditLog& audit, QObject* parent)
    : QObject(parent), host_(host), tokens_(tokens), audit_(audit), api_(host, audit) {
    InitServerResources();
    changes_.setInterval(100);
    connect(&changes_, &QTimer::timeout, this, &RemoteServer::CheckChanges);
    api_.SetChangeListener([this](const std::vector<remote::Change>& changes) {
        for (auto& [ws, client] : clients_) {
            if (!client->changes) continue;
            for (const remote::Change& c : changes)
                ws->sendTextMessage(QString::fromStdString(remote::Api::ChangeJson(c).dump()));
        }
    });
    api_.SetLockListener([this] { emit lockChanged(); });
    audit_.SetListener([this](const std::string& line) { emit auditLine(QString::fromStdString(line)); });
}

RemoteServer::~RemoteServer() {
    audit_.SetListener({});
    Stop();
}

bool RemoteServer::Listening() const { return server_ && server_->isListening(); }
quint16 RemoteServer::Port() const { return server_ ? server_->serverPort() : 0; }

bool RemoteServer::Start(const RemoteSettings& settings, QString& error) {
    Stop();
    settings_ = settings;
    const bool tls = !settings.certFile.isEmpty() || !settings.keyFile.isEmpty();
    if (!settings.address.isLoopback() && !tls && !settings.insecure) {
        error = QStringLiteral("Listening on %1 needs TLS: give a certificate and a key (--tls-cert, --tls-key), "
                               "or --insecure to serve without it.")
                    .arg(settings.address.toString());
        return false;
    }
    if (tls) {
        if (!QSslSocket::supportsSsl()) {
            error = QStringLiteral("TLS is not available on this system (no SSL library for Qt).");
            return false;
        }
        QFile certFile(settings.certFile), keyFile(settings.keyFile);
        if (settings.certFile.isEmpty() || settings.keyFile.isEmpty()) {
            error = QStringLiteral("TLS takes both a certificate and a key file.");
            return false;
        }
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Cannot read the certificate %1 or the key %2.").arg(settings.certFile, settings.keyFile);
            return false;
        }
        const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
        const QSslKey key(keyFile.readAll(), QSsl::Rsa, QSsl::Pem);
        QSslKey ecKey;
        if (key.isNull()) {
            keyFile.seek(0);
            ecKey = QSslKey(keyFile.readAll(), QSsl::Ec, QSsl::Pem);
        }
        if (chain.isEmpty() || (key.isNull() && ecKey.isNull())) {
            error = QStringLiteral("%1 holds no certificate, or %2 no private key (PEM).").arg(settings.certFile, settings.keyFile);
            return false;
        }
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(chain);
        config.setPrivateKey(key.isNull() ? ecKey : key);
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        config.setProtocol(QSsl::TlsV1_2OrLater);
        auto ssl = std::make_unique<QSslServer>();
        ssl->setSslConfiguration(config);
        ssl->setHandshakeTimeout(settings.headerMs);
        server_ = std::move(ssl);
    } else {
        server_ = std::make_unique<QTcpServer>();
    }
    webSockets_ = std::make_unique<QWebSocketServer>(QStringLiteral("quellmarin"), QWebSocketServer::NonSecureMode);
    webSockets_->setHandshakeTimeout(settings.headerMs);
    connect(webSockets_.get(), &QWebSocketServer::newConnection, this, &RemoteServer::TakeWebSocket);
    connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, &RemoteServer::Accept);
    if (!server_->listen(settings.address, settings.port)) {
        error = QStringLiteral("Cannot listen on %1 port %2: %3")
                    .arg(settings.address.toString())
                    .arg(settings.port)
                    .arg(server_->errorString());
        server_.reset();
        webSockets_.reset();
        return false;
    }
    Log(QStringLiteral("remote control listening on %1 port %2 (%3)")
            .arg(settings.address.toString())
            .arg(server_->serverPort())
            .arg(tls ? QStringLiteral("https and wss") : QStringLiteral("http and ws")));
    if (!settings.address.isLoopback() && !tls)
        Log(QStringLiteral("WARNING: serving %1 without TLS (--insecure): tokens cross the network readable by anyone on it")
                .arg(settings.address.toString()));
    return true;
}

void RemoteServer::Stop() {
    changes_.stop();
    for (auto& [ws, client] : clients_) {
        ws->disconnect(this);
        ws->abort();
        ws->deleteLater();
    }
    clients_.clear();
    for (auto& [socket, connection] : connections_) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    connections_.clear();
    perAddress_.clear();
    upgrading_.clear();
    if (server_) {
        server_->close();
        Log(QStringLiteral("remote control stopped"));
    }
    server_.reset();
    webSockets_.reset();
}

void RemoteServer::Accept() {
    while (server_ && server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        if (!socket) break;
        const QString client = socket->peerAddress().toString();
        if (perAddress_[client] >= settings_.connectionsPerAddress) {
            const std::string text = remote::HttpResponseText(
                429, "application/json", R"({"result":"error","status":429,"message":"too many connections from this address"})",
                SecurityHeaders(), true);
            socket->write(text.data(), static_cast<qint64>(text.size()));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        ++perAddress_[client];
        auto connection = std::make_unique<Connection>();
        connection->client = client;
        connection->deadline.setSingleShot(true);
        connect(&connection->deadline, &QTimer::timeout, this, [this, socket] {
            auto it = connections_.find(socket);
            if (it == connections_.end()) return;
            if (!it->second->answered && socket->bytesAvailable() > 0)
                Refuse(socket, 408, "the request did not arrive in time", true);
            else
                Drop(socket);
        });
        connection->deadline.start(settings_.headerMs);
        // Never more waiting to be read than a whole request may hold.
        socket->setReadBufferSize(static_cast<qint64>(settings_.http.maxHeaderBytes + settings_.http.maxBodyBytes + 1));
        connections_[socket] = std::move(connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            auto it = connections_.find(socket);
            if (it != connections_.end() && it->second->closing && socket->bytesToWrite() == 0) Finish(socket);
        });
        if (socket->bytesAvailable() > 0) Read(socket);
    }
}

void RemoteServer::Drop(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    if (--perAddress_[it->second->client] <= 0) perAddress_.erase(it->second->client);
    connections_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void RemoteServer::Finish(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    if (qobject_cast<QSslSocket*>(socket)) {
        socket->disconnectFromHost();
        return;
    }
    // Half-closed: the client sees the end of the answer, its own further bytes are drained.
    socket->flush();
    ::shutdown(static_cast<int>(socket->socketDescriptor()), kShutWrite);
    it->second->deadline.start(2000);
}

void RemoteServer::Read(QTcpSocket* socket) {
    if (auto it = connections_.find(socket); it != connections_.end() && it->second->closing) {
        socket->readAll();
        return;
    }
    if (auto it = connections_.find(socket); it != connections_.end() && it->second->busy) return;
    while (connections_.count(socket)) {
        const QByteArray peeked = socket->peek(socket->bytesAvailable());
        if (peeked.isEmpty()) return;
        const remote::HttpParse parse =
            remote::ParseHttpRequest(std::string_view(peeked.constData(), static_cast<std::size_t>(peeked.size())),
                                     settings_.http);
        if (parse.status == remote::HttpParse::Status::Refused) {
            Refuse(socket, parse.refusal, parse.reason, true);
            return;
        }
        if (parse.status == remote::HttpParse::Status::NeedMore) {
            // The socket holds at most a whole request; a full buffer that is still no request is none.
            if (socket->bytesAvailable() >= socket->readBufferSize()) Refuse(socket, 413, "the request is too large", true);
            return;
        }
        if (parse.request.WantsWebSocket()) {
            Upgrade(socket, parse.request);
            return;
        }
        socket->read(static_cast<qint64>(parse.consumed));
        Answer(socket, parse.request);
        if (auto it = connections_.find(socket); it != connections_.end() && it->second->busy) return;
    }
}

bool RemoteServer::HostAllowed(const std::string& hostHeader) const {
    const std::string host = Lower(HostPart(hostHeader));
    if (host == "localhost" || host == "127.0.0.1" || host == "[::1]") return true;
    std::string bound = Lower(settings_.address.toString().toStdString());
    if (settings_.address.protocol() == QAbstractSocket::IPv6Protocol) bound = "[" + bound + "]";
    if (host == bound && !settings_.address.isNull() && settings_.address != QHostAddress::Any &&
        settings_.address != QHostAddress::AnyIPv6 && settings_.address != QHostAddress::AnyIPv4)
        return true;
    for (const QString& name : settings_.hostNames)
        if (host == Lower(name.toStdString())) return true;
    return false;
}

bool RemoteServer::OriginAllowed(const std::string& origin) const {
    // The page that asks must be one this server served itself: its own scheme, host and port.
    const bool tls = !settings_.certFile.isEmpty();
    const std::string scheme = tls ? "https://" : "http://";
    if (!origin.starts_with(scheme)) return false;
    const std::string hostPort = origin.substr(scheme.size());
    if (hostPort.find('/') != std::string::npos) return false;
    const std::string port = hostPort.size() > HostPart(hostPort).size() ? hostPort.substr(HostPart(hostPort).size() + 1) : "";
    const std::string own = std::to_string(Port());
    const bool defaultPort = port.empty() && own == (tls ? "443" : "80");
    return HostAllowed(hostPort) && (port == own || defaultPort);
}

std::optional<remote::Principal> RemoteServer::Authenticate(const remote::HttpRequest& request, int& status,
                                                            std::string& why) const {
    status = 401;
    const std::string query = Lower(request.query);
    if (query.find("token=") != std::string::npos || query.find("access_token=") != std::string::npos) {
        why = "a token never travels in the URL: send it as \"Authorization: Bearer TOKEN\"";
        return std::nullopt;
    }
    const std::string header = request.Header("authorization");
    if (header.empty()) {
        why = "no token: send \"Authorization: Bearer TOKEN\"";
        return std::nullopt;
    }
    if (Lower(header.substr(0, 7)) != "bearer ") {
        why = "the token is sent as \"Authorization: Bearer TOKEN\"";
        return std::nullopt;
    }
    const auto who = tokens_.Verify(header.substr(7));
    if (!who) why = "the token is not valid (wrong, or revoked)";
    return who;
}

bool RemoteServer::TakeRate(const std::string& token) {
    auto it = rates_.try_emplace(token, settings_.requestsPerSecond, settings_.requestBurst).first;
    return it->second.Take(Now());
}

void RemoteServer::Send(QTcpSocket* socket, int status, const Json& body, bool close,
                        const std::vector<std::pair<std::string, std::string>>& extra) {
    auto headers = SecurityHeaders();
    headers.insert(headers.end(), extra.begin(), extra.end());
    const std::string text = remote::HttpResponseText(
        status, "application/json", body.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n", headers, close);
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Write(socket, text, close);
}

void RemoteServer::Write(QTcpSocket* socket, const std::string& text, bool close) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->second->answered = true;
    it->second->deadline.start(close ? settings_.headerMs : settings_.idleMs);
    socket->write(text.data(), static_cast<qint64>(text.size()));
    if (socket->bytesToWrite() > settings_.slowClientBytes) {
        Drop(socket);
        return;
    }
    if (close) {
        it->second->closing = true;
        socket->readAll();
        if (socket->bytesToWrite() == 0) Finish(socket);
    }
}

void RemoteServer::Refuse(QTcpSocket* socket, int status, const std::string& message, bool close) {
    std::vector<std::pair<std::string, std::string>> headers;
    if (status == 401) headers.emplace_back("WWW-Authenticate", "Bearer");
    if (status == 429) headers.emplace_back("Retry-After", "1");
    Send(socket, status, {{"result", "error"}, {"status", status}, {"message", message}}, close, headers);
}

void RemoteServer::Answer(QTcpSocket* socket, const remote::HttpRequest& request) {
    const bool close = !request.KeepAlive();
    const auto it = connections_.find(socket);
    const QString client = it->second->client;
    const auto refuseLogged = [&](int status, const std::string& message, const std::string& token) {
        audit_.Append({{"token", token}, {"client", client.toStdString()}, {"action", "refused"},
                       {"request", request.method + " " + request.path}, {"status", status}, {"message", message}});
        Refuse(socket, status, message, close);
    };
    if (!request.http10 && !HostAllowed(request.Header("host")))
        return refuseLogged(403, "the host " + request.Header("host") + " is not this server's", "");
    if (request.Has("origin") && !OriginAllowed(request.Header("origin")))
        return refuseLogged(403, "requests from the page " + request.Header("origin") + " are not taken", "");
    // The remote page is no secret: it is served to anyone this server talks to, and asks for a token
    // before it shows anything of the processors.
    if (request.method == "GET" && ServePage(socket, request, close)) return;
    int status = 0;
    std::string why;
    const auto who = Authenticate(request, status, why);
    if (!who) return refuseLogged(status, why, "");
    if (!TakeRate(who->name)) return Refuse(socket, 429, "too many requests from the token " + who->name, close);
    if (request.method == "GET" && request.path == "/api/v1/openapi.json") {
        QFile file(QStringLiteral(":/server/openapi.json"));
        file.open(QIODevice::ReadOnly);
        const QByteArray doc = file.readAll();
        auto headers = SecurityHeaders();
        Write(socket,
              remote::HttpResponseText(200, "application/json",
                                       std::string_view(doc.constData(), static_cast<std::size_t>(doc.size())), headers,
                                       close),
              close);
        return;
    }
    // Answers go in the order of the requests: the next one waits while this one waits for the processor.
    it->second->busy = true;
    QPointer<QTcpSocket> guard(socket);
    api_.HandleAsync(request.method, request.path, request.body, {*who, client.toStdString()},
                     [this, guard, close](remote::ApiResponse response) {
                         if (!guard) return;
                         auto c = connections_.find(guard.data());
                         if (c == connections_.end()) return;
                         c->second->busy = false;
                         Send(guard.data(), response.status, response.body, close);
                         if (!close) QMetaObject::invokeMethod(this, [this, guard] { if (guard) Read(guard.data()); }, Qt::QueuedConnection);
                     });
}

bool RemoteServer::ServePage(QTcpSocket* socket, const remote::HttpRequest& request, bool close) {
    // "/" is the page; its scripts, style and icon lie beside it. Only plain names are looked up.
    const std::string& path = request.path;
    // A browser asks for /favicon.ico by itself wherever a page names no icon.
    const std::string name = path == "/" ? "/index.html" : path == "/favicon.ico" ? "/icon.svg" : path;
    static const std::vector<std::pair<std::string, std::string>> types = {{".html", "text/html; charset=utf-8"},
                                                                            {".js", "text/javascript; charset=utf-8"},
                                                                            {".css", "text/css; charset=utf-8"},
                                                                            {".svg", "image/svg+xml"}};
    const auto type = std::find_if(types.begin(), types.end(), [&](const auto& t) { return name.ends_with(t.first); });
    const bool plain = name.size() < 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
               c == '/' || c == '-' || c == '.';
    });
    if (type == types.end() || !plain || name.find("..") != std::string::npos || name.find("//") != std::string::npos)
        return false;
    QFile file(QStringLiteral(":/web") + QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray body = file.readAll();
    // The page may talk to this server alone: its scripts, its style, its WebSocket.
    const std::string host = HostPart(request.Header("host")) + ":" + std::to_string(Port());
    auto headers = SecurityHeaders();
    for (auto& [key, value] : headers)
        if (key == "Content-Security-Policy")
            value = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self' ws://" +
                    host + " wss://" + host + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
    headers.emplace_back("X-Frame-Options", "DENY");
    Write(socket,
          remote::HttpResponseText(200, type->second,
                                   std::string_view(body.constData(), static_cast<std::size_t>(body.size())), headers,
                                   close),
          close);
    return true;
}

void RemoteServer::Upgrade(QTcpSocket* socket, const remote::HttpRequest& request) {
    const QString client = connections_.at(socket)->client;
    const auto refuse = [&](int status, const std::string& message) {
        audit_.Append({{"client", client.toStdString()}, {"action", "refused"}, {"request", "WebSocket " + request.path},
                       {"status", status}, {"message", message}});
        socket->read(socket->bytesAvailable());
        Refuse(socket, status, message, true);
    };
    if (request.method != "GET" || request.path != "/api/v1/ws") return refuse(404, "the WebSocket is at /api/v1/ws");
    if (!request.http10 && !HostAllowed(request.Header("host")))
        return refuse(403, "the host " + request.Header("host") + " is not this server's");
    if (request.Has("origin") && !OriginAllowed(request.Header("origin")))
        return refuse(403, "WebSockets from the page " + request.Header("origin") + " are not taken");
    std::optional<remote::Principal> who;
    if (request.Has("authorization") || !request.query.empty()) {
        int status = 0;
        std::string why;
        who = Authenticate(request, status, why);
        if (!who) return refuse(status, why);
    }
    // The socket, with the upgrade request still unread in it, goes to the WebSocket server. It counts
    // against its address for as long as it lives (a WebSocket keeps it).
    connections_.erase(socket);
    socket->disconnect(this);
    connect(socket, &QObject::destroyed, this, [this, client] {
        if (--perAddress_[client] <= 0) perAddress_.erase(client);
    });
    upgrading_[{socket->peerAddress().toString(), socket->peerPort()}] = who;
    webSockets_->handleConnection(socket);
}

void RemoteServer::TakeWebSocket() {
    while (webSockets_ && webSockets_->hasPendingConnections()) {
        QWebSocket* ws = webSockets_->nextPendingConnection();
        ws->setMaxAllowedIncomingMessageSize(static_cast<quint64>(settings_.webSocketMessageBytes));
        ws->setMaxAllowedIncomingFrameSize(static_cast<quint64>(settings_.webSocketMessageBytes));
        auto client = std::make_unique<Client>();
        client->client = ws->peerAddress().toString();
        const auto key = std::make_pair(ws->peerAddress().toString(), ws->peerPort());
        if (auto up = upgrading_.find(key); up != upgrading_.end()) {
            client->who = up->second;
            upgrading_.erase(up);
        }
        if (!client->who) {
            client->authDeadline.setSingleShot(true);
            connect(&client->authDeadline, &QTimer::timeout, ws, [ws] {
                ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("no auth message in time"));
            });
            client->authDeadline.start(settings_.authMs);
        }
        connect(&client->levels, &QTimer::timeout, this, [this, ws] { SendLevels(ws); });
        connect(ws, &QWebSocket::textMessageReceived, this, [this, ws](const QString& text) { WebSocketMessage(ws, text); });
        connect(ws, &QWebSocket::binaryMessageReceived, ws, [ws] {
            ws->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported, QStringLiteral("text messages only"));
        });
        connect(ws, &QWebSocket::disconnected, this, [this, ws] {
            clients_.erase(ws);
            ws->deleteLater();
            if (std::none_of(clients_.begin(), clients_.end(), [](const auto& c) { return c.second->changes; }))
                changes_.stop();
        });
        clients_[ws] = std::move(client);
    }
}

void RemoteServer::WebSocketMessage(QWebSocket* ws, const QString& text) {
    auto it = clients_.find(ws);
    if (it == clients_.end()) return;
    Client& client = *it->second;
    const std::string bytes = text.toStdString();
    const Json request = Json::parse(bytes, nullptr, false);
    const auto reply = [ws](const Json& answer) {
        ws->sendTextMessage(QString::fromStdString(answer.dump(-1, ' ', false, Json::error_handler_t::replace)));
    };
    const Json id = request.is_object() && request.contains("id") ? request["id"] : Json();
    const auto error = [&](int status, const std::string& message) {
        reply({{"id", id}, {"result", "error"}, {"status", status}, {"message", message}});
    };
    if (request.is_discarded() || !request.is_object()) return error(400, "a message is a JSON object");
    const std::string command = request.value("command", "");
    if (command == "auth") {
        const auto who = request.contains("token") && request["token"].is_string()
                             ? tokens_.Verify(request["token"].get<std::string>())
                             : std::nullopt;
        if (!who) {
            audit_.Append({{"client", client.client.toStdString()}, {"action", "refused"}, {"request", "WebSocket auth"},
                           {"status", 401}, {"message", "the token is not valid"}});
            error(401, "the token is not valid (wrong, or revoked)");
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not authenticated"));
            return;
        }
        client.who = who;
        client.authDeadline.stop();
        return reply({{"id", id}, {"result", "ok"}, {"token", who->name}, {"role", std::string(remote::RoleName(who->role))}});
    }
    if (!client.who) {
        error(401, "say who you are first: {\"command\": \"auth\", \"token\": \"...\"}");
        ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not authenticated"));
        return;
    }
    if (!TakeRate(client.who->name)) return error(429, "too many requests from the token " + client.who->name);
    if (command == "subscribe") {
        if (request.contains("changes")) {
            client.changes = request["changes"] == true;
            if (client.changes && !changes_.isActive()) {
                api_.CollectChanges(host_.LocalSource()); // what is now is no change
                changes_.start();
            }
        }
        if (request.contains("levels")) {
            const Json& levels = request["levels"];
            if (levels.is_null() || levels == false) {
                client.levels.stop();
            } else {
                if (!levels.is_object() || !levels.contains("device") || !levels["device"].is_number_integer())
                    return error(400, "levels take {\"device\": ID, \"rate\": 1..10}");
                remote::ApiResponse refusal;
                if (!api_.FindUnit(std::to_string(levels["device"].get<int>()), refusal))
                    return error(refusal.status, refusal.body.value("message", ""));
                const double rate = levels.contains("rate") && levels["rate"].is_number() ? levels["rate"].get<double>() : 5;
                if (!(rate > 0) || rate > settings_.maxLevelRate)
                    return error(422, "the level rate is above 0 and at most " + std::to_string(settings_.maxLevelRate) + " Hz");
                client.levelDevice = levels["device"].get<int>();
                client.levels.start(static_cast<int>(1000 / rate));
            }
        }
        return reply({{"id", id}, {"result", "ok"}});
    }
    QPointer<QWebSocket> guard(ws);
    api_.MessageAsync(request, {*client.who, client.client.toStdString()}, [guard](const Json& answer) {
        if (guard) guard->sendTextMessage(QString::fromStdString(answer.dump(-1, ' ', false, Json::error_handler_t::replace)));
    });
}

void RemoteServer::SendLevels(QWebSocket* ws) {
    auto it = clients_.find(ws);
    if (it == clients_.end()) return;
    // A client that does not read its levels gets no more of them until it has.
    if (ws->bytesToWrite() > settings_.slowClientBytes) {
        ws->abort();
        return;
    }
    if (ws->bytesToWrite() > 64 * 1024) return;
    remote::ApiResponse refusal;
    const auto unit = api_.FindUnit(std::to_string(it->second->levelDevice), refusal);
    std::string why = refusal.body.value("message", "");
    std::optional<Json> levels = unit ? api_.LevelsJson(*unit, why) : std::nullopt;
    Json event = levels ? std::move(*levels) : Json{{"device", it->second->levelDevice}, {"state", why}};
    event["event"] = "levels";
    ws->sendTextMessage(QString::fromStdString(event.dump()));
}

void RemoteServer::CheckChanges() { api_.CollectChanges(host_.LocalSource()); }

} // namespace quellmarin::ui
