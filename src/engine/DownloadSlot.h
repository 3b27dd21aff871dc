#pragma once
// The owner's side of one download slot: binds a job to a clsDownLoadJob (its record and the
// options, by value), is the one writer of the job's record in Jobs while it runs (at every
// report and every change the job tells of), writes the job log texts, finishes and accounts a
// complete job and frees the slot. The main window's eight slots and quorvanta-get use this
// same class.

#include <QObject>
#include <QString>

#include "engine/EngineOptions.h"
#include "engine/ReportKind.h"
#include "engine/SessionLogins.h"
#include "engine/clsDownLoadJob.h"

class DownloadSlot : public QObject {
    Q_OBJECT
public:
    explicit DownloadSlot(int slot, QObject* parent = nullptr);  // slot 1..8 (the tool uses 1)
    // The speed limit the slot's runs read through (shared with the other slots; not owned).
    void SetLimiter(SpeedLimiter* limiter) { options.Limiter = limiter; }
    // Logins given for a server in this run; a job without its own uses them (not owned).
    void SetSessionLogins(const SessionLogins* logins) { sessionLogins = logins; }
    clsDownLoadJob* Job();
    int Slot() const;
    bool InUse() const;
    int JobIndex() const;
    // InUse, Create (the record of Jobs and the options from the settings, by value), Start. A
    // URL that cannot be split ends the job in state 5 with a log line and emits RunEnded;
    // returns false then.
    bool BindAndStart(int jobIndex);
    // Pauses the run (State 2), keeps everything resumable. Nothing happens when the slot is free.
    void Pause();
    // The average speed of a job of fileSize bytes that took timeElapsed (days): bytes per whole
    // second, a download done in under a second counting as one; 0 for a damaged time.
    static float AverageSpeed(int32_t fileSize, double timeElapsed);

signals:
    // Every engine report, after CalcHaveDown and Save (Jobs[JobIndex] is current).
    void Report(int slot, int part, ReportKind kind, const QString& detail);
    // A log line for a report (texts of DownloadLogText), with its log kind number.
    void LogLine(int slot, int part, const QString& text, int kind);
    // The job is complete: file closed, "!qv" dropped (final name), State 4, slot free.
    void Completed(int slot, int jobIndex);
    // The run ended without completing and without a user pause (State 5); slot free.
    // reason = the log text.
    void RunEnded(int slot, int jobIndex, const QString& reason);
    // A line for the job's log that no report carries (the file changed on the server, the
    // partial file is gone, the final rename failed). Also sent as LogLine.
    void Notice(int slot, int part, const QString& text);
    // A failed connection opens again in seconds (attempt of allowed); its log line comes too.
    void RetryWaiting(int slot, int part, const QString& reason, int seconds, int attempt,
                      int allowed);
    // The job's row should show the state icon of state (raised by Start, Pause, a failed run).
    void StateIcon(int slot, int state);
    // The job is about to create its file (Jobs[jobIndex] names it already): a receiver that
    // keeps records on disk saves this one now, before the file exists.
    void FileAboutToBeMade(int slot, int jobIndex, const QString& name);
    // A large file is being laid out (done of size bytes; ended once it is, or was given up).
    void LayingOutFile(int slot, int jobIndex, const QString& name, qint64 done, qint64 size,
                       bool ended);
    // The finished file is about to take its final name (the record still names it with "!qv").
    void FileAboutToBeRenamed(int slot, int jobIndex, const QString& name);

private:
    void OnUpDataState(int part, ReportKind kind, const QString& detail);
    void Finish();
    void Tell(int part, const QString& text);
    // Writes the job's record to Jobs; the category and the comment stay the user's.
    void Save();

    int slotNo;
    int jobIndex = 0;
    EngineOptions options;
    clsDownLoadJob job;
    quint64 bindId = 0;
    const SessionLogins* sessionLogins = nullptr;
    bool usesSessionLogin = false;  // the run's login is the session's, not the record's
};
