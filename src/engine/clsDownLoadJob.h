#pragma once
// One download slot's job object: splits the job's URL, runs the HTTP exchange on up to ten
// connections, lays out and fills the byte ranges of the target file and reports every step
// through UpDataState. Headless: QtCore and QtNetwork only, one thread, event driven.
//
// The object owns its record (given by value to Create) and its connections' pool; it tells its
// owner (DownloadSlot) of every change of the record through RecordChanged, and the owner, who
// writes the job table, decides when the job is complete.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

#include "engine/ByteRanges.h"
#include "engine/ConnectionPool.h"
#include "engine/EngineOptions.h"
#include "engine/HttpHead.h"
#include "engine/ReportKind.h"
#include "engine/TargetFile.h"
#include "store/JobRecord.h"
#include "store/JobValidators.h"

class HttpConnection;

class clsDownLoadJob : public QObject {
    Q_OBJECT
public:
    // A file larger than this is laid out on a worker thread.
    static constexpr int32_t kLayoutInBackground = 1023000;
    // A new job of at most this many bytes uses one connection whatever Parts says.
    static constexpr int32_t kSplitThreshold = 51200;
    // A response head larger than this without its blank line fails the connection.
    static constexpr int kHeadLimit = 65536;
    // More redirects in a row than this end the job.
    static constexpr int kMaxRedirects = 10;
    // A file that changes on the server again and again ends the run after this many restarts.
    static constexpr int kMaxRestarts = 3;

    explicit clsDownLoadJob(QObject* parent = nullptr);
    ~clsDownLoadJob() override;

    static constexpr int32_t kUnknownEnd = ConnectionPool::kUnknownEnd;
    static inline bool& SendAcceptEncodingLine = ConnectionPool::SendAcceptEncodingLine;

    // Set by the owner.
    bool InUse = false;  // the slot is busy; cleared by Pause and when a run ends in error

    // The job's record as this run keeps it.
    JobRecord& Record() { return job; }
    const JobRecord& Record() const { return job; }

    // Takes the record and the options; splits its Url. On success State = 1 and the record is
    // reported (RecordChanged); otherwise false and nothing is reported.
    bool Create(const JobRecord& record, const EngineOptions& options);
    // Starts the run: connection 1 connects (reports "Connecting"). Always true.
    bool Start();
    // Closes every connection and the file, State 2, keeps everything resumable, saves.
    void Pause();
    // Chooses the file name ("!qv", automatic renaming), creates the file at FileSize bytes and
    // opens it. False when the file cannot be created (the run then ends in state 5). A file of
    // more than kLayoutInBackground bytes is laid out on a worker thread: LayingOut tells, and
    // the first answer's body waits until it is done.
    bool CreateFileForSave();
    // Lays out the ranges (new jobs) and prepares connection 2 (reports "Connecting").
    void CreateSocks2();
    // Opens connections 3 to Parts.
    void CreateSocks3_5();
    // Closes connection part, clears its range and reports (part, "Cancel", byPart).
    void CancelSock(int byPart, int part);
    // Received = the bytes of the file that the ranges in use have written.
    void CalcHaveDown();

    // Owner's helpers for the end of a job.
    // Closes the target file (FileOpen false). Safe to call when it is not open.
    void CloseFile();
    // Closes every connection without reports and ends the run; later notifications of this
    // run are ignored. Used by the owner once the job is complete.
    void StopAll();
    // Before a job is called complete: every byte of FileSize is on disk, written by a
    // connection at the position it asked for (or by an earlier run whose ranges say so), and
    // the file has its size. why gets the reason when not.
    bool VerifyComplete(QString* why) const;
    // Ends the run in state 5 with the reason; bytes not known to be on disk are owed again.
    void EndWithError(const QString& reason);

    // URL splitting into the working copy (Host, Port, Path, FileName, Spare).
    bool SplitUrl(const QString& url) { return SplitUrl(url, job); }
    static bool SplitUrl(const QString& url, JobRecord& record) {
        return ConnectionPool::SplitUrl(url, record);
    }
    static QByteArray RequestText(const JobRecord& record, int part,
                                  const QString& ifRange = QString()) {
        return ConnectionPool::RequestText(record, part, ifRange);
    }
    bool SizeUnknown() const { return pool.SizeUnknown(); }
    // True for an "https://" address (the connection speaks TLS).
    static bool IsSecureUrl(const QString& url) {
        return url.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    }
    // Response head including its blank line, "" when the bytes hold no blank line.
    static QString GetResponseHead(const QByteArray& bytes) { return HttpHead::Text(bytes); }
    // "200", "206", "404", "30" or "".
    static QString GetStatusClass(const QString& head) { return HttpHead::StatusClass(head, true); }
    // The text of the Content-Length value, "0" when the head has none.
    static QString GetContentLength(const QString& head) { return HttpHead::LengthText(head); }
    // The Location value without surrounding blanks, "" when the head has none.
    static QString GetLocation(const QString& head) { return HttpHead::Location(head); }
    // The last path component without / with its extension (from the last "." on).
    static QString GetFileBase(const QString& name) { return TargetFile::BaseOf(name); }
    static QString GetFileExt(const QString& name) { return TargetFile::ExtOf(name); }
    // The numeric status of a head's status line ("HTTP/1.1 206 ..." gives 206), 0 when none.
    static int StatusCode(const QString& head) { return HttpHead::StatusCode(head); }
    // The value of a header line (name without colon, any case) without surrounding blanks;
    // "" when the head has no such line.
    static QString HeaderValue(const QString& head, const QString& name) {
        return HttpHead::Value(head, name);
    }

