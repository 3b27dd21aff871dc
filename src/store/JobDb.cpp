#include "store/JobDb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

#include "store/AtomicFile.h"
#include "store/Globals.h"
#include "store/JobDbFormat.h"
#include "store/JobDbSideFiles.h"
#include "store/JobDbSnapshot.h"
#include "store/JobNamesJournal.h"
#include "store/JobTable.h"
#include "store/JobValidators.h"
#include "store/UserMessage.h"

void AddFixedNodes(CategoryTree& tree, bool withDefaults) {
    const QString tag = DefaultDownDir;
    tree.Clear();
    tree.Add(QString(), TreeKeys::Root, QStringLiteral("Quorvanta"), "1", "1", tag);
    tree.Add(TreeKeys::Root, TreeKeys::NowSearch, QStringLiteral("Searching"), "2", "2", tag);
    tree.Add(TreeKeys::Root, TreeKeys::NowDownLoad, QStringLiteral("Downloading"), "3", "3", tag);
    tree.Add(TreeKeys::Root, TreeKeys::Downloaded, QStringLiteral("Downloaded"), "4", "4", tag);
    if (withDefaults) {
        tree.Add(TreeKeys::Downloaded, "101k", QStringLiteral("Cartoon"), "5", "6", tag);
        tree.Add(TreeKeys::Downloaded, "102k", QStringLiteral("MTV"), "5", "6", tag);
        tree.Add(TreeKeys::Downloaded, "103k", QStringLiteral("Games"), "5", "6", tag);
        tree.Add(TreeKeys::Downloaded, "104k", QStringLiteral("Ad"), "5", "6", tag);
    }
    tree.Add(TreeKeys::Root, TreeKeys::Recely, QStringLiteral("Delete"), "7", "7", tag);
}

void AddHistoryNodes(CategoryTree& tree) {
    tree.Add(QString(), TreeKeys::History, QStringLiteral("History"), "History", "History");
    for (const char* name : {"Today", "This Week", "This Month", "All"})
        tree.Add(TreeKeys::History, QString::fromLatin1(name), QString::fromLatin1(name),
                 "History1", "History1");
}

QByteArray JobDbBytes(const CategoryTree& tree) {
    return JobDbBytes(TakeJobDbSnapshot(tree));
}

namespace {

void LoadValidators(const QString& dbPath) {
    JobValidators::Clear();
    QFile file(JobValidatorsPath(dbPath));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QHash<QString, JobValidator> table = JobValidators::FromBytes(file.readAll());
    for (int i = 1; i <= JobCount; ++i) {
        const auto it = table.find(Jobs[i].LocalFile);
        if (it != table.end()) JobValidators::Set(it.key(), it.value());
    }
}

// Database paths whose file could not be read, with the reason; no save may replace them.
QHash<QString, QString>& SavingStopped() {
    static QHash<QString, QString> stopped;
    return stopped;
}

}  // namespace

QString JobDbSavingStopped(const QString& path) {
    return SavingStopped().value(QDir::cleanPath(path));
}

bool SaveJobDb(const CategoryTree& tree, const QString& path) {
    if (!JobDbSavingStopped(path).isEmpty()) return false;
    JobDbSideFiles::SaveAll(path);
    QString error;
    if (WriteJobDb(TakeJobDbSnapshot(tree), path, &error)) return true;
    UserMessage::Show(UserMessage::Critical, QStringLiteral("Quorvanta"),
                      QStringLiteral("The job database could not be saved to %1:\n%2\n"
                                     "The previous file was left as it was.")
                          .arg(QDir::toNativeSeparators(path), error));
    return false;
}

