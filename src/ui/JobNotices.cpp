#include "ui/JobNotices.h"

#include "manager/clsJobManager.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/TransferText.h"
#include "ui/DesktopNotifier.h"

JobNotices::JobNotices(clsJobManager* manager, DesktopNotifier* n, Hooks h, QObject* parent)
    : QObject(parent), notifier(n), hooks(std::move(h)) {
    connect(manager, &clsJobManager::JobCompleted, this, &JobNotices::OnCompleted);
    connect(manager, &clsJobManager::JobFailed, this, &JobNotices::OnFailed);
    connect(manager, &clsJobManager::DownloadsEnded, this, &JobNotices::OnQueueEnded);
}

JobNotices::Text JobNotices::Finished(const QString& fileName, const QString& localFile,
                                      qint64 size) {
    return {QStringLiteral("Download complete: ") + fileName,
            TransferText::Size(size) + QStringLiteral(" saved as ") + localFile};
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
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    const Text text = Finished(job.FileName, job.LocalFile, job.FileSize);
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
    const Text text = Failed(job.FileName, job.Url, reason);
    notifier->Notify(text.Summary, text.Body);
}

void JobNotices::OnQueueEnded() {
    const int finished = std::exchange(finishedRun, 0);
    const int failed = std::exchange(failedRun, 0);
    if (Settings.Notify == 0 || finished + failed < 2) return;
    const Text text = QueueDone(finished, failed);
    notifier->Notify(text.Summary, text.Body);
}
