#include "browser/SocketPlace.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace {

QString DataFolder() {
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) home = QDir::homePath();
    while (home.size() > 1 && home.endsWith(u'/')) home.chop(1);
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = home + QStringLiteral("/.local/share");
    return QDir::cleanPath(dataHome + QStringLiteral("/quorvanta"));
}

}  // namespace

QString SocketPlace::Hash(const QByteArray& bytes) {
    quint64 h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return QStringLiteral("%1").arg(h, 16, 16, QChar(u'0'));
}

QString SocketPlace::BaseName() {
    return QStringLiteral("quorvanta-%1-%2")
        .arg(getuid())
        .arg(Hash(QFile::encodeName(DataFolder())));
}

QString SocketPlace::Folder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(u'/')) return QDir::cleanPath(runtime + QStringLiteral("/quorvanta"));
    return QStringLiteral("/tmp/quorvanta-%1").arg(getuid());
}

QString SocketPlace::Path() {
    return Folder() + u'/' + BaseName() + QStringLiteral(".sock");
}

bool SocketPlace::PrepareFolder(QString* error) {
    const QByteArray folder = QFile::encodeName(Folder());
    if (::mkdir(folder.constData(), 0700) == 0) return true;
    if (errno != EEXIST) {
        *error = QStringLiteral("cannot create %1: %2")
                     .arg(Folder(), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        *error = QStringLiteral("%1 is not a folder of this user").arg(Folder());
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(folder.constData(), 0700) != 0) {
        *error = QStringLiteral("cannot make %1 private").arg(Folder());
        return false;
    }
    return true;
}
