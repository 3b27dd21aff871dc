#pragma once
// Files already on disk taken in as finished jobs: the record of an imported file, and moving a
// file into a category's folder. A move within one file system is a rename; across file systems
// the file is copied and the source removed. A move that cannot be done leaves the source where
// it was and says why; moving a file onto itself does nothing. The folder of files a movie loads,
// kept beside it, moves with it: the movie stays where it is when its folder cannot go along.

#include <QDateTime>
#include <QString>
#include <cstdint>

#include "store/JobRecord.h"

namespace LocalFileImport {

// The text after the last "\" or "/", or "" when there is none.
QString FileNameOf(const QString& path);

// Where the file is after MoveInto, and why it was not moved (empty when it was, or when source
// and target are the same file).
struct MoveResult {
    QString path;
    QString problem;
};
// Moves source to folder + FileNameOf(source) (a "/" put between them when folder lacks one),
// creating the folder when missing, and the movie's files folder to the target's. Never replaces
// an existing file or folder.
MoveResult MoveInto(const QString& source, const QString& folder);

// A complete job for a file: State 4, FileSize and Received size, LocalFile, ClassKey,
// CreateTime now, Url and Comment as given; every other field empty or zero.
JobRecord ImportedRecord(const QString& localFile, int32_t size, const QString& classKey,
                         const QString& url = QString(), const QString& comment = QString());

// The size of a file as a job's FileSize, kept within the 32-bit field.
int32_t SizeOf(const QString& path);

// Imports one file as a complete job of classKey: with move, the file goes into folder first
// (MoveInto); a move that fails keeps the file where it is, imports it from there and puts
// "<file>: <reason>" into notMoved. Returns the new job's index (0 when the table is full).
int ImportFile(const QString& source, int32_t size, const QString& classKey, const QString& folder,
               bool move, const QString& url, const QString& comment, QString* notMoved);

// Modification time and size as the import dialogs show them.
QString DateText(const QDateTime& time);

}  // namespace LocalFileImport
