#include "browser/SocketPlace.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "handoff_lib/HandoffProtocol.h"

QString SocketPlace::BaseName() {
    return QFile::decodeName(QByteArray::fromStdString(HandoffProtocol::BaseName()));
}

QString SocketPlace::Folder() {
    return QFile::decodeName(QByteArray::fromStdString(HandoffProtocol::SocketFolder()));
}

QString SocketPlace::Path() {
    return QFile::decodeName(QByteArray::fromStdString(HandoffProtocol::SocketPath()));
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
