#include "store/JobListFile.h"

#include <QFile>

#include "store/JobTable.h"

namespace JobListFile {

QList<int> JobsOfCategory(const QString& key) {
    QList<int> out;
    for (int i = 1; i <= JobCount; ++i)
        if (Jobs[static_cast<size_t>(i)].ClassKey == key) out.append(i);
    return out;
}

QByteArray ListBytes(const QList<int>& jobs) {
    QByteArray out;
    for (int i : jobs) {
        if (i < 1 || i > JobCount) continue;
        QByteArray url = Jobs[static_cast<size_t>(i)].Url.toUtf8();
        url.replace('"', "%22");
        out += '"' + url + "\"\r\n";
    }
    return out;
}

bool Write(const QString& path, const QList<int>& jobs, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray bytes = ListBytes(jobs);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        if (error) *error = file.errorString();
        return false;
    }
    file.close();
    return true;
}

QStringList Lines(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList out;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('"'))) {
            line.remove(0, 1);
            if (line.endsWith(QLatin1Char('"'))) line.chop(1);
            line = line.trimmed();
        }
        if (!line.isEmpty()) out.append(line);
    }
    return out;
}

}  // namespace JobListFile
