#pragma once
// Parts of a job's local path. Paths may carry "/" or "\" (folders typed by the user); both
// separate.

#include <QString>

namespace LocalPath {

// The file name part (after the last "/" or "\"; the whole text when there is none).
QString FileNamePart(const QString& path);
// The folder part (up to and including the last "/" or "\"; empty when there is none).
QString FolderPart(const QString& path);

}  // namespace LocalPath
