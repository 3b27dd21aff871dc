// The job list a user imports, and the names the local-file import takes from paths.

#include "fuzz/FuzzSupport.h"
#include "store/JobListFile.h"
#include "store/LocalFileImport.h"

QV_FUZZ_ENTRY(job_list) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& line : JobListFile::Lines(bytes)) {
        QV_FUZZ_CHECK(!line.contains(u'\n') && !line.contains(u'\r'));
        QV_FUZZ_CHECK(line.size() <= bytes.size());
        const QString name = LocalFileImport::FileNameOf(line);
        QV_FUZZ_CHECK(!name.contains(u'/') && !name.contains(u'\\'));
        QV_FUZZ_CHECK(line.endsWith(name));
    }
    const QString name = LocalFileImport::FileNameOf(QString::fromUtf8(bytes));
    QV_FUZZ_CHECK(!name.contains(u'/') && !name.contains(u'\\'));
    return 0;
}
