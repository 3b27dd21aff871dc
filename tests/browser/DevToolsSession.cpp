#include "browser/DevToolsSession.h"

#include <QJsonDocument>
#include <QUrl>

#include "common/TestEnv.h"

QJsonArray DevToolsSession::Targets() {
    QTcpSocket http;
    http.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!TestEnv::WaitFor([&] { return http.state() == QAbstractSocket::ConnectedState; }, 2000))
        return {};
    http.write("GET /json/list HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    TestEnv::WaitFor(
        [&] {
            reply += http.readAll();
            return http.state() == QAbstractSocket::UnconnectedState;
        },
        5000);
    reply += http.readAll();
    const qsizetype body = reply.indexOf("\r\n\r\n");
    if (body < 0) return {};
    return QJsonDocument::fromJson(reply.mid(body + 4)).array();
}

bool DevToolsSession::Attach(const QString& webSocketUrl) {
    const QUrl url(webSocketUrl);
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!TestEnv::WaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 5000))
        return false;
    socket.write(
        "GET " + url.path().toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QByteArray head;
    if (!TestEnv::WaitFor(
            [&] {
                head += socket.readAll();
                return head.contains("\r\n\r\n");
            },
            5000))
        return false;
    buffer = head.mid(head.indexOf("\r\n\r\n") + 4);
    return head.startsWith("HTTP/1.1 101");
}

void DevToolsSession::SendFrame(const QByteArray& text) {
    QByteArray frame;
    frame.append(char(0x81));
    const quint64 size = static_cast<quint64>(text.size());
    if (size < 126) {
        frame.append(char(0x80 | size));
    } else if (size < 65536) {
        frame.append(char(0x80 | 126));
        frame.append(char(size >> 8)).append(char(size & 0xFF));
    } else {
        frame.append(char(0x80 | 127));
        for (int shift = 56; shift >= 0; shift -= 8) frame.append(char((size >> shift) & 0xFF));
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(mask, 4);
    for (qsizetype i = 0; i < text.size(); ++i) frame.append(char(text[i] ^ mask[i % 4]));
    socket.write(frame);
}

void DevToolsSession::ReadFrames() {
    buffer += socket.readAll();
    for (;;) {
        if (buffer.size() < 2) return;
        const auto* b = reinterpret_cast<const unsigned char*>(buffer.constData());
        quint64 size = b[1] & 0x7F;
        qsizetype at = 2;
        if (size == 126) {
            if (buffer.size() < 4) return;
            size = (quint64(b[2]) << 8) | b[3];
            at = 4;
        } else if (size == 127) {
            if (buffer.size() < 10) return;
            size = 0;
            for (int i = 0; i < 8; ++i) size = (size << 8) | b[2 + i];
            at = 10;
        }
        if (static_cast<quint64>(buffer.size() - at) < size) return;
        const QByteArray payload = buffer.mid(at, static_cast<qsizetype>(size));
        const int opcode = b[0] & 0x0F;
        buffer.remove(0, at + static_cast<qsizetype>(size));
        if (opcode == 1) messages << QJsonDocument::fromJson(payload).object();
    }
}

QJsonObject DevToolsSession::Call(const QString& method, const QJsonObject& params, int timeoutMs) {
    const int id = nextId++;
    SendFrame(QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}})
                  .toJson(QJsonDocument::Compact));
    QJsonObject answer;
    TestEnv::WaitFor(
        [&] {
            ReadFrames();
            for (qsizetype i = 0; i < messages.size(); ++i)
                if (messages[i].value("id").toInt() == id) {
                    answer = messages.takeAt(i);
                    return true;
                }
            return false;
        },
        timeoutMs);
    return answer;
}
