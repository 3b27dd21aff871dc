#include "engine/UrlParts.h"

#include <QUrl>

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
    QString s = TakeLogin(rules.TrimBlanks ? url.trimmed() : url).Url;
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
    return true;
}

QString UrlParts::Target(bool viaProxy) const {
    if (!viaProxy || Secure) return Path;
    return QStringLiteral("http://") + Authority + Path;
}

UrlParts::Login UrlParts::TakeLogin(const QString& url) {
    Login login;
    login.Url = url;
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    const QStringView name = QStringView(url).left(scheme).trimmed();
    if (scheme < 0 || (name.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 &&
                       name.compare(QLatin1String("https"), Qt::CaseInsensitive) != 0))
        return login;
    const qsizetype start = scheme + 3;
    qsizetype end = start;
    while (end < url.size() && url.at(end) != QLatin1Char('/') && url.at(end) != QLatin1Char('?') &&
           url.at(end) != QLatin1Char('#'))
        ++end;
    const qsizetype at = url.lastIndexOf(QLatin1Char('@'), end - 1);
    if (at < start) return login;
    const QString userInfo = url.mid(start, at - start);
    const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
    const auto decode = [](const QString& text) {
        return QUrl::fromPercentEncoding(text.toUtf8());
    };
    login.User = decode(colon < 0 ? userInfo : userInfo.left(colon));
    login.Password = colon < 0 ? QString() : decode(userInfo.mid(colon + 1));
    login.Url = url.left(start) + url.mid(at + 1);
    login.Found = true;
    return login;
}

bool UrlParts::SameOrigin(const QString& a, const QString& b) {
    UrlParts x;
    UrlParts y;
    return x.Split(a, EngineRules()) && y.Split(b, EngineRules()) && x.SameServerAs(y);
}

bool UrlParts::SameServerAs(const UrlParts& other) const {
    return Scheme == other.Scheme && Host.compare(other.Host, Qt::CaseInsensitive) == 0 &&
           Port == other.Port;
}

bool UrlParts::RefererMayGo(const QString& referer, const QString& url) {
    return !referer.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
           url.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

QString UrlParts::HostField(const QString& host, uint16_t port, bool secure) {
    return port == (secure ? 443 : 80) ? host : host + QLatin1Char(':') + QString::number(port);
}
