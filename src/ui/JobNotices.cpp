#include "ui/JobNotices.h"

#include <QSet>

#include "manager/clsJobManager.h"
#include "store/JobTable.h"
#include "store/LocalPath.h"
#include "store/Settings.h"
#include "store/TransferText.h"
#include "ui/DesktopNotifier.h"

JobNotices::JobNotices(clsJobManager* manager, DesktopNotifier* n, Hooks h, QObject* parent)
    : QObject(parent), notifier(n), hooks(std::move(h)) {
    connect(manager, &clsJobManager::JobCompleted, this, &JobNotices::OnCompleted);
    connect(manager, &clsJobManager::JobFailed, this, &JobNotices::OnFailed);
    connect(manager, &clsJobManager::DownloadsEnded, this, &JobNotices::OnQueueEnded);
    gather.setSingleShot(true);
    gather.setInterval(kGatherMs);
    connect(&gather, &QTimer::timeout, this, &JobNotices::TellFinished);
}

JobNotices::Text JobNotices::Finished(const QString& fileName, const QString& localFile,
                                      qint64 size) {
    return {QStringLiteral("Download complete: ") + fileName,
            TransferText::Size(size) + QStringLiteral(" saved as ") + localFile};
}

JobNotices::Text JobNotices::FinishedTogether(const QStringList& localFiles) {
    constexpr int kLines = 10;
    QStringList lines = localFiles.mid(0, kLines);
    if (localFiles.size() > kLines)
        lines << QStringLiteral("and %1 more").arg(localFiles.size() - kLines);
    return {QStringLiteral("%1 downloads finished").arg(localFiles.size()), lines.join(u'\n')};
}

JobNotices::Text JobNotices::Failed(const QString& fileName, const QString& url,
                                    const QString& reason) {
    const QString why = reason.isEmpty() ? QStringLiteral("the download stopped") : reason;
    return {QStringLiteral("Download failed: ") + fileName, why + u'\n' + url};
}

JobNotices::Text JobNotices::QueueDone(int finished, int failed) {
    QString body = QStringLiteral("%1 finished").arg(finished);
    if (failed > 0) body += QStringLiteral(", %1 failed").arg(failed);
    return {QStringLiteral("All downloads are done"), body};
}

void JobNotices::OnCompleted(int j) {
    ++finishedRun;
    if (Settings.Notify == 0 || j < 1 || j > JobCount) return;
    // Told once no other job has finished for a few seconds, or when the queue runs empty.
    finishedNow << j;
    gather.start();
}

void JobNotices::TellFinished() {
    gather.stop();
    QList<int> jobs;
    for (int j : std::exchange(finishedNow, {}))
        if (j >= 1 && j <= JobCount && Jobs[static_cast<size_t>(j)].State == StateComplete)
            jobs << j;
    if (Settings.Notify == 0 || jobs.isEmpty()) return;
    if (jobs.size() > 1) {
        QStringList files;
        QSet<QString> folders;
        for (int j : jobs) {
            files << Jobs[static_cast<size_t>(j)].LocalFile;
            folders.insert(LocalPath::FolderPart(files.last()));
        }
        const Text text = FinishedTogether(files);
        // One folder for all: a button opens it.
        if (folders.size() != 1) {
            notifier->Notify(text.Summary, text.Body);
            return;
        }
        const int first = jobs.first();
        notifier->Notify(text.Summary, text.Body,
                         {{QStringLiteral("open-folder"), QStringLiteral("Open Folder")}},
                         [this, first](const QString& key) {
                             if (key == QLatin1String("open-folder") && hooks.openFolder)
                                 hooks.openFolder(first);
                         });
        return;
    }
    const int j = jobs.first();
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    const Text text = Finished(LocalPath::FileNamePart(job.LocalFile), job.LocalFile, job.FileSize);
    notifier->Notify(text.Summary, text.Body,
                     {{QStringLiteral("open"), QStringLiteral("Open")},
                      {QStringLiteral("open-folder"), QStringLiteral("Open Folder")}},
                     [this, j](const QString& key) {
                         if (key == QLatin1String("open") && hooks.openFile) hooks.openFile(j);
                         if (key == QLatin1String("open-folder") && hooks.openFolder)
                             hooks.openFolder(j);
                     });
}

void JobNotices::OnFailed(int j, const QString& reason) {
    ++failedRun;
    if (Settings.Notify == 0 || j < 1 || j > JobCount) return;
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    QString name = LocalPath::FileNamePart(job.LocalFile);
    if (name.endsWith(QLatin1String("!qv"))) name.chop(3);
    const Text text = Failed(name.isEmpty() ? job.FileName : name, job.Url, reason);
    notifier->Notify(text.Summary, text.Body);
}

void JobNotices::OnQueueEnded() {
    TellFinished();
    const int finished = std::exchange(finishedRun, 0);
    const int failed = std::exchange(failedRun, 0);
    // Without failures the finished notice has said it all.
    if (Settings.Notify == 0 || failed == 0 || finished + failed < 2) return;
    const Text text = QueueDone(finished, failed);
    notifier->Notify(text.Summary, text.Body);
}
