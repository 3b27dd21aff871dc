#include "store/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace AtomicFile {

namespace {

bool Fail(QString* error, const QString& what, int code) {
    if (error) *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
    return false;
}

}  // namespace

bool MakePrivate(const QString& path) {
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool Copy(QIODevice& in, const QString& path, QString* error, bool ownerOnly) {
    QSaveFile out(path);
    QString why;
    if (!out.open(QIODevice::WriteOnly)) why = out.errorString();
    // Set on the temporary file, before a byte is in it.
    else if (ownerOnly && !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        why = out.errorString();
    while (why.isEmpty() && !in.atEnd()) {
        const QByteArray piece = in.read(1 << 20);
        if (piece.isEmpty() && !in.atEnd())
            why = in.errorString();
        else if (out.write(piece) != piece.size())
            why = out.errorString();
    }
    if (why.isEmpty() && !out.commit()) why = out.errorString();
    if (why.isEmpty()) return true;
    out.cancelWriting();
    if (error) *error = why;
    return false;
}

bool Write(const QString& path, const QByteArray& bytes, QString* error) {
    const QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return Fail(error, QStringLiteral("cannot create a file beside ") + path, errno);

    auto abandon = [&](const QString& what) {
        const int code = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return Fail(error, what, code);
    };

    // mkstemp makes it 0600 already; said here so that no umask or older file changes it.
    if (::fchmod(fd, 0600) != 0) return abandon(QStringLiteral("cannot set permissions"));

    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon(QStringLiteral("cannot write"));
        }
        if (n == 0) {
            errno = EIO;
            return abandon(QStringLiteral("cannot write"));
        }
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0) return abandon(QStringLiteral("cannot flush to disk"));
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return Fail(error, QStringLiteral("cannot close"), code);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return Fail(error, QStringLiteral("cannot rename over ") + path, code);
    }
    // Make the rename itself durable.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace AtomicFile
