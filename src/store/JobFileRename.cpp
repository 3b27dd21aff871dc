#include "store/JobFileRename.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "store/JobTable.h"
#include "store/LocalPath.h"
#include "store/MovieFilesFolder.h"

namespace JobFileRename {

QString Rename(int job, const QString& newName) {
    if (job < 1 || job > JobCount) return QStringLiteral("The job is no longer there.");
    JobRecord& record = Jobs[static_cast<size_t>(job)];
    const QString name = newName.trimmed();
    if (name.isEmpty()) return QStringLiteral("Please input a file name.");
    if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return QStringLiteral("A file name cannot hold \"/\" or be \".\" or \"..\".");
    const QString folder = LocalPath::FolderPart(record.LocalFile);
    if (name == LocalPath::FileNamePart(record.LocalFile)) return QString();
    const QString target = folder + name;
    const QFileInfo info(target);
    if (info.exists() || info.isSymLink())
        return QStringLiteral("A file named \"%1\" exists already.").arg(name);
    if (::rename(QFile::encodeName(record.LocalFile).constData(),
                 QFile::encodeName(target).constData()) != 0)
        return QStringLiteral("The file cannot be renamed: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    // The files a movie loads, kept beside it, keep its name (when nothing has that name yet).
    const QString files = MovieFilesFolder::FolderOf(record.LocalFile);
    const QString filesTarget = MovieFilesFolder::FolderOf(target);
    const QFileInfo filesInfo(filesTarget);
    if (QFileInfo(files).isDir() && !filesInfo.exists() && !filesInfo.isSymLink())
        QFile::rename(files, filesTarget);
    record.LocalFile = target;
    return QString();
}

}  // namespace JobFileRename
