#pragma once
// The owner's side of one download slot: binds a job to a clsDownLoadJob, keeps Jobs current at
// every report, writes the job log texts, finishes a complete job and frees the slot. The main
// window's eight slots and quorvanta-get use this same class.

#include <QObject>
#include <QString>

#include "engine/clsDownLoadJob.h"

class DownloadSlot : public QObject {
    Q_OBJECT
public:
    explicit DownloadSlot(int slot, QObject* parent = nullptr);  // slot 1..8 (the tool uses 1)
    clsDownLoadJob* Job();
    int Slot() const;
    bool InUse() const;
    int JobIndex() const;
    // InUse, Create(jobIndex), ReadDownState, Start. A URL that cannot be split ends the job in
    // state 5 with a log line and emits RunEnded; returns false then.
    bool BindAndStart(int jobIndex);
    // Pauses the run (State 2), keeps everything resumable. Nothing happens when the slot is free.
    void Pause();

signals:
    // Every engine report, after CalcHaveDown and SaveDownState (Jobs[JobIndex] is current).
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
    // The job's row should show the state icon of state (raised by Start, Pause, a failed run).
    void StateIcon(int slot, int state);
    // The job is about to create its file (Jobs[jobIndex] names it already): a receiver that
    // keeps records on disk saves this one now, before the file exists.
    void FileAboutToBeMade(int slot, int jobIndex, const QString& name);

private:
    void OnUpDataState(int part, ReportKind kind, const QString& detail);
    void Finish();
    void Tell(int part, const QString& text);

    int slotNo;
    clsDownLoadJob job;
    quint64 bindId = 0;
};
