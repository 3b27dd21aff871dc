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

// A path the side file can hold: one without tabs and line ends, which separate its fields and
// lines.
bool Representable(const QString& path) {
    return !path.isEmpty() && !path.contains(QLatin1Char('\t')) &&
           !path.contains(QLatin1Char('\r')) && !path.contains(QLatin1Char('\n'));
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
        // The file's path is its key exactly as the job holds it: a path this format cannot
        // hold is left out (that file goes on without validators) rather than written as another
        // path, whose file would be sent these validators.
        if (!Representable(key)) continue;
        const JobValidator& v = table[key];
        out += key.toUtf8() + '\t' + Clean(v.ETag).toUtf8() + '\t' +
               Clean(v.LastModified).toUtf8() + '\n';
    }
    return out;
}

QHash<QString, JobValidator> FromBytes(const QByteArray& bytes) {
    QHash<QString, JobValidator> table;
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 3 || f[0].isEmpty()) continue;
        const QString key = QString::fromUtf8(f[0]);
        if (!Representable(key)) continue;
        JobValidator v{Clean(QString::fromUtf8(f[1])), Clean(QString::fromUtf8(f[2]))};
        if (!v.IsEmpty()) table.insert(key, v);
    }
    return table;
}

}  // namespace JobValidators
