#pragma once
// The bytes of the job database: strings are a 16-bit little-endian byte count and UTF-8 bytes,
// numbers are little-endian without padding.

#include <QByteArray>
#include <QString>

#include "store/JobRecord.h"

struct CategoryRecord {
    QString ParentKey;
    QString Key;
    QString Text;
    QString Folder;
};

namespace JobDbFormat {

// Appends a string; a UTF-8 form over 65535 bytes is cut at a character boundary.
void WriteString(QByteArray& out, const QString& text);
void WriteCategory(QByteArray& out, const CategoryRecord& record);
void WriteJob(QByteArray& out, const JobRecord& record);

// Sequential reader over a byte buffer. Each Read returns false when the data ends first; the
// position then stays where the failed read began.
class Reader {
public:
    explicit Reader(const QByteArray& data) : bytes(data) {}
    bool AtEnd() const { return pos >= bytes.size(); }
    qsizetype Position() const { return pos; }
    bool ReadString(QString& text);
    bool ReadCategory(CategoryRecord& record);
    bool ReadJob(JobRecord& record);

private:
    template <typename T>
    bool ReadRaw(T& value);
    const QByteArray& bytes;
    qsizetype pos = 0;
};

}  // namespace JobDbFormat
