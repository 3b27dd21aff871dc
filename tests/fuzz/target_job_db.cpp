// The job database as the program loads it at its start (the file read from disk), the record
// reader on its own (never past the end of its input), and what a load keeps read back whole.

#include <QFile>

#include "fuzz/FuzzSupport.h"
#include "store/CategoryTree.h"
#include "store/JobDb.h"
#include "store/JobDbFormat.h"
#include "store/JobTable.h"
#include "store/UserMessage.h"

namespace {
QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = Fuzz::TempFolder() + u'/' + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
    return path;
}
}  // namespace

QV_FUZZ_ENTRY(job_db) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    JobDbFormat::Reader reader(bytes);
    for (int i = 0; i < 4 && !reader.AtEnd(); ++i) {
        CategoryRecord c;
        const qsizetype before = reader.Position();
        if (!reader.ReadCategory(c)) break;
        QV_FUZZ_CHECK(reader.Position() > before && reader.Position() <= bytes.size());
    }
    while (!reader.AtEnd()) {
        JobRecord job;
        const qsizetype before = reader.Position();
        if (!reader.ReadJob(job)) break;
        QV_FUZZ_CHECK(reader.Position() > before && reader.Position() <= bytes.size());
        QV_FUZZ_CHECK(job.Url.size() <= bytes.size() && job.LocalFile.size() <= bytes.size());
    }

    // The load tells the user about a damaged file; here that is the normal case.
    UserMessage::SetHandler([](UserMessage::Icon, const QString&, const QString&) {});
    CategoryTree tree;
    const QString path = Write(QStringLiteral("jobs.db"), bytes);
    const JobDbLoadResult loaded = LoadJobDb(tree, path);
    QV_FUZZ_CHECK(loaded.complete || !loaded.problem.isEmpty());
    QV_FUZZ_CHECK(JobCount >= 0 && JobCount <= kMaxJobs);
    QV_FUZZ_CHECK(Jobs.size() == size_t(JobCount) + 1);
    // Saving leaves out the jobs without a category and the deleted ones.
    int count = 0;
    for (int i = 1; i <= JobCount; ++i)
        if (!Jobs[i].ClassKey.isEmpty() && Jobs[i].ClassKey != TreeKeys::RecelyReally) ++count;

    // What was loaded is saved and read back the same.
    const QByteArray saved = JobDbBytes(tree);
    CategoryTree again;
    const JobDbLoadResult reloaded = LoadJobDb(again, Write(QStringLiteral("again.db"), saved));
    QV_FUZZ_CHECK(reloaded.complete);
    QV_FUZZ_CHECK(JobCount == count);
    QV_FUZZ_CHECK(JobDbBytes(again) == saved);
    UserMessage::SetHandler({});
    return 0;
}
