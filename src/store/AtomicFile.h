#pragma once
// Replacing a file's contents so that a reader sees either the old file or the new one whole: the
// bytes go to a temporary file in the same folder, which is flushed to disk and renamed over the
// target. Every partial write counts as a failure (a disk that fills up half-way, a size limit).

#include <QByteArray>
#include <QString>

class QIODevice;

namespace AtomicFile {

// True when path now holds bytes. On failure the previous file is untouched, no temporary file is
// left behind, and error (when given) says why. An existing file keeps its permissions; a new one
// is readable and writable by its owner only.
bool Write(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Copies what is left to read of in (opened for reading) to path, in pieces, through a temporary
// file that replaces path only when the copy is whole. On failure path is untouched and error
// (when given) says why.
bool Copy(QIODevice& in, const QString& path, QString* error = nullptr);

}  // namespace AtomicFile
