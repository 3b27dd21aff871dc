#include "TargetLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

TargetLock::~TargetLock() {
    if (fd < 0) return;
    // Removed while still held: a process that opened the old file finds, once it has the lock,
    // that the name no longer leads to it, and starts over with a new file.
    ::unlink(QFile::encodeName(path).constData());
    ::close(fd);
}

TargetLock::Result TargetLock::Acquire(const QString& target) {
    path = target + QStringLiteral(".qvlock");
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int f = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (f < 0) {
            error = QStringLiteral("cannot create %1: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return Result::Failed;
        }
        if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            if (e == EWOULDBLOCK) {
                char text[32] = {};
                const ssize_t n = ::pread(f, text, sizeof text - 1, 0);
                owner = n > 0 ? static_cast<pid_t>(std::atol(text)) : 0;
                ::close(f);
                return Result::Busy;
            }
            ::close(f);
            error = QStringLiteral("cannot lock %1: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(e)));
            return Result::Failed;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(f, &held) != 0 || ::stat(name.constData(), &named) != 0 ||
            held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
            // The previous owner removed the file between our open and our lock.
            ::close(f);
            continue;
        }
        const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
        if (::ftruncate(f, 0) != 0 || ::pwrite(f, pid.constData(), pid.size(), 0) != pid.size()) {
            // The lock holds without the id; only the message of a second copy lacks it.
        }
        fd = f;
        owner = ::getpid();
        return Result::Locked;
    }
    error = QStringLiteral("cannot lock %1: it keeps being replaced").arg(path);
    return Result::Failed;
}
