#pragma once
// A test's client of a browser's DevTools protocol (and of Firefox's WebDriver BiDi, whose
// messages are framed the same way): the target list over HTTP, then one target's
// WebSocket (client frames masked, as the protocol wants). Every wait runs the event loop, so the
// program's window in the same process keeps working meanwhile.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QTcpSocket>

class DevToolsSession {
public:
    explicit DevToolsSession(quint16 port) : port(port) {}
    // GET /json/list: the targets, or an empty list when the browser does not answer.
    QJsonArray Targets();
    // Opens the WebSocket of a target's webSocketDebuggerUrl.
    bool Attach(const QString& webSocketUrl);
    // Sends one command and waits for its answer (the whole answer object; empty on timeout).
    QJsonObject Call(const QString& method, const QJsonObject& params, int timeoutMs = 30000);

private:
    void SendFrame(const QByteArray& text);
    // Complete text messages taken from the socket so far.
    void ReadFrames();

    quint16 port;
    QTcpSocket socket;
    QByteArray buffer;
    QList<QJsonObject> messages;
    int nextId = 1;
};
