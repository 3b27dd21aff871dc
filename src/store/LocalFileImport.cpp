#include "store/LocalFileImport.h"

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "store/JobTable.h"

#include "store/VbDate.h"

namespace LocalFileImport {

namespace {
bool SameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0) return false;
    if (::stat(QFile::encodeName(b).constData(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

QString FileNameOf(const QString& path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? QString() : path.mid(cut + 1);
}

MoveResult MoveInto(const QString& source, const QString& folder) {
    if (folder.trimmed().isEmpty()) return {source, QStringLiteral("the category has no folder")};
    QString name = FileNameOf(source);
    if (name.isEmpty()) name = source;
    const QString dir = folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))
                            ? folder
                            : folder + '/';
    const QString target = dir + name;
    if (SameFile(source, target)) return {source, QString()};
    const QFileInfo info(target);
    if (info.exists() || info.isSymLink())
        return {source, QStringLiteral("a file of that name is in the folder already")};
    if (!QDir().mkpath(dir)) return {source, QStringLiteral("the folder cannot be created")};
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    if (::rename(from.constData(), to.constData()) == 0) return {target, QString()};
    if (errno != EXDEV) return {source, QString::fromLocal8Bit(std::strerror(errno))};
    // Another file system: copy, then remove the source; either failing keeps the source.
    QFile in(source);
    if (!in.copy(target)) {
        const QString why = in.errorString();
        return {source, why};
    }
    if (!QFile::remove(source)) {
        QFile::remove(target);
        return {source, QStringLiteral("the file cannot be removed from its folder")};
    }
    return {target, QString()};
}

JobRecord ImportedRecord(const QString& localFile, int32_t size, const QString& classKey,
                         const QString& url, const QString& comment) {
    JobRecord job;
    job.State = 4;
    job.LocalFile = localFile;
    job.FileSize = size;
    job.Received = size;
    job.ClassKey = classKey;
    job.CreateTime = VbDate::Now();
    job.Url = url;
    job.Comment = comment;
    return job;
}

int32_t SizeOf(const QString& path) {
    const qint64 size = QFileInfo(path).size();
    return static_cast<int32_t>(std::min<qint64>(size, std::numeric_limits<int32_t>::max()));
}

int ImportFile(const QString& source, int32_t size, const QString& classKey, const QString& folder,
               bool move, const QString& url, const QString& comment, QString* notMoved) {
    QString local = source;
    if (move) {
        const MoveResult moved = MoveInto(source, folder);
        local = moved.path;
        if (!moved.problem.isEmpty() && notMoved)
            *notMoved = source + QStringLiteral(": ") + moved.problem;
    }
    return AddJob(ImportedRecord(local, size, classKey, url, comment));
}

QString DateText(const QDateTime& time) {
    return QLocale(QLocale::English, QLocale::UnitedStates)
        .toString(time, QStringLiteral("M/d/yyyy h:mm:ss AP"));
}

}  // namespace LocalFileImport
