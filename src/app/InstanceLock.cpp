#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "handoff_lib/HandoffProtocol.h"

namespace {

// HandoffProtocol's lock folder. Without a runtime folder that is the data folder, made here (mode
// 0700) when missing.
QString LockFolder() {
    const std::string folder = HandoffProtocol::LockFolder();
    const QString name = QFile::decodeName(QByteArray::fromStdString(folder));
    if (!folder.empty() && !QDir(name).exists()) {
        QDir().mkpath(QFileInfo(name).path());
        ::mkdir(folder.c_str(), 0700);
    }
    return name;
}

}  // namespace

InstanceLock::InstanceLock(const QString& baseName) {
    const QString folder = LockFolder();
    if (!folder.isEmpty() && !baseName.isEmpty())
        path = folder + u'/' + baseName + QStringLiteral(".lock");
}

InstanceLock::~InstanceLock() {
    if (fd >= 0) ::close(fd);
}

InstanceLock::Outcome InstanceLock::TryLock() {
    if (path.isEmpty()) return Unavailable;
    if (fd < 0) {
        // Close-on-exec: a program started from here must not keep holding the lock.
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return Unavailable;
    }
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) return Taken;
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    fd = -1;
    return held ? HeldElsewhere : Unavailable;
}
