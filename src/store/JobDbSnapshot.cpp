#include "store/JobDbSnapshot.h"

#include <QFile>
#include <QFileInfo>

#include "store/AtomicFile.h"
#include "store/CategoryTree.h"
#include "store/Globals.h"
#include "store/JobTable.h"

JobDbSnapshot TakeJobDbSnapshot(const CategoryTree& tree) {
    JobDbSnapshot s;
    TakeJobDbSnapshot(tree, s);
    return s;
}

void TakeJobDbSnapshot(const CategoryTree& tree, JobDbSnapshot& s) {
    const QStringList keys = tree.Descendants(TreeKeys::Downloaded);
    s.categories.clear();
    s.categories.reserve(static_cast<size_t>(keys.size()));
    for (const QString& key : keys) {
        const TreeNode* n = tree.Find(key);
        s.categories.push_back({n->ParentKey, n->Key, n->Text, n->Tag});
    }
    s.jobs.assign(Jobs.begin(), Jobs.begin() + JobCount + 1);
    s.validators = JobValidators::All();
}

QByteArray JobDbBytes(const JobDbSnapshot& snapshot) {
    // Room for the whole file up front, so the buffer is not copied while it grows: the fixed
    // bytes and string lengths, every string's characters, and some slack for non-ASCII text.
    qsizetype estimate = 4096;
    for (size_t i = 1; i < snapshot.jobs.size(); ++i) {
        const JobRecord& j = snapshot.jobs[i];
        estimate += kJobRecordFixedBytes + 26 + j.ClassKey.size() + j.Referer.size() +
                    j.Comment.size() + j.LocalFile.size() + j.FileName.size() + j.Spare.size() +
                    j.Url.size() + j.Host.size() + j.Path.size() + j.ProxyHost.size() +
                    j.UserName.size() + j.Password.size() + j.UserAgent.size();
    }
    QByteArray out;
    out.reserve(estimate + estimate / 8);
    for (const CategoryRecord& c : snapshot.categories) JobDbFormat::WriteCategory(out, c);
    JobDbFormat::WriteCategory(out, {"0", "0", "end", "end"});
    for (size_t i = 1; i < snapshot.jobs.size(); ++i) {
        const JobRecord& job = snapshot.jobs[i];
        if (job.ClassKey.isEmpty() || job.ClassKey == TreeKeys::RecelyReally) continue;
        JobDbFormat::WriteJob(out, job);
    }
    return out;
}

QByteArray JobValidatorBytes(const JobDbSnapshot& snapshot) {
    if (snapshot.validators.isEmpty()) return {};
    QHash<QString, JobValidator> kept;
    for (size_t i = 1; i < snapshot.jobs.size(); ++i) {
        const JobRecord& j = snapshot.jobs[i];
        if (j.State == StateComplete || j.State == StateFree || j.LocalFile.isEmpty()) continue;
        const auto it = snapshot.validators.constFind(j.LocalFile);
        if (it != snapshot.validators.cend() && !it->IsEmpty()) kept.insert(j.LocalFile, *it);
    }
    return kept.isEmpty() ? QByteArray() : JobValidators::ToBytes(kept);
}

QString JobValidatorsPath(const QString& dbPath) {
    const QFileInfo info(dbPath);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".qvv");
}

bool WriteJobDb(const JobDbSnapshot& snapshot, const QString& path, QString* error) {
    const QString validatorsPath = JobValidatorsPath(path);
    const QByteArray validators = JobValidatorBytes(snapshot);
    if (validators.isEmpty())
        QFile::remove(validatorsPath);
    else if (!AtomicFile::Write(validatorsPath, validators, error))
        return false;
    return AtomicFile::Write(path, JobDbBytes(snapshot), error);
}
