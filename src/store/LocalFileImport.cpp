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
#include "store/MovieFilesFolder.h"
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

namespace {
// A rename, or across file systems a copy and then the source removed; either failing keeps the
// source and leaves nothing at the target.
QString MoveFile(const QString& source, const QString& target) {
    if (::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0)
        return QString();
    if (errno != EXDEV) return QString::fromLocal8Bit(std::strerror(errno));
    QFile in(source);
    if (!in.copy(target)) return in.errorString();
    if (!QFile::remove(source)) {
        QFile::remove(target);
        return QStringLiteral("the file cannot be removed from its folder");
    }
    return QString();
}

// The files the movie loads go with it into their own free place beside the target. Across file
// systems they are copied first; the old folder is removed only once every file is there.
QString MoveFilesFolder(const QString& movie, const QString& target) {
    const QByteArray from = QFile::encodeName(MovieFilesFolder::FolderOf(movie));
    const QByteArray to = QFile::encodeName(MovieFilesFolder::FolderOf(target));
    if (::rename(from.constData(), to.constData()) == 0) return QString();
    if (errno != EXDEV) return QString::fromLocal8Bit(std::strerror(errno));
    if (!MovieFilesFolder::CopyTo(movie, target)) {
        MovieFilesFolder::Remove(target);
        return QStringLiteral("the movie's files cannot be copied");
    }
    MovieFilesFolder::Remove(movie);
    return QString();
}
}  // namespace

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
    // A link standing for the files folder is not followed and stays where it is.
    const QFileInfo files(MovieFilesFolder::FolderOf(source));
    const bool withFiles = files.isDir() && !files.isSymLink();
    if (withFiles) {
        const QFileInfo filesTarget(MovieFilesFolder::FolderOf(target));
        if (filesTarget.exists() || filesTarget.isSymLink())
            return {source, QStringLiteral("a folder named %1 is in the folder already")
                                .arg(filesTarget.fileName())};
    }
    if (!QDir().mkpath(dir)) return {source, QStringLiteral("the folder cannot be created")};
    if (withFiles) {
        const QString why = MoveFilesFolder(source, target);
        if (!why.isEmpty()) return {source, why};
    }
    const QString why = MoveFile(source, target);
    if (why.isEmpty()) return {target, QString()};
    if (withFiles) MoveFilesFolder(target, source);
    return {source, why};
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
