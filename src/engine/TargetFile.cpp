#include "engine/TargetFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

TargetFile::~TargetFile() {
    Close();
}

void TargetFile::Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int TargetFile::Create(const QString& name, int64_t size) {
    Close();
    const int f = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (f < 0) return errno;
    // A new file of size zero bytes first: an existing file loses its old contents.
    int rc = ::ftruncate(f, 0);
    if (rc == 0 && size > 0) {
        rc = ::fallocate(f, 0, 0, size);
        if (rc != 0 && (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL))
            rc = ::ftruncate(f, size);
    }
    if (rc != 0) {
        const int e = errno;
        ::close(f);
        return e;
    }
    fd = f;
    return 0;
}

int TargetFile::OpenExisting(const QString& name, int64_t size, bool* opened) {
    Close();
    *opened = false;
    const int f = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CLOEXEC);
    if (f < 0) return errno;
    *opened = true;
    struct stat st;
    if (size >= 0 && ::fstat(f, &st) == 0 && st.st_size < size && ::ftruncate(f, size) != 0) {
        const int e = errno;
        ::close(f);
        return e;
    }
    fd = f;
    return 0;
}

int TargetFile::Resize(int64_t size) {
    if (fd < 0) return 0;
    return ::ftruncate(fd, size) == 0 ? 0 : errno;
}

int TargetFile::WriteAt(const char* data, int64_t size, int64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        data += n;
        size -= n;
        offset += n;
    }
    return 0;
}

bool TargetFile::Exists(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

QString TargetFile::ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString TargetFile::BaseOf(const QString& name) {
    const qsizetype slash =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash) return name;
    return name.left(dot);
}

QString TargetFile::ExtOf(const QString& name) {
    const qsizetype slash =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash) return QString();
    return name.mid(dot);
}

QString TargetFile::NextFreeName(const QString& start, bool checkFinal) {
    QString name = start;
    const QString suffix = QStringLiteral("!qv");
    for (int counter = 0; counter <= 32767; ++counter) {
        bool taken = Exists(name);
        if (!taken && checkFinal && name.endsWith(suffix)) taken = Exists(name.chopped(3));
        if (!taken) return name;
        name = BaseOf(name) + QString::number(counter) + ExtOf(name);
    }
    return QString();
}

bool TargetFile::VerifyComplete(const ByteRanges& written, int64_t size, const QString& path,
                                QString* why) {
    auto fail = [why](const QString& text) {
        if (why) *why = text;
        return false;
    };
    const auto gaps = written.Gaps(0, size);
    if (!gaps.empty())
        return fail(QStringLiteral("Bytes %1 to %2 of the file were never received")
                        .arg(gaps.front().first)
                        .arg(gaps.front().second - 1));
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return fail(QStringLiteral("The file ") + path + QStringLiteral(" is missing: ") +
                    ErrnoText(errno));
    if (!S_ISREG(st.st_mode) || st.st_size != size)
        return fail(QStringLiteral("The file ") + path +
                    QStringLiteral(" has %1 bytes instead of %2").arg(st.st_size).arg(size));
    return true;
}
