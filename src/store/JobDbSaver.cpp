#include "store/JobDbSaver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "store/CategoryTree.h"
#include "store/JobDb.h"
#include "store/JobDbSideFiles.h"
#include "store/JobDbSnapshot.h"
#include "store/JobNamesJournal.h"
#include "store/JobTable.h"
#include "store/UserMessage.h"

namespace {

void TellFailure(const QString& path, const QString& error) {
    UserMessage::Show(UserMessage::Critical, QStringLiteral("Quorvanta"),
                      QStringLiteral("The job database could not be saved to %1:\n%2\n"
                                     "The previous file was left as it was.")
                          .arg(QDir::toNativeSeparators(path), error));
}

}  // namespace

// One save: the snapshot and the open files (and their folders) whose data it counts on.
struct JobDbSaver::Task {
    JobDbSnapshot snapshot;
    std::vector<std::pair<int, QString>> files;    // data synced (fdatasync)
    std::vector<std::pair<int, QString>> folders;  // names synced (fsync)
    int64_t journal = 0;  // the file names set aside for this save (JobNamesJournal)
    QSet<int> added;      // new jobs the snapshot holds
    Task() = default;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() {
        for (const auto& f : files) ::close(f.first);
        for (const auto& f : folders) ::close(f.first);
    }
    // The files of an older task that this one replaces.
    void Adopt(Task& older) {
        files.insert(files.end(), older.files.begin(), older.files.end());
        folders.insert(folders.end(), older.folders.begin(), older.folders.end());
        older.files.clear();
        older.folders.clear();
        journal = std::max(journal, older.journal);
        added.unite(older.added);
    }
};

JobDbSaver::JobDbSaver(const CategoryTree* tree, QString path, QObject* parent)
    : QObject(parent), tree(tree), path(std::move(path)) {
    gatherTimer.setSingleShot(true);
    gatherTimer.setInterval(kGatherMs);
    connect(&gatherTimer, &QTimer::timeout, this, &JobDbSaver::SaveSoon);
    progressTimer.setInterval(kProgressMs);
    connect(&progressTimer, &QTimer::timeout, this, &JobDbSaver::SaveSoon);
}

JobDbSaver::~JobDbSaver() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    if (worker.joinable()) worker.join();
}

void JobDbSaver::RequestSave() {
    if (!gatherTimer.isActive()) gatherTimer.start();
}

void JobDbSaver::SaveSoon() {
    gatherTimer.stop();
    // A database that could not be read is never replaced; the user has been told.
    if (!JobDbSavingStopped(path).isEmpty()) return;
    Post(TakeTask());
}

void JobDbSaver::SetDownloadsRunning(bool running) {
    if (!running)
        progressTimer.stop();
    else if (!progressTimer.isActive())
        progressTimer.start();
}

void JobDbSaver::SyncJobFile(int job) {
    if (job >= 1 && job <= JobCount) filesToSync.insert(job);
}

