#pragma once
// The files a movie loads, kept beside it in "<movie file name>_files/" so that the movie plays
// without its site. A file below the movie's folder on the site keeps its place there
// ("part2.swf", "data/level.xml"); a file elsewhere on the same site is kept under "_site/" with
// its whole path from the site's root, and one of another site under "_other/<host>/". Every name
// stays inside the folder: "..", absolute paths and drive letters cannot lead out of it.

#include <QString>

namespace MovieFilesFolder {

inline constexpr int kMaxFiles = 2000;
inline constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

QString FolderOf(const QString& moviePath);
// Same scheme (http or https), host and port.
bool SameSite(const QString& a, const QString& b);
// Where the file at `address` is kept; "" for an address that is not http or https, of another
// site (unless otherSites), or without a file name.
QString KeptPath(const QString& moviePath, const QString& movieAddress, const QString& address,
                 bool otherSites);
// Writes a kept file (through a temporary file); false when it would leave the folder, the folder
// already holds kMaxFiles files, or the disk refuses.
bool Keep(const QString& moviePath, const QString& keptPath, const QByteArray& bytes,
          QString* error = nullptr);
int CountKept(const QString& moviePath);
// Deleting, and copying beside a copy of the movie (the folder's files replace those there).
bool Remove(const QString& moviePath);
bool CopyTo(const QString& moviePath, const QString& targetMoviePath);

}  // namespace MovieFilesFolder
