#pragma once
// One download slot's job object: splits the job's URL, runs the HTTP exchange on up to ten
// connections, lays out and fills the byte ranges of the target file and reports every step
// through UpDataState. Headless: QtCore and QtNetwork only, one thread, event driven.
//
// The object works on a copy of one record of Jobs (ReadDownState / SaveDownState). The owner
// (DownloadSlot) saves the copy after every report and decides when the job is complete.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

#include "engine/ByteRanges.h"
#include "engine/ConnectionPool.h"
#include "engine/HttpHead.h"
#include "engine/TargetFile.h"
#include "store/JobRecord.h"
#include "store/JobValidators.h"

class HttpConnection;

class clsDownLoadJob : public ConnectionPool {
    Q_OBJECT
public:
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

    // Set by the owner.
    QString JobItem;  // key of the job's row in the owner's list (the engine only keeps it)

    // The working copy of Jobs[JobIndex].
    JobRecord& Record() { return job; }
    const JobRecord& Record() const { return job; }

    // JobIndex = jobIndex; copies Jobs[jobIndex]; splits its Url. On success State = 1 and the
    // record is written back; otherwise false and Jobs[jobIndex] is left as it was.
    bool Create(int jobIndex);
    // Starts the run: connection 1 connects (reports "Connecting"). Always true.
    bool Start();
    // Closes every connection and the file, State 2, keeps everything resumable, saves.
    void Pause();
    void ReadDownState();
    void SaveDownState();
    // Chooses the file name ("!qv", automatic renaming), creates the file at FileSize bytes and
    // opens it. False when the file cannot be created (the run then ends in state 5).
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
    bool SplitUrl(const QString& url);
    using ConnectionPool::SplitUrl;
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
    QString RespHead(int k) const;
    QString RespHeadLen(int k) const;
    QString RespStatus(int k) const;

private:
    void ResetRun();
    void StartRun();
    bool HandleHead(int k, const QByteArray& headBytes, const QByteArray& body) override;
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
    void OnPeerClosed(int k, quint64 serial, bool certain) override;
    bool FeedBody(int k, const QByteArray& body);
    void OnChunksEnded(int k) override;
    // The size of a job whose length was not known: the record's and the file's (false when
    // the file cannot be given that size; the run is in state 5 then). At the end of data
    // without a length it is what range 1 holds.
    bool SetFileSize(int32_t size);
    bool StoreBody(int k, const char* data, qint64 size) override;
    bool EndChecks(int k);
    void CoverByConnection1(int32_t end);
    void CheckRunEnd(int k, bool afterClose = false) override;
    void RunTo5(const QString& detail) override;
    bool RangesMayMove() const override;
    bool OpenExistingFile();
    bool LearnSize(const QString& head);
    void EndRunTimes();

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
    std::array<QString, kMaxParts + 1> respHead, respStatus;
};
