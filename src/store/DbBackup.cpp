#include "store/DbBackup.h"

#include "store/AtomicFile.h"

#include <QDir>
#include <QFile>

namespace DbBackup {

QString Backup(const QString& dbPath, const QString& dataDir, const QDateTime& when,
               QString* error) {
    const QString folder = dataDir + QStringLiteral("/backup");
    if (!QDir().mkpath(folder)) {
        if (error) *error = QStringLiteral("the folder %1 cannot be created").arg(folder);
        return QString();
    }
    QFile in(dbPath);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error) *error = in.errorString();
        return QString();
    }
    const QString target = folder + QStringLiteral("/default-") +
                           when.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                           QStringLiteral(".qvb");
    // Written aside and renamed, so a copy is whole or not there.
    if (!AtomicFile::Copy(in, target, error, true)) return QString();
    // The names sort by time: the newest come first in reverse name order.
    const QStringList copies = QDir(folder).entryList({QStringLiteral("default-*-*.qvb")},
                                                      QDir::Files, QDir::Name | QDir::Reversed);
    for (int i = kKept; i < copies.size(); ++i) QFile::remove(folder + '/' + copies[i]);
    return target;
}

}  // namespace DbBackup
