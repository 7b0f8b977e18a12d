// Plain HTTP exchanges with the remote-control server on loopback, for the tests: raw bytes out (so
// that a test can send what no client library would), the whole response back, waiting on the event
// loop that the server runs on.
#pragma once

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>
#include <nlohmann/json.hpp>
#include <string>

namespace quellmarin::test {

struct Reply {
    int status = 0;
    std::string body;
    bool closed = false;
};

// One exchange on a fresh connection: the raw request out, the whole response (or the close) back.
inline Reply Exchange(QTcpSocket& socket, const std::string& request, int waitMs = 5000) {
    QByteArray got;
    Reply r;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { got += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { r.closed = true; });
    if (!request.empty()) socket.write(request.data(), static_cast<qint64>(request.size()));
    const auto complete = [&] {
        const int end = got.indexOf("\r\n\r\n");
        if (end < 0) return false;
        const int at = got.indexOf("Content-Length: ");
        const int length = at < 0 ? 0 : got.mid(at + 16, got.indexOf("\r\n", at) - at - 16).toInt();
        return got.size() >= end + 4 + length;
    };
    // A reply that never comes whole is a status of 0, which the test's comparison then names.
    const bool done = QTest::qWaitFor([&] { return complete() || r.closed; }, waitMs);
    if (done && got.startsWith("HTTP/1.1 ")) r.status = got.mid(9, 3).toInt();
    const int end = got.indexOf("\r\n\r\n");
    if (end >= 0) r.body = got.mid(end + 4).toStdString();
    socket.disconnect();
    return r;
}

inline Reply Request(quint16 port, const std::string& method, const std::string& path, const std::string& token,
              const std::string& body = {}, const std::string& extraHeaders = {}) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000)) return {};
    std::string text = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    if (!token.empty()) text += "Authorization: Bearer " + token + "\r\n";
    text += extraHeaders;
    text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    return Exchange(socket, text);
}

inline nlohmann::json Json(const Reply& r) { return nlohmann::json::parse(r.body, nullptr, false); }

} // namespace quellmarin::test
