#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>

namespace {

// $XDG_RUNTIME_DIR when set; else the data folder, made here (mode 0700) when missing.
QString LockFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) home = QDir::homePath();
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = home + QStringLiteral("/.local/share");
    const QString folder = QDir::cleanPath(dataHome + QStringLiteral("/quorvanta"));
    if (!QDir(folder).exists()) {
        QDir().mkpath(QDir::cleanPath(dataHome));
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    }
    return folder;
}

}  // namespace

InstanceLock::InstanceLock(const QString& baseName)
    : path(LockFolder() + u'/' + baseName + QStringLiteral(".lock")) {}

InstanceLock::~InstanceLock() {
    if (fd >= 0) ::close(fd);
}

InstanceLock::Outcome InstanceLock::TryLock() {
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
