// The remote-control server over real sockets on loopback, in front of the whole program and its
// built-in virtual processor: who may ask, what is refused and what it leaves, and that a remote
// edit is an ordinary edit of the window's.
#include "ui/WindowTest.h"
#include "ui/server/TestHttp.h"

#include "edit/MuteEditor.h"
#include "remote/Tokens.h"
#include "server/RemoteServer.h"

#include "TempDir.h"

#include <QProcess>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QWebSocket>
#include <nlohmann/json.hpp>

using namespace quellmarin;
using namespace quellmarin::test;

class RemoteServerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<VirtualProgram> program;
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<remote::TokenStore> tokens;
    std::unique_ptr<remote::AuditLog> audit;
    std::unique_ptr<ui::RemoteServer> server;
    std::string viewer, operatorToken, installer;

    quint16 Port() const { return server->Port(); }
    ui::CQuellmarinApp& App() { return program->app; }

    bool StartServer(ui::RemoteSettings settings = {}) {
        settings.port = 0;
        QString error;
        server = std::make_unique<ui::RemoteServer>(App(), *tokens, *audit);
        return server->Start(settings, error);
    }
    QWebSocket* OpenWebSocket(const std::string& token, const QString& origin = {}) {
        auto* ws = new QWebSocket(origin, QWebSocketProtocol::VersionLatest, this);
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/ws").arg(Port())));
        if (!token.empty()) request.setRawHeader("Authorization", QByteArray("Bearer ") + token.c_str());
        ws->open(request);
        return ws;
    }

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        program = std::make_unique<VirtualProgram>();
        dir = std::make_unique<TempDir>();
        tokens = std::make_unique<remote::TokenStore>(*dir / "tokens.json");
        audit = std::make_unique<remote::AuditLog>(*dir / "audit.jsonl");
        std::string error;
        viewer = *tokens->Add("phone", remote::Role::Viewer, error);
        operatorToken = *tokens->Add("tablet", remote::Role::Operator, error);
        installer = *tokens->Add("laptop", remote::Role::Installer, error);
        QVERIFY(ConnectToVirtual(App()));
    }
    void cleanup() {
        server.reset();
        program.reset();
    }

    void aGainSetOverHttpIsAnEditOfTheWindowWithItsUndo() {
        QVERIFY(StartServer());
        const Reply r = Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/gain", operatorToken, R"({"value": -6, "unit": "dB"})");
        QCOMPARE(r.status, 200);
        QTRY_COMPARE(App().VirtualDevice()->Parameters().OutCH[2].Gain, App().Params().OutCH[2].Gain);
        QVERIFY(App().History().CanUndo());
        App().Undo();
        QTRY_COMPARE(App().VirtualDevice()->Parameters().OutCH[2].Gain, App().Params().OutCH[2].Gain);
        QCOMPARE(Json(Request(Port(), "GET", "/api/v1/devices/1/outputs/3/gain", viewer))["value"].get<double>(), 0.0);
    }

    void aRequestWithoutAGoodTokenIsRefused401AndChangesNothing() {
        QVERIFY(StartServer());
        std::string error;
        const std::string revoked = *tokens->Add("old", remote::Role::Installer, error);
        QVERIFY(tokens->Revoke("old", error));
        const SystemParameters before = App().Params();
        const SystemParameters device = App().VirtualDevice()->Parameters();
        const std::string path = "/api/v1/devices/1/outputs/3/mute";
        const std::string body = R"({"value": true})";
        QCOMPARE(Request(Port(), "PUT", path, "", body).status, 401);
        QCOMPARE(Request(Port(), "PUT", path, "qm_" + std::string(48, '0'), body).status, 401);
        QCOMPARE(Request(Port(), "PUT", path, revoked, body).status, 401);
        QCOMPARE(Request(Port(), "PUT", path + "?token=" + installer, "", body).status, 401);
        QCOMPARE(Request(Port(), "PUT", path + "?access_token=" + installer, installer, body).status, 401);
        QCOMPARE(Request(Port(), "PUT", path, "", body, "Authorization: Basic " + installer + "\r\n").status, 401);
        QCOMPARE(Request(Port(), "PUT", path, viewer, body).status, 403);
        QVERIFY(App().Params() == before);
        QVERIFY(App().VirtualDevice()->Parameters() == device);
        QVERIFY(audit->Recent().back().find("\"refused\"") != std::string::npos);
    }

    void thePageIsServedWithoutATokenAndTheApiDescriptionWithOne() {
        QVERIFY(StartServer());
        const Reply page = Request(Port(), "GET", "/", "");
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.find("<title>Quellmarin remote</title>") != std::string::npos);
        for (const char* file : {"/index.html", "/style.css", "/icon.svg", "/favicon.ico", "/js/app.js", "/js/connection.js",
                                 "/js/strips.js", "/js/programs.js"}) {
            const Reply r = Request(Port(), "GET", file, "");
            QVERIFY2(r.status == 200 && r.body.size() > 100, file);
        }
        // Nothing else is served without a token: no climbing out of the page's folder, no other files.
        for (const char* path : {"/js/../index.html", "/JS/app.js", "/js//app.js", "/missing.js", "/api/v1/devices",
                                 "/api/v1/openapi.json"})
            QCOMPARE(Request(Port(), "GET", path, "").status, 401);
        QCOMPARE(Request(Port(), "PUT", "/index.html", "", "{}").status, 401);
        // The page's own policy names this server alone.
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port());
        QVERIFY(socket.waitForConnected(3000));
        socket.write(QStringLiteral("GET / HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nConnection: close\r\n\r\n").arg(Port()).toUtf8());
        QByteArray head;
        QTRY_VERIFY((head += socket.readAll()).contains("\r\n\r\n"));
        QVERIFY(head.contains(QStringLiteral("connect-src 'self' ws://127.0.0.1:%1 ").arg(Port()).toUtf8()));
        QVERIFY(head.contains("script-src 'self';"));
        QVERIFY(head.contains("Content-Type: text/html; charset=utf-8"));
        // The API's description, for a token.
        const auto doc = Json(Request(Port(), "GET", "/api/v1/openapi.json", viewer));
        QVERIFY(doc.is_object() && doc.contains("openapi") && doc["paths"].contains("/api/v1/devices/{d}/strips"));
    }

    void aForeignHostOrOriginIsRefused() {
        QVERIFY(StartServer());
        const std::string path = "/api/v1/devices";
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port());
        QVERIFY(QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000));
        const Reply rebound = Exchange(socket, "GET " + path + " HTTP/1.1\r\nHost: attacker.example:" + std::to_string(Port()) +
                                                   "\r\nAuthorization: Bearer " + installer + "\r\n\r\n");
        QCOMPARE(rebound.status, 403);
        QCOMPARE(Request(Port(), "GET", path, installer, {}, "Origin: http://attacker.example\r\n").status, 403);
        QCOMPARE(Request(Port(), "GET", path, installer, {}, "Origin: http://127.0.0.1:1\r\n").status, 403);
        QCOMPARE(Request(Port(), "GET", path, installer, {}, "Origin: null\r\n").status, 403);
        QCOMPARE(Request(Port(), "GET", path, installer, {},
                         "Origin: http://127.0.0.1:" + std::to_string(Port()) + "\r\n")
                     .status,
                 200);
    }

    void aWebSocketFromAForeignPageIsRefused() {
        QVERIFY(StartServer());
        QWebSocket* ws = OpenWebSocket(installer, QStringLiteral("http://attacker.example"));
        QTRY_VERIFY(ws->state() == QAbstractSocket::UnconnectedState);
        QCOMPARE(server->WebSocketClients(), 0);
    }

    void aNonLoopbackAddressWithoutTlsDoesNotStart() {
        ui::RemoteSettings settings;
        settings.address = QHostAddress::AnyIPv4;
        settings.port = 0;
        QString error;
        ui::RemoteServer refused(App(), *tokens, *audit);
        QVERIFY(!refused.Start(settings, error));
        QVERIFY(error.contains("needs TLS"));
        QVERIFY(!refused.Listening());
        settings.certFile = (*dir / "missing.pem").c_str();
        settings.keyFile = settings.certFile;
        QVERIFY(!refused.Start(settings, error));
        QVERIFY(!refused.Listening());
    }

    void tlsServesTheApiWithTheGivenCertificate() {
        if (!QSslSocket::supportsSsl()) QSKIP("no TLS library");
        const QString cert = QString::fromStdString((*dir / "cert.pem").string());
        const QString key = QString::fromStdString((*dir / "key.pem").string());
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=localhost",
                                  "-keyout", key, "-out", cert});
        QVERIFY(openssl.waitForFinished(30000));
        QCOMPARE(openssl.exitCode(), 0);
        ui::RemoteSettings settings;
        settings.certFile = cert;
        settings.keyFile = key;
        QVERIFY(StartServer(settings));
        QSslSocket socket;
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted("127.0.0.1", Port());
        QVERIFY(QTest::qWaitFor([&] { return socket.isEncrypted(); }, 5000));
        const Reply r = Exchange(socket, "GET /api/v1/devices HTTP/1.1\r\nHost: localhost:" + std::to_string(Port()) +
                                             "\r\nAuthorization: Bearer " + viewer + "\r\nConnection: close\r\n\r\n");
        QCOMPARE(r.status, 200);
        QCOMPARE(Json(r)["devices"][0]["id"].get<int>(), 1);
    }

    void oversizedMalformedAndSlowRequestsAreRefused() {
        ui::RemoteSettings settings;
        settings.headerMs = 300;
        QVERIFY(StartServer(settings));
        const SystemParameters before = App().Params();
        // 10 MB: refused from its header, the connection closed, nothing read into memory.
        const Reply big = Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/gain", installer,
                                  std::string(10 * 1024 * 1024, ' '));
        QCOMPARE(big.status, 413);
        QCOMPARE(Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/gain", installer, "{\"value\": ").status, 400);
        QCOMPARE(Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/gain", installer,
                         std::string(20000, '[') + std::string(20000, ']'))
                     .status,
                 400);
        QCOMPARE(Request(Port(), "GET", "/api/v1/devices/1/outputs/3/loudness", installer).status, 404);
        QCOMPARE(Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/gain", installer, R"({"value": 13})").status, 422);
        QTcpSocket garbage;
        garbage.connectToHost(QHostAddress::LocalHost, Port());
        QVERIFY(QTest::qWaitFor([&] { return garbage.state() == QAbstractSocket::ConnectedState; }, 3000));
        QCOMPARE(Exchange(garbage, std::string("\x16\x03\x01\x02\x00 \r\n\r\n", 11)).status, 400);
        // A client that sends half a header and stops is answered 408 and cut off.
        QTcpSocket slow;
        slow.connectToHost(QHostAddress::LocalHost, Port());
        QVERIFY(QTest::qWaitFor([&] { return slow.state() == QAbstractSocket::ConnectedState; }, 3000));
        const Reply r = Exchange(slow, "GET /api/v1/devices HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        QCOMPARE(r.status, 408);
        QTRY_VERIFY(slow.state() == QAbstractSocket::UnconnectedState);
        QVERIFY(App().Params() == before);
        QVERIFY(App().VirtualDevice()->Parameters() == before);
    }

    void tooManyConnectionsFromOneAddressAreRefused() {
        ui::RemoteSettings settings;
        settings.connectionsPerAddress = 3;
        QVERIFY(StartServer(settings));
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(QHostAddress::LocalHost, Port());
        }
        QVERIFY(QTest::qWaitFor([&] {
            return std::all_of(held.begin(), held.end(), [](auto& s) { return s->state() == QAbstractSocket::ConnectedState; });
        }, 3000));
        QCOMPARE(Request(Port(), "GET", "/api/v1/devices", viewer).status, 429);
        held.clear();
        QTRY_COMPARE(Request(Port(), "GET", "/api/v1/devices", viewer).status, 200);
    }

    void aTokenBeyondItsRateIsRefused429() {
        ui::RemoteSettings settings;
        settings.requestsPerSecond = 2;
        settings.requestBurst = 3;
        QVERIFY(StartServer(settings));
        int ok = 0, limited = 0;
        for (int i = 0; i < 10; ++i) {
            const int status = Request(Port(), "GET", "/api/v1/devices", viewer).status;
            ok += status == 200;
            limited += status == 429;
        }
        QVERIFY(ok >= 3);
        QVERIFY(limited >= 1);
        QCOMPARE(Request(Port(), "GET", "/api/v1/devices", operatorToken).status, 200); // another token has its own
    }

    void aLostProcessorAnswers503() {
        QVERIFY(StartServer());
        App().SwitchVirtualOff(1, true);
        QTRY_VERIFY_WITH_TIMEOUT(App().Units().at(0).lost, 10000);
        const Reply r = Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/mute", operatorToken, R"({"value": true})");
        QCOMPARE(r.status, 503);
        QVERIFY(Json(r)["message"].get<std::string>().find("lost") != std::string::npos);
        QCOMPARE(App().Params().OutCH[2].Mute, 0);
        App().SwitchVirtualOff(1, false);
        QTRY_VERIFY_WITH_TIMEOUT(!App().Units().at(0).lost, 10000);
    }

    void aWebSocketClientSetsAndIsAnswered() {
        QVERIFY(StartServer());
        QWebSocket* ws = OpenWebSocket(operatorToken);
        std::vector<nlohmann::json> got;
        connect(ws, &QWebSocket::textMessageReceived, [&](const QString& t) { got.push_back(nlohmann::json::parse(t.toStdString())); });
        QTRY_VERIFY(ws->state() == QAbstractSocket::ConnectedState);
        ws->sendTextMessage(R"({"id": 7, "command": "set", "path": "/devices/1/outputs/3/mute", "value": true})");
        ws->sendTextMessage(R"({"id": 8, "command": "set", "path": "/devices/1/outputs/3/gain", "value": 40})");
        QTRY_COMPARE(got.size(), std::size_t(2));
        QCOMPARE(got[0]["id"].get<int>(), 7);
        QCOMPARE(got[0]["result"].get<std::string>(), std::string("ok"));
        QCOMPARE(got[1]["status"].get<int>(), 422);
        QCOMPARE(got[1]["message"].get<std::string>(), std::string("Input range:[-90,+12]"));
        QTRY_COMPARE(App().VirtualDevice()->Parameters().OutCH[2].Mute, std::uint8_t(1));
        QCOMPARE(App().Params().OutCH[2].Mute, std::uint8_t(1));
    }

    void aWebSocketWithoutATokenMustSayWhoItIsFirst() {
        QVERIFY(StartServer());
        QWebSocket* anonymous = OpenWebSocket("");
        std::vector<nlohmann::json> got;
        connect(anonymous, &QWebSocket::textMessageReceived,
                [&](const QString& t) { got.push_back(nlohmann::json::parse(t.toStdString())); });
        QTRY_VERIFY(anonymous->state() == QAbstractSocket::ConnectedState);
        anonymous->sendTextMessage(R"({"id": 1, "command": "set", "path": "/devices/1/outputs/3/mute", "value": true})");
        QTRY_COMPARE(got.size(), std::size_t(1));
        QCOMPARE(got[0]["status"].get<int>(), 401);
        QTRY_VERIFY(anonymous->state() == QAbstractSocket::UnconnectedState);
        QCOMPARE(App().Params().OutCH[2].Mute, std::uint8_t(0));

        QWebSocket* browser = OpenWebSocket("");
        got.clear();
        connect(browser, &QWebSocket::textMessageReceived,
                [&](const QString& t) { got.push_back(nlohmann::json::parse(t.toStdString())); });
        QTRY_VERIFY(browser->state() == QAbstractSocket::ConnectedState);
        browser->sendTextMessage(QString::fromStdString(nlohmann::json{{"id", 1}, {"command", "auth"}, {"token", viewer}}.dump()));
        QTRY_COMPARE(got.size(), std::size_t(1));
        QCOMPARE(got[0]["role"].get<std::string>(), std::string("viewer"));
        browser->sendTextMessage(R"({"id": 2, "command": "get", "path": "/devices/1/outputs/3/mute"})");
        QTRY_COMPARE(got.size(), std::size_t(2));
        QCOMPARE(got[1]["data"]["value"].get<bool>(), false);
    }

    void aWindowEditReachesASubscribedClientWithItsAuthor() {
        QVERIFY(StartServer());
        QWebSocket* ws = OpenWebSocket(viewer);
        std::vector<nlohmann::json> events;
        bool subscribed = false;
        connect(ws, &QWebSocket::textMessageReceived, [&](const QString& t) {
            const auto j = nlohmann::json::parse(t.toStdString());
            if (j.contains("event")) events.push_back(j);
            if (j.value("id", 0) == 1) subscribed = j["result"] == "ok";
        });
        QTRY_VERIFY(ws->state() == QAbstractSocket::ConnectedState);
        ws->sendTextMessage(R"({"id": 1, "command": "subscribe", "changes": true})");
        QTRY_VERIFY(subscribed);
        MuteEditor(App().Context()).Set({Section::Output, 4}, true);
        QTRY_VERIFY(!events.empty());
        QCOMPARE(events[0]["setting"].get<std::string>(), std::string("out 5 mute"));
        QCOMPARE(events[0]["by"].get<std::string>(), std::string("window"));
        // Another client's edit names that client.
        events.clear();
        QCOMPARE(Request(Port(), "PUT", "/api/v1/devices/1/outputs/2/gain", operatorToken, R"({"value": -3})").status, 200);
        QTRY_VERIFY(!events.empty());
        QCOMPARE(events[0]["by"].get<std::string>(), std::string("tablet"));
    }

    void levelsArriveForTheChosenProcessorUpToTenAHertz() {
        QVERIFY(StartServer());
        QWebSocket* ws = OpenWebSocket(viewer);
        std::vector<nlohmann::json> got;
        connect(ws, &QWebSocket::textMessageReceived, [&](const QString& t) { got.push_back(nlohmann::json::parse(t.toStdString())); });
        QTRY_VERIFY(ws->state() == QAbstractSocket::ConnectedState);
        ws->sendTextMessage(R"({"id": 1, "command": "subscribe", "levels": {"device": 1, "rate": 50}})");
        QTRY_COMPARE(got.size(), std::size_t(1));
        QCOMPARE(got[0]["status"].get<int>(), 422);
        ws->sendTextMessage(R"({"id": 2, "command": "subscribe", "levels": {"device": 1, "rate": 10}})");
        QTRY_VERIFY(std::count_if(got.begin(), got.end(), [](const auto& j) { return j.value("event", "") == "levels"; }) >= 3);
        const auto levels = std::find_if(got.begin(), got.end(), [](const auto& j) { return j.value("event", "") == "levels"; });
        QCOMPARE((*levels)["outputs"].size(), std::size_t(8));
    }

    void twoHundredWebSocketClientsAreServedAtOnce() {
        ui::RemoteSettings settings;
        settings.connectionsPerAddress = 250;
        settings.requestsPerSecond = 1000;
        settings.requestBurst = 1000;
        QVERIFY(StartServer(settings));
        std::vector<QWebSocket*> clients;
        int answered = 0;
        for (int i = 0; i < 200; ++i) {
            QWebSocket* ws = OpenWebSocket(viewer);
            connect(ws, &QWebSocket::connected, [ws] { ws->sendTextMessage(R"({"id": 1, "command": "get", "path": "/devices/1/outputs/1/mute"})"); });
            connect(ws, &QWebSocket::textMessageReceived, [&](const QString& t) { answered += t.contains("\"ok\""); });
            clients.push_back(ws);
        }
        QTRY_COMPARE_WITH_TIMEOUT(answered, 200, 30000);
        QCOMPARE(server->WebSocketClients(), 200);
        for (QWebSocket* ws : clients) ws->close();
        QTRY_COMPARE(server->WebSocketClients(), 0);
    }

    void programsAreListedRecalledStoredAndDeleted() {
        QVERIFY(StartServer());
        const Reply list = Request(Port(), "GET", "/api/v1/devices/1/programs", viewer);
        QCOMPARE(list.status, 200);
        QCOMPARE(Json(list)["programs"].size(), std::size_t(40));
        QCOMPARE(Request(Port(), "POST", "/api/v1/devices/1/programs/2/recall", viewer).status, 403);
        const Reply recalled = Request(Port(), "POST", "/api/v1/devices/1/programs/2/recall", operatorToken);
        QCOMPARE(recalled.status, 200);
        QCOMPARE(int(App().Info().ProgramNo), 2);
        QCOMPARE(int(App().VirtualDevice()->Info().ProgramNo), 2);
        QVERIFY(App().Params() == App().VirtualDevice()->Parameters());
        // An installer stores the settings as program 9 with a name, then deletes program 3.
        QCOMPARE(Request(Port(), "PUT", "/api/v1/devices/1/programs/9", operatorToken, R"({"name": "Encore"})").status, 403);
        const Reply stored = Request(Port(), "PUT", "/api/v1/devices/1/programs/9", installer, R"({"name": "Encore"})");
        QCOMPARE(stored.status, 200);
        const auto nine = App().VirtualDevice()->ProgramAt(9);
        QVERIFY(nine.has_value());
        QCOMPARE(std::string(nine->name, 6), std::string("Encore"));
        QCOMPARE(int(App().Info().ProgramNo), 9);
        QCOMPARE(Request(Port(), "DELETE", "/api/v1/devices/1/programs/9", installer).status, 409);
        QCOMPARE(Request(Port(), "DELETE", "/api/v1/devices/1/programs/3", installer).status, 200);
        QVERIFY(!App().VirtualDevice()->ProgramAt(3).has_value());
    }

    void theInstallersLockRefusesAnOperatorUntilTheWindowBreaksIt() {
        QVERIFY(StartServer());
        QSignalSpy locked(server.get(), &ui::RemoteServer::lockChanged);
        QCOMPARE(Request(Port(), "POST", "/api/v1/lock", installer).status, 200);
        QCOMPARE(locked.count(), 1);
        const Reply r = Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/mute", operatorToken, R"({"value": true})");
        QCOMPARE(r.status, 409);
        QCOMPARE(Json(r)["message"].get<std::string>(), std::string("the rig is locked by laptop"));
        server->Api().BreakLock("window");
        QCOMPARE(Request(Port(), "PUT", "/api/v1/devices/1/outputs/3/mute", operatorToken, R"({"value": true})").status, 200);
    }
};

QTEST_MAIN(RemoteServerTest)
#include "test_remote_server.moc"
