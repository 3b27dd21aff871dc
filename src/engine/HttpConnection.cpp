#include "engine/HttpConnection.h"

#include <sys/socket.h>

#include <QPointer>
#include <QTcpSocket>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/HttpHead.h"
#include "engine/SpeedLimiter.h"
#include "engine/TlsChannel.h"
#include "engine/TlsSetup.h"

namespace {

constexpr qint64 kReadChunk = 256 * 1024;
// Reads per notification, so one fast connection does not hold up the others and the window.
constexpr int kChunksPerNotification = 4;
// What a read of a head takes at most while a speed limit holds.
constexpr qint64 kHeadReadUnderLimit = 4096;
// QAbstractSocket::SocketTimeoutError, the number in front of a timeout's "Error" report.
constexpr int kTimeoutErrorNumber = 5;

}  // namespace

HttpConnection::HttpConnection(QObject* parent) : QObject(parent) {}

HttpConnection::~HttpConnection() {
    Abort();
}

void HttpConnection::Open(const QString& host, quint16 port, bool secureServer, bool viaProxy,
                          const QString& proxyHost, quint16 proxyPort) {
    secure = secureServer;
    useProxy = viaProxy;
    serverHost = host;
    serverPort = port;
    state = State::Connecting;
    activity.start();
    sock = new QTcpSocket(this);
    connect(sock, &QTcpSocket::connected, this, &HttpConnection::OnSocketConnected);
    connect(sock, &QTcpSocket::readyRead, this, &HttpConnection::OnSocketReadable);
    connect(sock, &QTcpSocket::disconnected, this, &HttpConnection::OnSocketDisconnected);
    connect(sock, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError e) { OnSocketError(static_cast<int>(e)); });
    // Unbuffered: the reader takes the bytes from the socket itself and so can tell an orderly
    // close from a reset.
    sock->connectToHost(useProxy ? proxyHost : host, useProxy ? proxyPort : port,
                        QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void HttpConnection::Abort() {
    state = State::Closed;
    if (limiter != nullptr) limiter->Forget(this);
    if (tls != nullptr) {
        tls->disconnect(this);
        tls->deleteLater();
        tls = nullptr;
    }
    if (sock != nullptr) {
        sock->disconnect(this);
        sock->abort();
        sock->deleteLater();
        sock = nullptr;
    }
}

QString HttpConnection::PeerText(bool withAddress) const {
    QString text = peerName + QLatin1Char(':') + QString::number(peerPort);
    if (withAddress) text += QStringLiteral("(IP:") + peerAddress + QLatin1Char(')');
    return text;
}

std::optional<Failure> HttpConnection::TimedOut(int connectSeconds, int receiveSeconds) const {
    const bool waitingToSend = state == State::Connecting || state == State::Tunnelling ||
                               state == State::Handshaking || state == State::Connected;
    const bool owed = state == State::AwaitingHead || state == State::Body;
    if (waitingToSend && connectSeconds > 0 && activity.hasExpired(qint64(connectSeconds) * 1000))
        return Failure{
            kTimeoutErrorNumber, true,
            QStringLiteral("Connect timeout: not connected after %1 seconds").arg(connectSeconds)};
    if (owed && receiveSeconds > 0 && activity.hasExpired(qint64(receiveSeconds) * 1000))
        return Failure{
            kTimeoutErrorNumber, true,
            QStringLiteral("Receive timeout: nothing received for %1 seconds").arg(receiveSeconds)};
    return std::nullopt;
}

bool HttpConnection::Fail(const Failure& failure, int socketError) {
    // The job looks at the state first; it ends the connection (or it ends here).
    emit Failed(failure, socketError);
    if (!Gone()) Abort();
    return false;
}

void HttpConnection::OnSocketConnected() {
    if (Gone()) return;
    peerName = sock->peerName();
    peerPort = sock->peerPort();
    peerAddress = sock->peerAddress().toString();
    emit Connected();
    if (Gone()) return;
    if (secure && useProxy) {
        // The tunnel first; the handshake follows the proxy's answer.
        state = State::Tunnelling;
        sock->write(TlsSetup::ConnectRequest(serverHost, serverPort));
        return;
    }
    if (secure) {
        StartTls();
        return;
    }
    state = State::Connected;
    emit Ready();
}

void HttpConnection::StartTls() {
    state = State::Handshaking;
    tls = new TlsChannel(this);
    connect(tls, &TlsChannel::Secured, this, [this] {
        if (Gone()) return;
        state = State::Connected;
        emit Ready();
    });
    connect(tls, &TlsChannel::ReadyRead, this, &HttpConnection::OnTlsReadable);
    connect(tls, &TlsChannel::Failed, this, [this](const QString& reason) {
        if (Gone()) return;
        if (reason.startsWith(QLatin1String("Certificate error: "))) {
            Abort();
            emit Refused(reason);
            return;
        }
        Fail(Failure::Of(reason));
    });
    tls->Start(sock->socketDescriptor(), serverHost);
    // The channel reads from its own copy of the descriptor from now on.
    sock->disconnect(this);
    sock->abort();
    sock->deleteLater();
    sock = nullptr;
}

void HttpConnection::Send(const QByteArray& request) {
    if (Gone()) return;
    head.clear();
    interimAnswers = 0;
    state = State::AwaitingHead;
    activity.start();
    if (tls != nullptr) {
        if (!tls->Write(request)) Fail(Failure::Of(tls->ErrorText()));
        return;
    }
    sock->write(request);
}

void HttpConnection::StartBody(const char* data, qint64 size) {
    if (Gone()) return;
    const bool held = state == State::Held;
    decoder = ChunkedDecoder();
    state = State::Body;
    // Body bytes that came with the head were read before the limit could hold them: they count.
    if (limiter != nullptr) limiter->Charge(size);
    activity.start();
    // What came while the body was held is read now; the socket tells only of newer bytes.
    if (Feed(data, size) && held) ResumeReading();
}

void HttpConnection::Hold() {
    if (state == State::AwaitingHead) state = State::Held;
}

qint64 HttpConnection::ReadSize() const {
    // Near the end of what is wanted only that much is taken: the rest stays unread in the
    // socket (or the TLS layer) when the connection closes.
    if (state != State::Body || chunked || Wanted <= 0) return kReadChunk;
    return std::min(kReadChunk, Wanted);
}

qint64 HttpConnection::Allowance(qint64 want) {
    if (limiter == nullptr || limiter->Rate() == 0) return want;
    // A head is read in small pieces, so that little of the body comes with it unheld.
    if (!InBody()) return std::min<qint64>(want, kHeadReadUnderLimit);
    QPointer<HttpConnection> self(this);
    const qint64 granted = limiter->Take(this, want, [self] {
        if (self) self->ResumeReading();
    });
    if (granted == 0) {
        // Held back by the limit, not by the server: no receive timeout meanwhile.
        activity.start();
        if (tls != nullptr) tls->SetReading(false);
    }
    return granted;
}

void HttpConnection::ResumeReading() {
    if (Gone()) return;
    if (tls != nullptr) {
        tls->SetReading(true);
        OnTlsReadable();
    } else if (sock != nullptr) {
        OnSocketReadable();
    }
}

void HttpConnection::Linger() {
    if (!Gone()) state = State::Lingering;
}

void HttpConnection::OnSocketReadable() {
    static thread_local QByteArray buffer;
    if (buffer.size() < kReadChunk) buffer.resize(kReadChunk);
    QPointer<HttpConnection> self(this);
    for (int chunk = 0; chunk < kChunksPerNotification && !Gone() && state != State::Held;
         ++chunk) {
        activity.start();
        // Look before reading: the socket layer reports a reset like an orderly close, and only
        // an orderly close may end a body whose length was not announced.
        char probe = 0;
        const ssize_t seen =
            ::recv(static_cast<int>(sock->socketDescriptor()), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (seen == 0) {
            emit PeerClosed(true);
            if (!Gone()) Abort();
            return;
        }
        if (seen < 0) {
            const int e = errno;
            if (e == EINTR) continue;
            if (e == EAGAIN || e == EWOULDBLOCK) {
                // Nothing there: this read asks the socket for the next notification. Bytes that
                // came in since the look are the answer's like any others.
                const qint64 want = Allowance(ReadSize());
                if (want == 0) return;
                const qint64 n = sock->read(buffer.data(), want);
                if (limiter != nullptr && n < want)
                    limiter->GiveBack(want - std::max<qint64>(n, 0));
                if (n > 0) Process(buffer.constData(), n);
                if (n < 0 && !Gone())
                    Fail(Failure::Of(QStringLiteral("The connection was closed unexpectedly")));
                return;
            }
            Fail({e, true, QString::fromLocal8Bit(std::strerror(e))});
            return;
        }
        const qint64 want = Allowance(ReadSize());
        if (want == 0) return;
        const qint64 n = sock->read(buffer.data(), want);
        if (limiter != nullptr && n < want) limiter->GiveBack(want - std::max<qint64>(n, 0));
        if (n <= 0) return;
        if (!Process(buffer.constData(), n)) return;
    }
}

void HttpConnection::OnTlsReadable() {
    static thread_local QByteArray buffer;
    if (buffer.size() < kReadChunk) buffer.resize(kReadChunk);
    // Every decrypted byte is taken now: the channel tells again only when new bytes arrive.
    while (!Gone() && tls != nullptr) {
        if (state == State::Held) {
            tls->SetReading(false);
            return;
        }
        const qint64 want = Allowance(ReadSize());
        if (want == 0) return;
        const qint64 n = tls->Read(buffer.data(), want);
        if (limiter != nullptr && n < want) limiter->GiveBack(want - std::max<qint64>(n, 0));
        if (n == -1) return;
        if (n <= 0) {
            emit PeerClosed(n == 0);
            if (!Gone()) Abort();
            return;
        }
        activity.start();
        if (!Process(buffer.constData(), n)) return;
    }
}

void HttpConnection::OnSocketDisconnected() {
    if (Gone()) return;
    // The reader sees an orderly close first; this comes only when the socket layer gave the
    // connection up by itself, which does not end the data in order.
    Fail(Failure::Of(QStringLiteral("The connection was closed unexpectedly")));
}

void HttpConnection::OnSocketError(int error) {
    if (Gone()) return;
    Fail({error, true, sock->errorString()}, error);
}

bool HttpConnection::Process(const char* data, qint64 size) {
    if (state == State::Body || state == State::Lingering) return Feed(data, size);
    head.append(data, size);
    // Just after the blank line that ends the head; -1 while it has not come.
    const qsizetype after = HttpHead::End(head);
    if (state == State::Tunnelling) {
        // The proxy's answer to CONNECT, up to its blank line; nothing of the server comes
        // before the handshake.
        if (after < 0) {
            if (head.size() > kHeadLimit)
                return Fail(Failure::Of(
                    QStringLiteral("Proxy answer larger than %1 bytes").arg(kHeadLimit)));
            return true;
        }
        const QString refused = TlsSetup::TunnelAnswer(head.left(after));
        head.clear();
        if (!refused.isEmpty()) {
            Abort();
            emit Refused(refused);
            return false;
        }
        StartTls();
        return false;
    }
    if (state != State::AwaitingHead) return true;
    for (qsizetype headEnd = after;; headEnd = HttpHead::End(head)) {
        if (headEnd < 0 || headEnd > kHeadLimit) {
            if (head.size() > kHeadLimit || headEnd >= 0)
                return Fail(Failure::Of(
                    QStringLiteral("Response head larger than %1 bytes").arg(kHeadLimit)));
            return true;
        }
        const QByteArray headBytes = HttpHead::WithCrLf(head.left(headEnd));
        QByteArray rest = head.mid(headEnd);
        head.clear();
        // An interim answer (100 Continue, 103 Early Hints) comes before the real one and says
        // nothing about the file: it is passed over, and the real head follows.
        const QString text = QString::fromLatin1(headBytes);
        const int code = HttpHead::StatusCode(text);
        if (code >= 100 && code <= 199 && code != 101) {
            if (++interimAnswers > kInterimLimit)
                return Fail(Failure::Of(QStringLiteral("More than %1 interim answers (%2)")
                                            .arg(kInterimLimit)
                                            .arg(HttpHead::StatusLine(text))));
            head = std::move(rest);
            continue;
        }
        if (const QString unreadable = HttpHead::Unreadable(text); !unreadable.isEmpty())
            return Fail(Failure::Of(unreadable));
        // The job answers with StartBody (or ends the connection).
        emit HeadArrived(headBytes, rest);
        return !Gone();
    }
}

bool HttpConnection::Feed(const char* data, qint64 size) {
    if (!chunked) {
        emit Data(data, size);
        return !Gone();
    }
    // Chunked transfer coding: only the chunks' data is the answer's.
    plain.clear();
    if (!decoder.Feed(data, size, plain))
        return Fail(Failure::Of(QStringLiteral("Bad chunked data")));
    const bool done = decoder.Done();
    if (plain.isEmpty() && !done) return true;
    const QByteArray bytes = std::move(plain);
    plain = QByteArray();
    emit Data(bytes.constData(), bytes.size());
    if (Gone()) return false;
    if (!done) return true;
    emit ChunksEnded();
    return !Gone();
}
