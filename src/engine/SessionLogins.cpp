#include "engine/SessionLogins.h"

#include "engine/UrlParts.h"

namespace {

// "https://host:443": the server a login belongs to; "" for an address that names none.
QString ServerOf(const QString& url) {
    UrlParts u;
    if (!u.Split(UrlParts::TakeLogin(url.trimmed()).Url, UrlParts::EngineRules())) return QString();
    return u.Scheme + QStringLiteral("://") + u.Host.toLower() + QLatin1Char(':') +
           QString::number(u.Port);
}

}  // namespace

void SessionLogins::Set(const QString& url, const QString& user, const QString& password) {
    const QString server = ServerOf(url);
    if (!server.isEmpty()) byServer.insert(server, {user, password});
}

bool SessionLogins::Find(const QString& url, QString* user, QString* password) const {
    const auto it = byServer.constFind(ServerOf(url));
    if (it == byServer.cend()) return false;
    *user = it->first;
    *password = it->second;
    return true;
}
