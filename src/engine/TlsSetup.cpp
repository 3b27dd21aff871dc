#include "engine/TlsSetup.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslSocket>
#include <QStringList>

namespace TlsSetup {

namespace {

QList<QSslCertificate> ExtraCertificates() {
    const QByteArray path = qgetenv("SSL_CERT_FILE");
    if (path.isEmpty()) return {};
    return QSslCertificate::fromPath(QString::fromLocal8Bit(path), QSsl::Pem);
}

}  // namespace

QSslConfiguration Configuration() {
    // Made again only when SSL_CERT_FILE names another file.
    static QByteArray madeFor;
    static QSslConfiguration config;
    static bool made = false;
    const QByteArray extra = qgetenv("SSL_CERT_FILE");
    if (!made || extra != madeFor) {
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        QList<QSslCertificate> cas = QSslConfiguration::systemCaCertificates();
        cas += ExtraCertificates();
        c.setCaCertificates(cas);
        c.setPeerVerifyMode(QSslSocket::VerifyPeer);
        c.setProtocol(QSsl::TlsV1_2OrLater);
        config = c;
        madeFor = extra;
        made = true;
    }
    return config;
}

QTcpSocket* MakeSocket(bool secure, QObject* parent) {
    if (!secure) return new QTcpSocket(parent);
    auto* s = new QSslSocket(parent);
    s->setSslConfiguration(Configuration());
    return s;
}

void StartClientTls(QSslSocket* socket, const QString& host) {
    socket->setPeerVerifyName(host);
    socket->startClientEncryption();
}

QByteArray ConnectRequest(const QString& host, quint16 port) {
    QByteArray authority;
    for (const QChar ch : host)
        if (ch.unicode() > 0x20 && ch.unicode() < 0x7f)
            authority += static_cast<char>(ch.unicode());
    authority += ':' + QByteArray::number(port);
    return "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n";
}

QString TunnelAnswer(const QByteArray& head) {
    const qsizetype eol = head.indexOf("\r\n");
    const QByteArray line = eol < 0 ? head : head.left(eol);
    // "HTTP/1.x 2dd ..."
    if (line.startsWith("HTTP/") && line.size() >= 12) {
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0 && blank + 3 < line.size() && line.at(blank + 1) == '2' &&
            std::isdigit(static_cast<unsigned char>(line.at(blank + 2))) &&
            std::isdigit(static_cast<unsigned char>(line.at(blank + 3))))
            return QString();
    }
    return QStringLiteral("Proxy refused the tunnel: ") + QString::fromLatin1(line);
}

QString CertificateErrorText(const QList<QSslError>& errors) {
    QStringList texts;
    for (const QSslError& e : errors) texts << e.errorString();
    texts.removeDuplicates();
    return QStringLiteral("Certificate error: ") + texts.join(QStringLiteral("; "));
}

}  // namespace TlsSetup
