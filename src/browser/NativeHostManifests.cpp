#include "browser/NativeHostManifests.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

QString Home() {
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) home = QDir::homePath();
    return home;
}

}  // namespace

QStringList NativeHostManifests::Folders() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!config.startsWith(u'/')) config = Home() + QStringLiteral("/.config");
    return {QDir::cleanPath(config + QStringLiteral("/chromium/NativeMessagingHosts")),
            QDir::cleanPath(config + QStringLiteral("/google-chrome/NativeMessagingHosts")),
            QDir::cleanPath(Home() + QStringLiteral("/.mozilla/native-messaging-hosts"))};
}

QByteArray NativeHostManifests::Manifest(const QString& hostPath, bool firefox) {
    QJsonObject m;
    m.insert(QStringLiteral("name"), QString::fromLatin1(kHostName));
    m.insert(QStringLiteral("description"), QStringLiteral("Quorvanta browser hand-off"));
    m.insert(QStringLiteral("path"), hostPath);
    m.insert(QStringLiteral("type"), QStringLiteral("stdio"));
    if (firefox)
        m.insert(QStringLiteral("allowed_extensions"),
                 QJsonArray{QString::fromLatin1(kFirefoxExtensionId)});
    else
        m.insert(QStringLiteral("allowed_origins"),
                 QJsonArray{QStringLiteral("chrome-extension://%1/")
                                .arg(QString::fromLatin1(kChromeExtensionId))});
    return QJsonDocument(m).toJson(QJsonDocument::Indented);
}

QStringList NativeHostManifests::WriteAll(const QString& appDir) {
    const QString host = appDir + QStringLiteral("/quorvanta-host");
    const QStringList folders = Folders();
    QStringList failed;
    for (int i = 0; i < folders.size(); ++i) {
        const QString file = folders[i] + QStringLiteral("/quorvanta.json");
        QSaveFile out(file);
        if (!QDir().mkpath(folders[i]) || !out.open(QIODevice::WriteOnly) ||
            out.write(Manifest(host, i == 2)) < 0 || !out.commit())
            failed << file;
    }
    return failed;
}