JobDbLoadResult LoadJobDb(CategoryTree& tree, const QString& path) {
    JobDbLoadResult result;
    AddFixedNodes(tree, false);
    ClearJobs();

    QFile file(path);
    QByteArray data;
    const QFileInfo info(path);
    const bool present = info.exists() || info.isSymLink();
    if (present && !info.isFile()) {
        // Never opened: a pipe would block the start, a device or folder holds no database.
        result.unreadable = true;
        result.problem = info.isDir() ? QStringLiteral("It is a folder.")
                                      : QStringLiteral("It is not a regular file.");
    } else if (!file.open(QIODevice::ReadOnly)) {
        result.complete = false;
        result.unreadable = present;
        result.problem = QStringLiteral("The file could not be opened: ") + file.errorString();
    } else if (uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr) {
        // Read straight from the mapped file; the mapping lives as long as file stays open.
        data = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), file.size());
    } else {
        data = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            result.unreadable = true;
            result.problem = QStringLiteral("The file could not be read: ") + file.errorString();
        }
    }
    if (result.unreadable) {
        // Nothing is loaded and nothing may replace the file: it may hold every job the user has.
        result.complete = false;
        SavingStopped().insert(QDir::cleanPath(path), result.problem);
        UserMessage::Show(UserMessage::Critical, QStringLiteral("Quorvanta"),
                          QStringLiteral("The job database %1 could not be read. %2\n"
                                         "The program runs without the jobs it holds, and jobs "
                                         "are not saved until it can be read and the program "
                                         "is started again.")
                              .arg(QDir::toNativeSeparators(path), result.problem));
        return result;
    }
    SavingStopped().remove(QDir::cleanPath(path));
    // One allocation for the table instead of many while it grows.
    Jobs.reserve(static_cast<size_t>(
        std::min<qsizetype>(kMaxJobs, data.size() / (kJobRecordFixedBytes + 26)) + 1));

    JobDbFormat::Reader reader(data);
    bool categoriesDone = false;
    if (result.complete) {
        int skipped = 0;
        // Depth below "Downloaded" of every category read so far.
        QHash<QString, int> depths{{TreeKeys::Downloaded, 0}};
        for (;;) {
            CategoryRecord c;
            if (!reader.ReadCategory(c)) {
                result.complete = false;
                result.problem = QStringLiteral("The file ends inside the category list.");
                break;
            }
            if (c.ParentKey == QLatin1String("0") && c.Key == QLatin1String("0")) {
                categoriesDone = true;
                break;
            }
            QString parentKey = c.ParentKey;
            int depth = -1;
            bool moved = false;
            if (const auto d = depths.constFind(parentKey); d != depths.cend()) {
                depth = *d + 1;
                if (depth > CategoryTree::kMaxCategoryDepth) {
                    // The parent is as deep as a category may be: the child becomes its sibling.
                    parentKey = tree.Find(parentKey)->ParentKey;
                    depth = *d;
                    moved = true;
                }
            }
            if (!tree.Add(parentKey, c.Key, c.Text.trimmed(), "5", "6", c.Folder.trimmed())) {
                ++skipped;
            } else if (depth >= 0) {
                depths.insert(c.Key, depth);
                if (moved) ++result.movedUp;
            }
        }
        if (skipped && result.complete) {
            result.complete = false;
            result.problem = QStringLiteral(
                                 "%1 categories had an unknown parent or a repeated key "
                                 "and were left out.")
                                 .arg(skipped);
        }
    }
    if (categoriesDone) {
        while (!reader.AtEnd()) {
            JobRecord job;
            if (!reader.ReadJob(job)) {
                result.complete = false;
                result.problem =
                    QStringLiteral("The file ends inside job record %1.").arg(JobCount + 1);
                break;
            }
            job.FileOpen = VbFalse;
            job.FileNo = 0;
            // A full table is reported with the rest of the load, not by AddJob a second time.
            if (JobCount >= kMaxJobs) {
                result.complete = false;
                result.problem = QStringLiteral("The file holds more than 32767 jobs.");
                break;
            }
            AddJob(job);
        }
    }

    LoadValidators(path);

    if (!result.complete || result.movedUp > 0) {
        result.keptAs = path + QStringLiteral(".bad");
        QFile::remove(result.keptAs);
        // The copy keeps the mode of the file it was made from; it holds the same logins.
        if (!QFile::copy(path, result.keptAs) || !AtomicFile::MakePrivate(result.keptAs))
            result.keptAs.clear();
        const QString kept = result.keptAs.isEmpty()
                                 ? QString()
                                 : QStringLiteral("\nThe file was kept as ") +
                                       QDir::toNativeSeparators(result.keptAs) + u'.';
        const QString moved =
            result.movedUp == 0 ? QString()
                                : QStringLiteral(
                                      "\n%1 categories were nested more than %2 levels deep; they "
                                      "were moved up, their jobs stay in them.")
                                      .arg(result.movedUp)
                                      .arg(CategoryTree::kMaxCategoryDepth);
        if (!result.complete)
            UserMessage::Show(UserMessage::Warning, QStringLiteral("Quorvanta"),
                              QStringLiteral("The job database %1 could not be read whole. %2\n"
                                             "What could be read was loaded (%3 jobs).%4%5")
                                  // One arg() call, so a "%" in the path or problem text is not
                                  // taken as a place marker.
                                  .arg(QDir::toNativeSeparators(path), result.problem,
                                       QString::number(JobCount), moved, kept));
        else
            UserMessage::Show(
                UserMessage::Warning, QStringLiteral("Quorvanta"),
                QStringLiteral("The job database %1 was loaded (%2 jobs).%3%4")
                    .arg(QDir::toNativeSeparators(path), QString::number(JobCount), moved, kept));
    }
    // Files made after the last save are named in the journal beside the database.
    JobNamesJournal::ApplyTo(path);
    return result;
}

void BuildDefaultTree(CategoryTree& tree, const QString& path) {
    QDir().mkpath(DefaultDownDir);
    AddFixedNodes(tree, true);
    SaveJobDb(tree, path);
}