    // Per connection k (1..10) in this run: response head, its length as decimal text, status
    // class.
    QString RespHead(int k) const { return k >= 1 && k <= kMaxParts ? respHead[k] : QString(); }
    QString RespHeadLen(int k) const { return QString::number(RespHead(k).size()); }
    QString RespStatus(int k) const { return k >= 1 && k <= kMaxParts ? respStatus[k] : QString(); }

signals:
    // The one report of the job: connection number 1..10, kind, detail.
    void UpDataState(int Part, ReportKind Kind, const QString& Detail);
    // The record has changed where a kill must not lose it (the owner keeps it now).
    void RecordChanged();
    // The job's state icon should show State (1 "Start", 2 "Pause", 3 "Waitfor", 5 "Error").
    // Raised at the end of Start, of Pause and when a run ends in state 5.
    void ShowStateIcon(int State);
    // A line for the job's log about something the reports do not tell (the file changed on
    // the server, the partial file is gone, ...).
    void LogNotice(int Part, const QString& Text);
    void RetryWaiting(int part, const QString& reason, int seconds, int attempt, int allowed);
    // A line for the job's log about the ranges' work that is no problem (a range moved to a
    // free connection, the number of connections the server takes).
    void LogInfo(int Part, const QString& Text);
    // The job is about to create its file under name: the owner keeps the record where a kill
    // cannot lose it before this returns.
    void FileAboutToBeMade(const QString& name);
    // A large file is being laid out: done of size bytes; ended once it is laid out, has failed
    // or was given up (the run paused or ended).
    void LayingOutFile(const QString& name, qint64 done, qint64 size, bool ended);

private:
    bool Report(int part, ReportKind kind, const QString& detail);
    bool Alive(quint64 id, int k, quint64 serial) const { return pool.Alive(id, k, serial); }
    void SaveDownState() { emit RecordChanged(); }
    bool Prepare();
    void UpdateRangesMayMove() { pool.SetRangesMayMove(resumeRun ? runConfirmed : rangeTested); }
    void ResetRun();
    void StartRun();
    bool HandleHead(int k, const QByteArray& headBytes, const QByteArray& body);
    bool HeadOn1(const QString& head, const QByteArray& body);
    bool HeadOn2(const QString& head, const QByteArray& body);
    bool HeadRanged(int k, const QString& head, const QByteArray& body);
    bool FollowRedirect(int k, const QString& head);
    // Checks an answer to connection k's request against the file: start and total of a 206,
    // the validators. Returns "" when it fits; else the reason, with *changed set when the
    // answer says the file on the server is not the one being downloaded.
    QString CheckAnswer(int k, const QString& head, bool* changed);
    void RestartFromZero(const QString& why);
    void ResetToNew(bool keepFileName, const QString& notice);
    void StartOverWithoutFile();
    void PlanResume();
    void OnPeerClosed(int k, quint64 serial, bool certain);
    bool FeedBody(int k, const QByteArray& body);
    void OnChunksEnded(int k);
    // The size of a job whose length was not known: the record's and the file's (false when
    // the file cannot be given that size; the run is in state 5 then). At the end of data
    // without a length it is what range 1 holds.
    bool SetFileSize(int32_t size);
    bool StoreBody(int k, const char* data, qint64 size);
    bool EndChecks(int k);
    void CoverByConnection1(int32_t end);
    void CheckRunEnd(int k, bool afterClose = false);
    void RunTo5(const QString& detail);
    bool OpenExistingFile();
    // Closes the target file, and stops its layout if one is running.
    void CloseTarget();
    // The large file is laid out (error 0) or could not be.
    void FileLaidOut(int error);
    // Ends the run in state 5 with what + name + the error's text; false.
    bool FileFailed(const QString& what, const QString& name, int error);
    // Connection 1's first answer goes on once the file is made: its body, connection 2.
    bool GoOnWithFile();
    bool LearnSize(const QString& head);
    void EndRunTimes();

    JobRecord job;
    JobValidator validator;  // of the server's file being downloaded
    EngineOptions opts;
    ConnectionPool pool{job, validator, InUse};
    TargetFile file;
    int redirects = 0;
    bool socks2Opened = false;
    bool socks3Opened = false;
    bool rangeTested = false;   // connection 2's range test has passed in this run
    bool resumeRun = false;     // this run continues a file already on disk
    bool runConfirmed = false;  // an answer of this run has shown the server's file is ours
    bool keepName = false;      // the file is named already: a restart keeps the name
    int restarts = 0;           // restarts from zero since Start
    ByteRanges written;         // bytes of the file known to be on disk
    QByteArray heldBody;        // the first answer's body bytes that came with its head
    std::array<QString, kMaxParts + 1> respHead, respStatus;
};
