#include "engine/TlsChannel.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QUrl>
#include <cerrno>
#include <cstring>

namespace {

// The descriptor's BIO: plain read and send on the socket. send with MSG_NOSIGNAL, so that a
// write to a connection the server has closed gives EPIPE instead of killing the program.
int Fd(BIO* b) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b)));
}

int SocketRead(BIO* b, char* data, int len) {
    BIO_clear_retry_flags(b);
    ssize_t n;
    do n = ::read(Fd(b), data, static_cast<size_t>(len));
    while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(b);
    if (n == 0) BIO_set_flags(b, BIO_FLAGS_IN_EOF);
    return static_cast<int>(n);
}

int SocketWrite(BIO* b, const char* data, int len) {
    BIO_clear_retry_flags(b);
    ssize_t n;
    do n = ::send(Fd(b), data, static_cast<size_t>(len), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(b);
    return static_cast<int>(n);
}

long SocketCtrl(BIO* b, int cmd, long, void*) {
    switch (cmd) {
        case BIO_CTRL_FLUSH:
        case BIO_CTRL_DUP:
            return 1;
        case BIO_CTRL_EOF:
            return BIO_test_flags(b, BIO_FLAGS_IN_EOF) != 0;
        default:
            return 0;
    }
}

int SocketCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

BIO_METHOD* SocketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "quorvanta socket");
        BIO_meth_set_read(m, SocketRead);
        BIO_meth_set_write(m, SocketWrite);
        BIO_meth_set_ctrl(m, SocketCtrl);
        BIO_meth_set_create(m, SocketCreate);
        return m;
    }();
    return method;
}

QString OpenSslErrorText() {
    QStringList texts;
    while (const unsigned long e = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(e, text, sizeof text);
        texts << QString::fromLatin1(text);
    }
    return texts.join(QStringLiteral("; "));
}

// The SSL_CTX all channels share, made on first use and again only when SSL_CERT_FILE names
// another file (the sessions keep a reference to the one they were made with).
SSL_CTX* SharedContext(int (*verify)(int, X509_STORE_CTX*),
                       int (*verifyChain)(X509_STORE_CTX*, void*)) {
    static SSL_CTX* context = nullptr;
    static QByteArray madeFor;
    const QByteArray bundle = qgetenv("SSL_CERT_FILE");
    if (context != nullptr && bundle == madeFor) return context;
    SSL_CTX* c = SSL_CTX_new(TLS_client_method());
    if (c == nullptr) return nullptr;
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER, verify);
    SSL_CTX_set_cert_verify_callback(c, verifyChain, nullptr);
    SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Whole socket reads of several records instead of a header and a body read per record.
    SSL_CTX_set_read_ahead(c, 1);
    SSL_CTX_set_default_read_buffer_len(c, 64 * 1024);
    // The system's store by its built-in places: SSL_CTX_set_default_verify_paths would take
    // the file of SSL_CERT_FILE instead of the system's file, and we want both.
    X509_STORE* store = SSL_CTX_get_cert_store(c);
    X509_STORE_load_file(store, X509_get_default_cert_file());
    X509_STORE_load_path(store, X509_get_default_cert_dir());
    if (!bundle.isEmpty()) X509_STORE_load_file(store, bundle.constData());
    ERR_clear_error();  // a missing store file is not an error of any connection
    SSL_CTX_free(context);
    context = c;
    madeFor = bundle;
    return context;
}

TlsChannel* ChannelOf(X509_STORE_CTX* store) {
    auto* s =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    return s == nullptr ? nullptr : static_cast<TlsChannel*>(SSL_get_app_data(s));
}

}  // namespace

// Every problem of the chain is noted and verification goes on, so that the failure names all
// of them; VerifyChain refuses the chain at the end.
int TlsChannel::OnVerify(int ok, X509_STORE_CTX* store) {
    if (ok) return 1;
    TlsChannel* channel = ChannelOf(store);
    if (channel == nullptr) return 0;
    const QString text =
        QString::fromLatin1(X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)));
    if (!channel->certErrors.contains(text)) channel->certErrors << text;
    return 1;
}

int TlsChannel::VerifyChain(X509_STORE_CTX* store, void*) {
    TlsChannel* channel = ChannelOf(store);
    const int verified = X509_verify_cert(store);
    if (channel == nullptr) return verified > 0 ? 1 : 0;
    if (verified > 0 && channel->certErrors.isEmpty()) return 1;
    int error = X509_STORE_CTX_get_error(store);
    if (error == X509_V_OK) error = X509_V_ERR_UNSPECIFIED;
    if (channel->certErrors.isEmpty())
        channel->certErrors << QString::fromLatin1(X509_verify_cert_error_string(error));
    X509_STORE_CTX_set_error(store, error);
    return 0;
}

TlsChannel::TlsChannel(QObject* parent) : QObject(parent) {}

