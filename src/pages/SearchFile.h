#pragma once
// The search jobs as they are kept beside the job database ("searches.qvs" in the same folder):
// "QVS1", a format number, the number of jobs, then per job its record (the download job
// template in the job database's own record form) and the texts of its row in the search list.
// Numbers and texts are in QDataStream's form (big-endian; texts UTF-16).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "pages/SearchRecord.h"

namespace SearchFile {

struct Entry {
    SearchRecord record;
    QString icon;       // the row's state icon
    QStringList texts;  // the row's sub-items
};

// searches.qvs in the folder of the job database dbPath.
QString PathBeside(const QString& dbPath);

QByteArray ToBytes(const std::vector<Entry>& entries);
// False when the bytes are not such a file or end early; entries then holds the jobs read whole.
bool FromBytes(const QByteArray& bytes, std::vector<Entry>* entries);

}  // namespace SearchFile
