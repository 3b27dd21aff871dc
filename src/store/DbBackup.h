#pragma once
// Copies of the job database kept in the data folder's "backup" folder as
// default-YYYYMMDD-HHMMSS.qvb; only the newest few are kept.

#include <QDateTime>
#include <QString>

namespace DbBackup {

constexpr int kKept = 10;

// Copies dbPath into dataDir + "/backup/" under the name for when, then removes all but the
// kKept newest copies. Returns the copy's path, or empty with the reason when it failed.
QString Backup(const QString& dbPath, const QString& dataDir, const QDateTime& when,
               QString* error = nullptr);

}  // namespace DbBackup
