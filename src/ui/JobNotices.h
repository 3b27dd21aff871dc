#pragma once
// What the desktop is told about the downloads (with the "Notify" option on): jobs that finish
// within a few seconds of each other as one notice (a single one with buttons to open its file or
// its folder, several as "12 downloads finished" with the saved files in the body), a failed job
// with the reason on its own, and the end of the queue when jobs also failed since it last ran
// empty (otherwise the finished notice says it all). Every notice names the file as saved.
// The job message window is left as it is; this comes on top of it.

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
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
    // Several jobs that finished together: their saved files, one a line.
    static Text FinishedTogether(const QStringList& localFiles);
    // How long a finished job waits for others to finish with it.
    static constexpr int kGatherMs = 3000;
    static Text Failed(const QString& fileName, const QString& url, const QString& reason);
    // finished and failed: the jobs that ended since the queue last ran empty.
    static Text QueueDone(int finished, int failed);

private:
    void OnCompleted(int job);
    void OnFailed(int job, const QString& reason);
    void OnQueueEnded();
    void TellFinished();

    DesktopNotifier* notifier;
    Hooks hooks;
    int finishedRun = 0;
    int failedRun = 0;
    QList<int> finishedNow;  // finished, not told yet
    QTimer gather;
};
