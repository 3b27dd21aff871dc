#pragma once
// Keeps the job database on disk current while the program runs. Changes are gathered for up to
// a second and saved together; while downloads run, their positions are saved every few seconds,
// each time after the downloaded data has reached the disk, so that no saved record points past
// bytes that a power cut could take back. The snapshot of the tables is taken on the main thread
// (a few milliseconds even for a full table); building the bytes, the syncs and the writes run
// on a worker thread, one save at a time, a newer snapshot replacing a queued older one.

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "store/JobRecord.h"

class CategoryTree;
struct JobDbSnapshot;

class JobDbSaver : public QObject {
    Q_OBJECT
public:
    // Changes within this time of the first one are saved together.
    static constexpr int kGatherMs = 1000;
    // While downloads run, their positions are saved this often.
    static constexpr int kProgressMs = 5000;

    JobDbSaver(const CategoryTree* tree, QString path, QObject* parent = nullptr);
    // Writes what is queued and waits for it.
    ~JobDbSaver() override;

    // Something the user would mind losing has changed: saved within kGatherMs.
    void RequestSave();
    // Saved at once: the snapshot now, written in the background. Nothing is saved while
    // JobDbSavingStopped(path) gives a reason (a database that could not be read is never
    // replaced).
    void SaveSoon();
    // The final save: waits for the background writes, then writes on the calling thread. False
    // when it failed (the user has been told; the previous file stays whole) or saving is
    // stopped for path.
    bool SaveNow();
    // While downloads run, their positions are saved every kProgressMs.
    void SetDownloadsRunning(bool running);
    bool DownloadsRunning() const { return progressTimer.isActive(); }
    // The file of this job goes to disk before the next save: a job that stopped, failed or
    // finished since (its file may be closed or renamed by then; it is found by its record).
    void SyncJobFile(int job);
    // Blocks until no write is queued or running.
    void WaitForWrites();
    // A job given a row (added, or loaded) that the database on disk may not hold yet; OnDisk
    // is false for it until a save that holds it is written.
    void NoteNewJob(int job) { notOnDisk.insert(job); }
    bool OnDisk(int job) const { return !notOnDisk.contains(job); }
    // The rows just made for the jobs loaded from the database: it holds them.
    void LoadedJobsOnDisk() { notOnDisk.clear(); }

signals:
    // A background save has been written (ok) or has failed.
    void Saved(bool ok);

private:
    struct Task;
    void Post(std::unique_ptr<Task> task);
    // Keeps the job table of a snapshot that is done with for a later one (mutex held).
    void KeepTable(Task& task);
    std::unique_ptr<Task> TakeTask();
    void Run();
    void Finished(bool ok, const QString& error, const QSet<int>& added);
    bool Write(Task& task, QString* error) const;

    const CategoryTree* tree;
    QString path;
    QTimer gatherTimer;
    QTimer progressTimer;
    QSet<int> filesToSync;
    QSet<int> notOnDisk;
    bool failureShown = false;

    std::mutex mutex;
    std::condition_variable changed;
    std::unique_ptr<Task> queued;  // guarded by mutex
    bool writing = false;          // guarded by mutex
    bool stopping = false;         // guarded by mutex
    // Job tables of earlier snapshots, kept for the next ones to copy into; guarded by mutex.
    std::vector<std::vector<JobRecord>> spareTables;
    std::thread worker;
};
