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
    layout.reset();
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int TargetFile::Create(const QString& name, int64_t size) {
    Close();
    const int f = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (f < 0) return errno;
    // A new file of size zero bytes first: an existing file loses its old contents.
    int e = ::ftruncate(f, 0) == 0 ? 0 : errno;
    bool reserve = true;
    if (e == 0 && size > 0) e = FileLayout::Grow(f, 0, size, &reserve);
    if (e != 0) {
        ::close(f);
        return e;
    }
    fd = f;
    return 0;
}

int TargetFile::CreateLaidOut(const QString& name, int64_t size, QObject* context,
                              FileLayout::Progress progress, FileLayout::Finished finished) {
    if (const int e = Create(name, 0)) return e;
    layout =
        std::make_unique<FileLayout>(fd, size, context, std::move(progress), std::move(finished));
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

QString TargetFile::FitName(const QString& path, int suffixBytes) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString dir = path.left(slash + 1);
    QString base = BaseOf(path.mid(slash + 1));
    const QString ext = ExtOf(path.mid(slash + 1));
    auto bytes = [&] {
        return QFile::encodeName(base + ext).size() + std::max(suffixBytes, kSuffixRoom);
    };
    while (bytes() > kNameMax && !base.isEmpty()) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate()) base.chop(1);
    }
    if (bytes() > kNameMax || (base.isEmpty() && ext.isEmpty())) return QString();
    return dir + base + ext;
}

QString TargetFile::NextFreeName(const QString& start, const QString& suffix) {
    const qsizetype suffixBytes =
        std::max<qsizetype>(QFile::encodeName(suffix).size(), kSuffixRoom);
    const qsizetype slash = start.lastIndexOf(QLatin1Char('/'));
    const QString dir = start.left(slash + 1);
    const QString stem = BaseOf(start.mid(slash + 1));
    const QString ext = ExtOf(start.mid(slash + 1));
    // The counters are appended to the name already changed (a0.swf, a01.swf ...); a name too
    // long loses characters of its stem, never its counters or its extension.
    QString digits;
    for (int counter = 0; counter <= 32767; ++counter) {
        QString base = stem;
        auto bytes = [&] { return QFile::encodeName(base + digits + ext).size() + suffixBytes; };
        while (bytes() > kNameMax && !base.isEmpty()) {
            base.chop(1);
            if (!base.isEmpty() && base.back().isHighSurrogate()) base.chop(1);
        }
        if (bytes() > kNameMax) return QString();
        const QString name = dir + base + digits + ext;
        if (!Exists(name) && (suffix.isEmpty() || !Exists(name + suffix))) return name;
        digits += QString::number(counter);
    }
    return QString();
}

QString TargetFile::FinishedAs(const QString& workingName, int64_t size) {
    if (size <= 0 || !workingName.endsWith(QLatin1String("!qv")) || Exists(workingName))
        return QString();
    const QString final = workingName.chopped(3);
    struct stat st {};
    if (::stat(QFile::encodeName(final).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != size)
        return QString();
    return final;
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

QString TargetFile::ChooseName(const QString& name, bool workingSuffix, bool autoRename,
                               QString* problem) {
    const QString suffix = workingSuffix ? QStringLiteral("!qv") : QString();
    const QString wanted = name.endsWith(QLatin1String("!qv")) ? name.chopped(3) : name;
    QString final = FitName(wanted, static_cast<int>(suffix.size()));
    if (final.isEmpty()) {
        *problem = QStringLiteral("The file name is too long and cannot be shortened: ") + wanted;
        return QString();
    }
    if (autoRename) {
        final = NextFreeName(final, suffix);
        if (final.isEmpty()) {
            *problem = QStringLiteral("No free file name for ") + wanted + suffix;
            return QString();
        }
    }
    return final + suffix;
}
