#pragma once
// What the desktop is told about the downloads (with the "Notify" option on): a finished job with
// buttons to open its file or its folder, a failed job with the reason, and the end of the queue
// when more than one job ended since it last ran empty (a single job's own notice says it all).
// The job message window is left as it is; this comes on top of it.

#include <QObject>
#include <QString>
#include <functional>

class DesktopNotifier;
class clsJobManager;

class JobNotices : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(int job)> openFile;
        std::function<void(int job)> openFolder;
    };
    // The summary and body of one notification.
    struct Text {
        QString Summary;
        QString Body;
        bool operator==(const Text&) const = default;
    };

    JobNotices(clsJobManager* manager, DesktopNotifier* notifier, Hooks hooks,
               QObject* parent = nullptr);

    static Text Finished(const QString& fileName, const QString& localFile, qint64 size);
    static Text Failed(const QString& fileName, const QString& url, const QString& reason);
    // finished and failed: the jobs that ended since the queue last ran empty.
    static Text QueueDone(int finished, int failed);

private:
    void OnCompleted(int job);
    void OnFailed(int job, const QString& reason);
    void OnQueueEnded();

    DesktopNotifier* notifier;
    Hooks hooks;
    int finishedRun = 0;
    int failedRun = 0;
};
