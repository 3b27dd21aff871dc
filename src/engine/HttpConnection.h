#pragma once
// One HTTP connection as a small state machine: connecting (to the server, or to the proxy in
// front of it), the proxy's tunnel and the TLS handshake for https (TlsChannel: the program's one
// trust path), the request, the response head (interim 1xx answers passed over), the body
// (chunks decoded when asked) and the end of the connection. Every fetch of the program goes
// through it: the download engine's connections, the page analyser and the update check. It
// knows nothing of ranges, files or pages and tells its owner through its signals, which may end
// the connection (Abort) from inside: after an abort no further signal comes.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

#include "engine/ChunkedDecoder.h"
#include "engine/Failure.h"

class QTcpSocket;
class SpeedLimiter;
class TlsChannel;

class HttpConnection : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,          // made, not connecting yet
        Connecting,    // the TCP connection is being made
        Tunnelling,    // asked the proxy for a tunnel (CONNECT), waiting for its answer
        Handshaking,   // TLS with the server is being set up
        Connected,     // ready for the request
        AwaitingHead,  // the request went out; the head of the answer is being read
        Held,          // the head is in; the owner is not ready for the body: nothing is read
        Body,          // reading the body
        Lingering,     // everything owed is in; waiting for the server to close
        Closed,        // aborted or ended; no more signals
    };
    // A response head larger than this without its blank line fails the connection.
    static constexpr int kHeadLimit = 65536;
    // Interim answers (1xx) passed over before one request's real answer.
    static constexpr int kInterimLimit = 16;

    explicit HttpConnection(QObject* parent = nullptr);
    ~HttpConnection() override;

    // Connects to host:port (the proxy's when useProxy). secure: TLS with the server
    // serverHost:serverPort, through a CONNECT tunnel when useProxy.
    void Open(const QString& serverHost, quint16 serverPort, bool secure, bool useProxy,
              const QString& proxyHost, quint16 proxyPort);
    void Send(const QByteArray& request);
    // How the body that follows the head is framed (before StartBody).
    void SetChunked(bool on) { chunked = on; }
    // The body begins, with the bytes that came with the head.
    void StartBody(const char* data, qint64 size);
    // From HeadArrived: the body waits unread (no receive timeout meanwhile) until StartBody.
    void Hold();
    // Every byte owed is in: the server's close is waited for without a timeout.
    void Linger();
    // Ends the connection at once, without signals.
    void Abort();
    // The body is read no faster than the limiter allows (shared with other connections).
    void SetLimiter(SpeedLimiter* shared) { limiter = shared; }

    State CurrentState() const { return state; }
    bool IsSecure() const { return secure; }
    bool IsChunked() const { return chunked; }
    bool InBody() const { return state == State::Body || state == State::Lingering; }
    bool IsLingering() const { return state == State::Lingering; }
    bool ChunksDone() const { return decoder.Done(); }
    // "name:port", and with withAddress "(IP:address)" after it.
    QString PeerText(bool withAddress) const;
    // The failure of a connection that has waited longer than its timeout, none otherwise.
    std::optional<Failure> TimedOut(int connectSeconds, int receiveSeconds) const;
    // Milliseconds since the connect began, the request went out or bytes last came.
    qint64 IdleMs() const { return activity.elapsed(); }

    // The job's bookkeeping for this connection.
    quint64 Serial = 0;
    int32_t RequestPos = 0;   // CurPos when the request was sent
    bool FirstOfRun = true;   // connection 1: the first answer of this run
    qint64 BodyLeft = -1;     // bytes of the answer's body still to come; -1 when not announced
    QElapsedTimer BodyClock;  // since the first byte of the body
    qint64 BodyBytes = 0;     // bytes of the body received
    qint64 Wanted = -1;       // body bytes the job still wants (-1: all there are)

signals:
    // The TCP connection (to the server, or to the proxy) is made; a tunnel and the TLS
    // handshake may follow before Ready. PeerText names the peer from now on.
    void Connected();
    void Ready();  // connected (and tunnelled and secured): the request may go
    void HeadArrived(const QByteArray& head, const QByteArray& rest);
    void Data(const char* data, qint64 size);  // body bytes, chunks decoded
    void ChunksEnded();                        // the last chunk and its trailer
    // The server ended the connection. certain: in order (for TLS: with its close notice).
    void PeerClosed(bool certain);
    // Why the connection failed (its code the socket error's or errno's number, or -1);
    // socketError: the socket layer's own error, -1 for any other failure.
    void Failed(const Failure& failure, int socketError);
    // The job ends at once: a certificate that does not verify, a proxy that refuses the tunnel.
    void Refused(const QString& reason);

private:
    void OnSocketConnected();
    void OnSocketReadable();
    void OnSocketDisconnected();
    void OnSocketError(int error);
    void StartTls();
    void OnTlsReadable();
    bool Process(const char* data, qint64 size);
    bool Feed(const char* data, qint64 size);
    bool Fail(const Failure& failure, int socketError = -1);
    bool Gone() const { return state == State::Closed; }
    qint64 ReadSize() const;
    // What may be read now of want; 0 when the speed limit holds the reading back (it goes on
    // by itself when the limit allows).
    qint64 Allowance(qint64 want);
    void ResumeReading();

    QTcpSocket* sock = nullptr;
    TlsChannel* tls = nullptr;
    SpeedLimiter* limiter = nullptr;
    State state = State::Idle;
    bool secure = false;
    bool useProxy = false;
    QString serverHost;
    quint16 serverPort = 0;
    QString peerName, peerAddress;
    quint16 peerPort = 0;
    QElapsedTimer activity;  // since the connect began, the request went out or bytes came
    QByteArray head;         // head bytes (or the proxy's answer) until the blank line
    int interimAnswers = 0;  // of the current request
    bool chunked = false;
    ChunkedDecoder decoder;
    QByteArray plain;  // decoded chunk data of one read
};