TlsChannel::~TlsChannel() {
    if (ssl != nullptr) {
        // A polite close notice where the connection still works; nobody waits for the answer.
        if (state == State::Secured) SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    ERR_clear_error();
    if (fd >= 0) ::close(fd);
}

void TlsChannel::Start(qintptr socketDescriptor, const QString& host) {
    if (state != State::Idle) return;
    state = State::Handshake;
    fd = socketDescriptor < 0 ? -1 : ::fcntl(int(socketDescriptor), F_DUPFD_CLOEXEC, 0);
    QString setupError;
    BIO* bio = nullptr;
    if (fd < 0) {
        setupError = QStringLiteral("Cannot take over the connection: ") +
                     QString::fromLocal8Bit(std::strerror(errno));
    } else if (const int flags = ::fcntl(fd, F_GETFL);
               flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        setupError = QStringLiteral("Cannot take over the connection: ") +
                     QString::fromLocal8Bit(std::strerror(errno));
    } else if (SSL_CTX* context = SharedContext(&TlsChannel::OnVerify, &TlsChannel::VerifyChain);
               context == nullptr || (ssl = SSL_new(context)) == nullptr ||
               (bio = BIO_new(SocketMethod())) == nullptr) {
        setupError = QStringLiteral("Cannot set up TLS: ") + OpenSslErrorText();
    } else {
        SSL_set_app_data(ssl, this);
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
        SSL_set_bio(ssl, bio, bio);
        SSL_set_connect_state(ssl);
        QString name = host;
        if (name.startsWith('[') && name.endsWith(']')) name = name.mid(1, name.size() - 2);
        const QHostAddress address(name);
        bool named;
        if (!address.isNull()) {
            named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl),
                                                  address.toString().toLatin1().constData()) == 1;
        } else {
            const QByteArray ace = QUrl::toAce(name);
            SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            named = !ace.isEmpty() && SSL_set_tlsext_host_name(ssl, ace.constData()) == 1 &&
                    SSL_set1_host(ssl, ace.constData()) == 1;
        }
        if (!named) setupError = QStringLiteral("Cannot use the host name ") + host;
    }
    if (setupError.isEmpty()) {
        readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        writeNotifier->setEnabled(false);
        connect(readNotifier, &QSocketNotifier::activated, this, &TlsChannel::OnReadable);
        connect(writeNotifier, &QSocketNotifier::activated, this, &TlsChannel::OnWritable);
    }
    QMetaObject::invokeMethod(
        this,
        [this, setupError] {
            if (!setupError.isEmpty())
                Break(setupError, true);
            else if (state == State::Handshake)
                ContinueHandshake();
        },
        Qt::QueuedConnection);
}

void TlsChannel::ContinueHandshake() {
    ERR_clear_error();
    errno = 0;
    const int r = SSL_do_handshake(ssl);
    if (r != 1) {
        const int savedErrno = errno;
        const int e = SSL_get_error(ssl, r);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            WatchWrite(e == SSL_ERROR_WANT_WRITE);
            return;
        }
        if (!certErrors.isEmpty()) {
            ERR_clear_error();
            Break(QStringLiteral("Certificate error: ") + certErrors.join(QStringLiteral("; ")),
                  true);
        } else {
            Break(QStringLiteral("TLS handshake failed: ") + IoErrorText(e, savedErrno), true);
        }
        return;
    }
    // The chain callback refuses a bad chain; this only guards against a session without one.
    if (SSL_get_verify_result(ssl) != X509_V_OK || SSL_get0_peer_certificate(ssl) == nullptr) {
        const long v = SSL_get_verify_result(ssl);
        Break(QStringLiteral("Certificate error: ") +
                  QString::fromLatin1(
                      X509_verify_cert_error_string(v == X509_V_OK ? X509_V_ERR_UNSPECIFIED : v)),
              true);
        return;
    }
    state = State::Secured;
    WatchWrite(false);
    if (!waiting.isEmpty() && !Flush()) {
        Break(errorText, true);
        return;
    }
    QPointer<TlsChannel> alive(this);
    emit Secured();
    if (alive && state == State::Secured && SSL_has_pending(ssl)) PostReadyRead();
}

void TlsChannel::SetReading(bool on) {
    if (readNotifier != nullptr && state == State::Secured) readNotifier->setEnabled(on);
    if (on && state == State::Secured && SSL_has_pending(ssl)) PostReadyRead();
}

void TlsChannel::OnReadable() {
    if (state == State::Handshake) {
        ContinueHandshake();
        return;
    }
    if (state != State::Secured) {
        if (readNotifier != nullptr) readNotifier->setEnabled(false);
        return;
    }
    if (flushWantsRead && !Flush()) {
        Break(errorText, true);
        return;
    }
    emit ReadyRead();
}

