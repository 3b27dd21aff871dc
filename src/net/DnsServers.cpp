#include "net/DnsServers.h"

#include <QFile>
#include <QRegularExpression>

QStringList DnsServers;
QString LocalDnsDomain;
QString BaseDomain;

QString BaseDomainOf(const QString& domain) {
    const QStringList parts = domain.split(u'.');
    if (parts.size() < 2) return domain;
    return parts.at(parts.size() - 2) + u'.' + parts.last();
}

void GetDnsServers(const QString& resolvConf) {
    QStringList servers;
    QString domain;
    QString firstSearch;
    QFile file(resolvConf);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
        // A resolver configuration is a few lines; anything beyond 64 KiB is not one.
        const QString text = QString::fromUtf8(file.read(64 * 1024));
        for (const QString& raw : text.split(u'\n')) {
            const QString line = raw.trimmed();
            if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';')) continue;
            const QStringList words = line.split(blanks, Qt::SkipEmptyParts);
            if (words.size() < 2) continue;
            const QString key = words.at(0);
            if (key == QLatin1String("nameserver")) {
                servers.append(words.at(1));
            } else if (key == QLatin1String("domain")) {
                domain = words.at(1);  // the last one counts, as for the resolver
            } else if (key == QLatin1String("search")) {
                firstSearch = words.at(1);
            }
        }
    }
    if (domain.isEmpty()) domain = firstSearch;
    if (domain.endsWith(u'.')) domain.chop(1);
    DnsServers = servers;
    LocalDnsDomain = domain;
    BaseDomain = BaseDomainOf(domain);
}
