#include "store/MovieFilesFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QUrl>

#include "store/AtomicFile.h"

namespace {

bool Inside(const QString& path, const QString& folder) {
    const QString p = QDir::cleanPath(path);
    const QString f = QDir::cleanPath(folder);
    return p.startsWith(f + QLatin1Char('/')) && p.size() > f.size() + 1;
}

// A path of the site as names that stay where they are put: no empty, "." or ".." names, no
// colons, backslashes or control characters.
QString SafeRelative(const QString& path) {
    QStringList kept;
    const QStringList names = QString(path)
                                  .replace(QLatin1Char('\\'), QLatin1Char('/'))
                                  .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (QString name : names) {
        for (QChar& c : name)
            if (c.unicode() < 0x20 || c == QLatin1Char(':') || c.unicode() == 0x7f)
                c = QLatin1Char('_');
        name = name.trimmed();
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) continue;
        kept << name;
    }
    return kept.join(QLatin1Char('/'));
}

int EffectivePort(const QUrl& u) {
    return u.port(u.scheme() == QLatin1String("https") ? 443 : 80);
}

bool Web(const QUrl& u) {
    const QString s = u.scheme();
    return u.isValid() && !u.host().isEmpty() &&
           (s == QLatin1String("http") || s == QLatin1String("https"));
}

}  // namespace

namespace MovieFilesFolder {

QString FolderOf(const QString& moviePath) {
    return moviePath + QStringLiteral("_files");
}

bool SameSite(const QString& a, const QString& b) {
    const QUrl x(a.trimmed()), y(b.trimmed());
    return Web(x) && Web(y) && x.scheme() == y.scheme() &&
           x.host().compare(y.host(), Qt::CaseInsensitive) == 0 &&
           EffectivePort(x) == EffectivePort(y);
}

QString KeptPath(const QString& moviePath, const QString& movieAddress, const QString& address,
                 bool otherSites) {
    const QUrl movie(movieAddress.trimmed());
    const QUrl file(address.trimmed());
    if (moviePath.isEmpty() || !Web(file)) return QString();
    const QString path = file.path(QUrl::FullyDecoded);
    if (path.endsWith(QLatin1Char('/'))) return QString();
    QString relative;
    if (SameSite(movieAddress, address)) {
        QString dir = movie.path(QUrl::FullyDecoded);
        dir.truncate(dir.lastIndexOf(QLatin1Char('/')) + 1);
        if (!dir.isEmpty() && path.startsWith(dir))
            relative = SafeRelative(path.mid(dir.size()));
        else
            relative = QStringLiteral("_site/") + SafeRelative(path);
    } else if (otherSites) {
        QString host = file.host().toLower();
        if (file.port() > 0) host += QLatin1Char('_') + QString::number(file.port());
        relative =
            QStringLiteral("_other/") + SafeRelative(host) + QLatin1Char('/') + SafeRelative(path);
    } else {
        return QString();
    }
    const QString folder = FolderOf(moviePath);
    const QString kept = QDir::cleanPath(folder + QLatin1Char('/') + relative);
    if (!Inside(kept, folder) || QFileInfo(kept).fileName().isEmpty() ||
        kept.endsWith(QLatin1Char('/')))
        return QString();
    return kept;
}

bool Keep(const QString& moviePath, const QString& keptPath, const QByteArray& bytes,
          QString* error) {
    const QString folder = FolderOf(moviePath);
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!Inside(keptPath, folder) || QFileInfo(folder).isSymLink())
        return fail(QStringLiteral("outside the movie's files folder"));
    if (!QFileInfo::exists(keptPath) && CountKept(moviePath) >= kMaxFiles)
        return fail(QStringLiteral("the movie already keeps %1 files").arg(kMaxFiles));
    const QString dir = QFileInfo(keptPath).absolutePath();
    if (!QDir().mkpath(dir)) return fail(QStringLiteral("could not make ") + dir);
    // A link inside the folder must not carry the file out of it.
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    const QString realDir = QFileInfo(dir).canonicalFilePath();
    if (realFolder.isEmpty() || (realDir != realFolder && !Inside(realDir, realFolder)))
        return fail(QStringLiteral("outside the movie's files folder"));
    if (QFileInfo(keptPath).isSymLink() || QFileInfo(keptPath).isDir())
        return fail(QStringLiteral("a link or a folder stands in its place"));
    QString why;
    if (!AtomicFile::Write(keptPath, bytes, &why)) return fail(why);
    return true;
}

int CountKept(const QString& moviePath) {
    const QString folder = FolderOf(moviePath);
    if (QFileInfo(folder).isSymLink()) return 0;
    int n = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

bool Remove(const QString& moviePath) {
    const QString folder = FolderOf(moviePath);
    const QFileInfo info(folder);
    if (info.isSymLink()) return QFile::remove(folder);
    if (!info.isDir()) return true;
    return QDir(folder).removeRecursively();
}

bool CopyTo(const QString& moviePath, const QString& targetMoviePath) {
    const QString from = FolderOf(moviePath);
    const QString to = FolderOf(targetMoviePath);
    const QFileInfo info(from);
    if (!info.isDir() || info.isSymLink()) return true;
    if (QDir::cleanPath(QFileInfo(from).absoluteFilePath()) ==
        QDir::cleanPath(QFileInfo(to).absoluteFilePath()))
        return true;
    bool ok = true;
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (it.fileInfo().isSymLink()) continue;
        const QString target = to + file.mid(from.size());
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(target).absolutePath()) ||
            !AtomicFile::Copy(in, target, nullptr))
            ok = false;
    }
    return ok;
}

}  // namespace MovieFilesFolder
