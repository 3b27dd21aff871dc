#include "ui/SaveTriggers.h"

#include "manager/clsJobManager.h"
#include "store/CategoryTree.h"
#include "store/Globals.h"
#include "store/JobDbSaver.h"
#include "store/JobNamesJournal.h"
#include "store/JobTable.h"
#include "tree/CategoryCommands.h"

namespace SaveTriggers {

void Connect(JobDbSaver* saver, clsJobManager* manager, const CategoryTree* tree,
             CategoryCommands* commands) {
    auto request = [saver] { saver->RequestSave(); };
    // A job or batch added, a search that found movies, a job deleted.
    QObject::connect(manager, &clsJobManager::RowAdded, saver, [saver](int job) {
        saver->NoteNewJob(job);
        saver->RequestSave();
    });
    QObject::connect(manager, &clsJobManager::RowRemoved, saver, request);
    // A job started, paused, waiting, failed or complete: its file goes to disk with the save.
    auto stateChanged = [saver](int job) {
        saver->SyncJobFile(job);
        saver->RequestSave();
    };
    QObject::connect(manager, &clsJobManager::RowIconChanged, saver, stateChanged);
    QObject::connect(manager, &clsJobManager::JobCompleted, saver, stateChanged);
    QObject::connect(
        manager, &clsJobManager::JobFileAboutToBeMade, saver, [saver](int j, const QString& name) {
            // A job the database on disk does not hold yet goes there first: the loader drops
            // a journal line for a job it does not find, and the file would belong to no job.
            if (!saver->OnDisk(j)) saver->SaveNow();
            if (JobNamesJournal::Append(JobDbFile, j, Jobs[static_cast<size_t>(j)].Url, name))
                saver->RequestSave();
            else
                saver->SaveNow();
        });
    QObject::connect(manager, &clsJobManager::TransferRate, saver,
                     [saver](qint64, int busy) { saver->SetDownloadsRunning(busy > 0); });
    // Categories added, renamed, moved or deleted; jobs moved, commented or deleted.
    QObject::connect(tree, &CategoryTree::Changed, saver, request);
    QObject::connect(commands, &CategoryCommands::CommandDone, saver, request);
}

}  // namespace SaveTriggers
