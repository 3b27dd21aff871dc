#include "engine/UrlParts.h"

namespace {
// 1..65535 written in ASCII digits; 0 otherwise.
uint16_t PortNumber(const QString& text) {
    if (text.isEmpty()) return 0;
    uint value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
        value = value * 10 + (c.unicode() - '0');
        if (value > 65535) return 0;
    }
    return static_cast<uint16_t>(value);
}
}  // namespace

bool UrlParts::Split(const QString& url, const Rules& rules) {
    QString s = rules.TrimBlanks ? url.trimmed() : url;
    const Qt::CaseSensitivity cs = rules.AnyCaseScheme ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool tls = s.startsWith(QLatin1String("https://"), cs);
    if (!tls && !s.startsWith(QLatin1String("http://"), cs)) return false;
    const int skip = tls ? 8 : 7;
    // A fragment ("#...") names a place inside the document: it is never sent to the server and
    // is no part of the file's name.
    const qsizetype fragment = s.indexOf(QLatin1Char('#'), skip);
    if (fragment >= 0) s.truncate(fragment);
    if (s.indexOf(QLatin1Char('/'), skip) < 0) {
        if (rules.PathRequired) return false;
        s += QLatin1Char('/');
    }
    const qsizetype slash = s.indexOf(QLatin1Char('/'), skip);
    const QString authority = s.mid(skip, slash - skip);
    const qsizetype colon = authority.indexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? authority : authority.left(colon);
    uint16_t port = tls ? 443 : 80;
    if (colon >= 0) {
        port = PortNumber(authority.mid(colon + 1));
        if (port == 0) return false;
    }
    if (host.isEmpty()) return false;
    if (rules.PlainHost)
        for (const QChar ch : host)
            if (ch.unicode() <= 0x20 || ch.unicode() == 0x7f) return false;

    Secure = tls;
    Scheme = tls ? QStringLiteral("https") : QStringLiteral("http");
    Host = host;
    Authority = authority;
    Port = port;
    Path = s.mid(slash);
    FileName = s.mid(s.lastIndexOf(QLatin1Char('/')) + 1);
    // A "/" in the query is not a folder.
    const qsizetype query = Path.indexOf(QLatin1Char('?'));
    const QString plainPath = query < 0 ? Path : Path.left(query);
    Dir = plainPath.left(plainPath.lastIndexOf(QLatin1Char('/')) + 1);
    proxyTargetWithPort = rules.ProxyTargetWithPort;
    return true;
}

QString UrlParts::Target(bool viaProxy) const {
    if (!viaProxy || Secure) return Path;
    return QStringLiteral("http://") + (proxyTargetWithPort ? Authority : Host) + Path;
}