void TlsChannel::OnWritable() {
    if (state == State::Handshake) {
        ContinueHandshake();
        return;
    }
    WatchWrite(false);
    if (state != State::Secured) return;
    if (!waiting.isEmpty() && !Flush()) {
        Break(errorText, true);
        return;
    }
    if (readWantsWrite) {
        readWantsWrite = false;
        emit ReadyRead();
    }
}

qint64 TlsChannel::Read(char* buf, qint64 max) {
    if (state == State::Ended) return 0;
    if (state == State::Broken) return -2;
    if (state != State::Secured || max <= 0) return -1;
    qint64 total = 0;
    // A few records at a time: each SSL_read_ex gives at most one.
    while (total < max) {
        size_t got = 0;
        ERR_clear_error();
        errno = 0;
        if (SSL_read_ex(ssl, buf + total, static_cast<size_t>(max - total), &got) == 1) {
            total += static_cast<qint64>(got);
            continue;
        }
        const int savedErrno = errno;
        const int e = SSL_get_error(ssl, 0);
        if (e == SSL_ERROR_WANT_READ) break;
        if (e == SSL_ERROR_WANT_WRITE) {
            readWantsWrite = true;
            WatchWrite(true);
            break;
        }
        if (e == SSL_ERROR_ZERO_RETURN) {
            // The close notice: everything before it has come.
            state = State::Ended;
            if (readNotifier != nullptr) readNotifier->setEnabled(false);
            WatchWrite(false);
        } else {
            Break(IoErrorText(e, savedErrno), false);
        }
        // Bytes decrypted before the end go out first; the next call tells the end.
        return total > 0 ? total : (state == State::Ended ? 0 : -2);
    }
    // Decrypted or read-ahead bytes wait inside OpenSSL, where no socket notifier sees them.
    if (total == max && SSL_has_pending(ssl)) PostReadyRead();
    return total > 0 ? total : -1;
}

bool TlsChannel::Write(const QByteArray& bytes) {
    if (state == State::Broken || state == State::Ended || state == State::Idle) {
        if (errorText.isEmpty())
            errorText = state == State::Idle
                            ? QStringLiteral("The secure connection is not started")
                            : QStringLiteral("The secure connection has ended");
        return false;
    }
    waiting += bytes;
    if (state == State::Handshake) return true;  // sent once the server is verified
    if (Flush()) return true;
    Break(errorText, false);
    return false;
}

bool TlsChannel::Flush() {
    flushWantsRead = false;
    while (!waiting.isEmpty()) {
        size_t written = 0;
        ERR_clear_error();
        errno = 0;
        if (SSL_write_ex(ssl, waiting.constData(), static_cast<size_t>(waiting.size()), &written) ==
            1) {
            waiting.remove(0, static_cast<qsizetype>(written));
            continue;
        }
        const int savedErrno = errno;
        const int e = SSL_get_error(ssl, 0);
        if (e == SSL_ERROR_WANT_WRITE) {
            WatchWrite(true);
            return true;
        }
        if (e == SSL_ERROR_WANT_READ) {
            flushWantsRead = true;
            return true;
        }
        errorText = IoErrorText(e, savedErrno);
        return false;
    }
    WatchWrite(readWantsWrite);
    return true;
}

QString TlsChannel::IoErrorText(int sslError, int savedErrno) const {
    const unsigned long first = ERR_peek_error();
    if ((sslError == SSL_ERROR_SSL &&
         ERR_GET_REASON(first) == SSL_R_UNEXPECTED_EOF_WHILE_READING) ||
        (sslError == SSL_ERROR_SYSCALL && savedErrno == 0 && first == 0)) {
        ERR_clear_error();
        return QStringLiteral("The secure connection ended without the server's close notice");
    }
    if (sslError == SSL_ERROR_SYSCALL && savedErrno != 0) {
        ERR_clear_error();
        return QStringLiteral("The secure connection failed: ") +
               QString::fromLocal8Bit(std::strerror(savedErrno));
    }
    const QString text = OpenSslErrorText();
    return QStringLiteral("TLS error: ") +
           (text.isEmpty() ? QStringLiteral("code %1").arg(sslError) : text);
}

void TlsChannel::Break(const QString& reason, bool emitFailed) {
    if (state == State::Broken) return;
    state = State::Broken;
    errorText = reason;
    waiting.clear();
    if (readNotifier != nullptr) readNotifier->setEnabled(false);
    WatchWrite(false);
    if (emitFailed) emit Failed(reason);
}

void TlsChannel::WatchWrite(bool on) {
    if (writeNotifier != nullptr && writeNotifier->isEnabled() != on) writeNotifier->setEnabled(on);
}

void TlsChannel::PostReadyRead() {
    if (readyPosted) return;
    readyPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            readyPosted = false;
            if (state == State::Secured) emit ReadyRead();
        },
        Qt::QueuedConnection);
}

QString TlsChannel::ErrorText() const {
    return errorText;
}

bool TlsChannel::IsSecured() const {
    return state == State::Secured || state == State::Ended;
}
