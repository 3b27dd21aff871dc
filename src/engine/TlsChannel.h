#pragma once
// A TLS client session on a connected TCP socket, driven by the Qt event loop: OpenSSL reads
// straight from the descriptor, and the decrypted bytes go into the caller's buffer without a
// stop in a buffer of Qt's. Every secure connection of the program goes through it, so its
// trust rules are the program's: the system's certificates plus those of $SSL_CERT_FILE, peer
// and host name verified, TLS 1.2 or newer.
//
// The channel owns a duplicate of the descriptor given to Start and closes it when destroyed.
// The socket the descriptor came from must not read any more: abort or delete it right after
// Start, before the event loop runs again (the connection lives on in the duplicate).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;
struct ssl_st;
struct x509_store_ctx_st;

class TlsChannel : public QObject {
    Q_OBJECT
public:
    explicit TlsChannel(QObject* parent = nullptr);
    ~TlsChannel() override;  // frees the session and closes the descriptor it owns
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Takes over the connected socket's descriptor (a duplicate of it, set non-blocking) and
    // starts the handshake for host: SNI and the name checked against the certificate; an IP
    // address ("127.0.0.1", "::1" or "[::1]") is checked as an address and sent without SNI.
    // Emits Secured() when the server is verified, or Failed(reason); never from inside Start.
    void Start(qintptr socketDescriptor, const QString& host);
    // Off: the socket is not watched for bytes (a reader held back by a speed limit); on again,
    // ReadyRead follows when bytes wait.
    void SetReading(bool on);
    // Decrypted bytes into buf, up to max: > 0 the count; 0 the server ended TLS in order (its
    // close notice); -1 nothing now (ReadyRead() will come; also before Secured); -2 the
    // connection failed or was cut without the close notice (ErrorText() says why). Once 0 or
    // -2 came, every later call gives the same.
    qint64 Read(char* buf, qint64 max);
    // Sends all bytes; what the socket does not take now goes when it is writable. Bytes given
    // before Secured wait for the verified server (and are dropped on failure). False on
    // failure (ErrorText()); Failed is not emitted for it.
    bool Write(const QByteArray& bytes);
    QString ErrorText() const;
    // The server was verified and the channel has not failed since (true after its close notice).
    bool IsSecured() const;

signals:
    void Secured();
    void ReadyRead();  // new bytes may be readable (also after the peer closed)
    // A failure found while the event loop drives the channel: the handshake (a refused
    // certificate gives "Certificate error: " and the reasons, joined by "; ") or the sending of
    // bytes Write left waiting. Failures that Read and Write return are not emitted again.
    void Failed(const QString& reason);

private:
    enum class State { Idle, Handshake, Secured, Ended, Broken };

    static int OnVerify(int ok, x509_store_ctx_st* store);
    static int VerifyChain(x509_store_ctx_st* store, void* arg);

    void ContinueHandshake();
    void OnReadable();
    void OnWritable();
    // Sends the waiting bytes as far as the socket takes them; false on failure (errorText set).
    bool Flush();
    // The text of a failed OpenSSL call, from its SSL_get_error code.
    QString IoErrorText(int sslError, int savedErrno) const;
    // Ends the channel for good with reason; emits Failed when emit is set.
    void Break(const QString& reason, bool emitFailed);
    void WatchWrite(bool on);
    void PostReadyRead();

    ssl_st* ssl = nullptr;
    int fd = -1;
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
    State state = State::Idle;
    QByteArray waiting;      // bytes of Write the socket has not taken yet
    QStringList certErrors;  // reasons found while verifying the server's certificate
    QString errorText;
    bool readWantsWrite = false;  // a Read stopped for want of write readiness
    bool flushWantsRead = false;  // a Flush stopped for want of read readiness
    bool readyPosted = false;
};
