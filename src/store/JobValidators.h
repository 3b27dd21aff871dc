#pragma once
// What identifies the server's file behind a partly downloaded job: the validators of the first
// answer (ETag, Last-Modified) and its size. Kept beside the job records, not in them (the record
// layout is fixed), keyed by the job's file on disk (LocalFile, "!qv" name included), which no
// two unfinished jobs share. A resume sends them in If-Range; an answer that does not match
// means the file changed on the server and the job starts again from zero.

#include <QByteArray>
#include <QHash>
#include <QString>

struct JobValidator {
    QString ETag;          // as the server sent it, quotes included; "" when none
    QString LastModified;  // the HTTP date text; "" when none
    bool operator==(const JobValidator&) const = default;
    bool IsEmpty() const { return ETag.isEmpty() && LastModified.isEmpty(); }
    // The If-Range value: a strong ETag, else Last-Modified, else "".
    QString IfRange() const;
};

namespace JobValidators {
// The validator of the job whose file is localFile; empty when none is known.
JobValidator Get(const QString& localFile);
void Set(const QString& localFile, const JobValidator& validator);
void Remove(const QString& localFile);
void Clear();
// The whole table (for saving and for tests).
const QHash<QString, JobValidator>& All();

// Text form: one line per file, "<localFile>\t<etag>\t<last-modified>\n", UTF-8. Tabs and line
// breaks cannot occur in the three fields (they are taken out when set).
QByteArray ToBytes(const QHash<QString, JobValidator>& table);
QHash<QString, JobValidator> FromBytes(const QByteArray& bytes);
}  // namespace JobValidators
