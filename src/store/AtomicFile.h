#pragma once
// Replacing a file's contents so that a reader sees either the old file or the new one whole: the
// bytes go to a temporary file in the same folder, which is flushed to disk and renamed over the
// target. Every partial write counts as a failure (a disk that fills up half-way, a size limit).

#include <QByteArray>
#include <QString>

class QIODevice;

namespace AtomicFile {

// True when path now holds bytes, readable and writable by its owner only, whatever mode an
// older file had: every caller keeps the user's own data (jobs with their logins, queues, job
// files). On failure the previous file is untouched, no temporary file is left behind, and error
// (when given) says why.
bool Write(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Copies what is left to read of in (opened for reading) to path, in pieces, through a temporary
// file that replaces path only when the copy is whole. On failure path is untouched and error
// (when given) says why. ownerOnly: the copy is readable and writable by its owner only (else it
// keeps the mode an older file at path had, or gets the usual one for a new file).
bool Copy(QIODevice& in, const QString& path, QString* error = nullptr, bool ownerOnly = false);

// Makes path readable and writable by its owner only; false when it cannot.
bool MakePrivate(const QString& path);

}  // namespace AtomicFile
