#include "store/JobValidators.h"

#include <QList>
#include <algorithm>

namespace {

QHash<QString, JobValidator>& Table() {
    static QHash<QString, JobValidator> table;
    return table;
}

QString Clean(QString text) {
    for (QChar& ch : text)
        if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
            ch = QLatin1Char(' ');
    return text.trimmed();
}

}  // namespace

QString JobValidator::IfRange() const {
    // A weak ETag may not be used in If-Range.
    if (!ETag.isEmpty() && !ETag.startsWith(QLatin1String("W/"))) return ETag;
    return LastModified;
}

namespace JobValidators {

JobValidator Get(const QString& localFile) {
    return Table().value(localFile);
}

void Set(const QString& localFile, const JobValidator& validator) {
    if (localFile.isEmpty()) return;
    JobValidator v{Clean(validator.ETag), Clean(validator.LastModified)};
    if (v.IsEmpty())
        Table().remove(localFile);
    else
        Table().insert(localFile, v);
}

void Remove(const QString& localFile) {
    Table().remove(localFile);
}

void Clear() {
    Table().clear();
}

const QHash<QString, JobValidator>& All() {
    return Table();
}

QByteArray ToBytes(const QHash<QString, JobValidator>& table) {
    QList<QString> keys = table.keys();
    std::sort(keys.begin(), keys.end());
    QByteArray out;
    for (const QString& key : keys) {
        const JobValidator& v = table[key];
        out += Clean(key).toUtf8() + '\t' + v.ETag.toUtf8() + '\t' + v.LastModified.toUtf8() + '\n';
    }
    return out;
}

QHash<QString, JobValidator> FromBytes(const QByteArray& bytes) {
    QHash<QString, JobValidator> table;
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 3 || f[0].isEmpty()) continue;
        JobValidator v{QString::fromUtf8(f[1]), QString::fromUtf8(f[2])};
        if (!v.IsEmpty()) table.insert(QString::fromUtf8(f[0]), v);
    }
    return table;
}

}  // namespace JobValidators