std::unique_ptr<JobDbSaver::Task> JobDbSaver::TakeTask() {
    auto task = std::make_unique<Task>();
    {
        std::lock_guard lock(mutex);
        if (!spareTables.empty()) {
            task->snapshot.jobs.swap(spareTables.back());
            spareTables.pop_back();
        }
    }
    // The names written down so far are in the tables this snapshot takes.
    task->journal = JobNamesJournal::SetAside(path);
    TakeJobDbSnapshot(*tree, task->snapshot);
    task->added = notOnDisk;
    JobDbSideFiles::SaveAll(path);
    // The files of the running jobs and of the jobs that ran since the last save. They are
    // opened now, under the names the snapshot holds, so a later rename or close does not
    // matter: syncing any descriptor of a file flushes all of its data.
    QSet<QString> names;
    const std::vector<JobRecord>& jobs = task->snapshot.jobs;
    for (size_t j = 1; j < jobs.size(); ++j)
        if (jobs[j].State == StateRunning && !jobs[j].LocalFile.isEmpty())
            names.insert(jobs[j].LocalFile);
    for (int j : std::as_const(filesToSync))
        if (static_cast<size_t>(j) < jobs.size() &&
            !jobs[static_cast<size_t>(j)].LocalFile.isEmpty())
            names.insert(jobs[static_cast<size_t>(j)].LocalFile);
    filesToSync.clear();
    QSet<QString> folderNames;
    for (const QString& name : std::as_const(names)) {
        // Not created yet, or gone: the engine copes with both. A pipe or device someone named
        // as a job's file is not opened at all (an open could block or have effects).
        const QByteArray encoded = QFile::encodeName(name);
        struct stat st {};
        if (::stat(encoded.constData(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        task->files.emplace_back(fd, name);
        folderNames.insert(QFileInfo(name).absolutePath());
    }
    for (const QString& name : std::as_const(folderNames)) {
        const int fd =
            ::open(QFile::encodeName(name).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) task->folders.emplace_back(fd, name);
    }
    return task;
}

void JobDbSaver::Post(std::unique_ptr<Task> task) {
    std::unique_ptr<Task> older;  // freed outside the lock
    {
        std::lock_guard lock(mutex);
        if (queued) {
            task->Adopt(*queued);
            KeepTable(*queued);
            older = std::move(queued);
        }
        queued = std::move(task);
        if (!worker.joinable()) worker = std::thread([this] { Run(); });
    }
    changed.notify_all();
}

void JobDbSaver::KeepTable(Task& task) {
    // Two tables are enough: one being written, one being taken.
    if (spareTables.size() < 2) spareTables.push_back(std::move(task.snapshot.jobs));
}

void JobDbSaver::Run() {
    for (;;) {
        std::unique_ptr<Task> task;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [this] { return stopping || queued != nullptr; });
            if (!queued) return;
            task = std::move(queued);
            writing = true;
        }
        QString error;
        const bool ok = Write(*task, &error);
        const QSet<int> added = std::move(task->added);
        {
            std::lock_guard lock(mutex);
            writing = false;
            KeepTable(*task);
        }
        task.reset();
        changed.notify_all();
        QMetaObject::invokeMethod(
            this, [this, ok, error, added] { Finished(ok, error, added); }, Qt::QueuedConnection);
    }
}

bool JobDbSaver::Write(Task& task, QString* error) const {
    // The data first: no record may point past bytes that are not on disk yet.
    bool synced = true;
    for (const auto& [fd, name] : task.files) {
        if (synced && ::fdatasync(fd) != 0) {
            synced = false;
            *error = QStringLiteral("cannot flush %1 to disk: %2")
                         .arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        }
        ::close(fd);
    }
    task.files.clear();
    // The names of new and renamed files; a file system that cannot sync a folder needs not.
    for (const auto& folder : task.folders) {
        if (synced) ::fsync(folder.first);
        ::close(folder.first);
    }
    task.folders.clear();
    if (!synced) return false;
    if (!WriteJobDb(task.snapshot, path, error)) return false;
    JobNamesJournal::DropUpTo(path, task.journal);
    return true;
}

void JobDbSaver::Finished(bool ok, const QString& error, const QSet<int>& added) {
    if (ok) notOnDisk.subtract(added);
    // A failing disk is told once, not at every save, until a save succeeds again.
    if (!ok && !failureShown) TellFailure(path, error);
    failureShown = !ok;
    emit Saved(ok);
}

bool JobDbSaver::SaveNow() {
    gatherTimer.stop();
    if (!JobDbSavingStopped(path).isEmpty()) {
        WaitForWrites();
        return false;
    }
    std::unique_ptr<Task> task = TakeTask();
    std::unique_ptr<Task> older;
    {
        // A queued save is older than this one: it is dropped, its files are synced with this.
        std::unique_lock lock(mutex);
        if (queued) {
            task->Adopt(*queued);
            KeepTable(*queued);
            older = std::move(queued);
        }
        changed.wait(lock, [this] { return !writing; });
    }
    QString error;
    const bool ok = Write(*task, &error);
    if (ok) notOnDisk.subtract(task->added);
    if (!ok) TellFailure(path, error);
    failureShown = !ok;
    return ok;
}

void JobDbSaver::WaitForWrites() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !writing && queued == nullptr; });
}
