#include "engine/TlsSetup.h"

#include <cctype>

namespace TlsSetup {

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

}  // namespace TlsSetup
