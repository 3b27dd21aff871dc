#pragma once
// Parts of a job's local path. Paths may carry "/" or "\" (folders typed by the user); both
// separate.

#include <QString>

namespace LocalPath {

// The file name part (after the last "/" or "\"; the whole text when there is none).
QString FileNamePart(const QString& path);
// The folder part (up to and including the last "/" or "\"; empty when there is none).
QString FolderPart(const QString& path);

// A file name taken from an address's last segment, percent-escapes decoded ("%C3%A9" is "é").
// An escape stays as written where its bytes are no well-formed UTF-8 or decode to a character
// no name may hold: "/", "\", NUL or another control character. A name of "." or ".." keeps its
// dots escaped, so the name never leaves its folder.
QString DecodedName(const QString& segment);

}  // namespace LocalPath
