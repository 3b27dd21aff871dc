#pragma once
// The connections of a download job's run, numbered 1..10 like the job's ranges: opening them
// (to the server or through the proxy), the request, their timeouts, a new attempt after a
// failure, how fast each receives, how many the server takes, and which range a free
// connection works on next. What the connections receive is the job's (clsDownLoadJob): the
// pool hands it on through the virtual handlers. Also the job's URL and request rules, which
// the job's users call as clsDownLoadJob::SplitUrl and clsDownLoadJob::RequestText.

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

#include "engine/ByteRanges.h"
#include "engine/Failure.h"
#include "engine/ReportKind.h"
#include "engine/ServerCapacity.h"
#include "store/JobRecord.h"
#include "store/JobValidators.h"

class HttpConnection;

class ConnectionPool : public QObject {
    Q_OBJECT
public:
    // EndPos(1) while the size of the file is not known (no Content-Length); FileSize is 0 then.
    static constexpr int32_t kUnknownEnd = 2147483647;

    explicit ConnectionPool(QObject* parent = nullptr);
    ~ConnectionPool() override;

    // Set by the owner.
    int16_t JobIndex = 0;  // index of the bound job in Jobs
    bool InUse = false;    // the slot is busy; cleared by Pause and when a run ends in error

    // Connections of this run that are connecting or receiving.
    int ActiveConnections() const;
    // True while FileSize is not known (a head without Content-Length).
    bool SizeUnknown() const;

    // URL splitting into a record (Host, Port, Path, FileName, Spare).
    static bool SplitUrl(const QString& url, JobRecord& record);
    // The request of connection part, byte for byte.
    // With ifRange (a validator of the file) a request that carries a Range line also carries
    // "If-Range:", so that a changed file comes back whole instead of as a wrong piece.
    static QByteArray RequestText(const JobRecord& record, int part,
                                  const QString& ifRange = QString());
    // The old request carried the line "Accept -Encoding: gzip , deflate" (a blank inside the
    // header name). Current servers (nginx since 1.21.1, Apache 2.4 in its default strict mode)
    // answer such a request with "400 Bad Request", so the line is left out unless this is set.
    // A well-formed Accept-Encoding is never sent: the engine stores bodies as they come.
    static inline bool SendAcceptEncodingLine = false;

signals:
    // The one report of the job: connection number 1..10, kind word, information text.
    void UpDataState(int Part, ReportKind Kind, const QString& Detail);
    // The job's state icon should show State (1 "Start", 2 "Pause", 3 "Waitfor", 5 "Error").
    // Raised at the end of Start, of Pause and when a run ends in state 5.
    void ShowStateIcon(int State);
    // A line for the job's log about something the reports do not tell (the file changed on
    // the server, the partial file is gone, ...).
    void LogNotice(int Part, const QString& Text);
    // A line for the job's log about the ranges' work that is no problem (a range moved to a
    // free connection, the number of connections the server takes).
    void LogInfo(int Part, const QString& Text);
    // The job is about to create its file under name: the owner keeps the record (Jobs, which
    // is current) where a kill cannot lose it before this returns.
    void FileAboutToBeMade(const QString& name);

protected:
    // What the connections receive, for the job.
    virtual bool HandleHead(int k, const QByteArray& headBytes, const QByteArray& body) = 0;
    virtual bool StoreBody(int k, const char* data, qint64 size) = 0;
    virtual void OnChunksEnded(int k) = 0;
    virtual void OnPeerClosed(int k, quint64 serial, bool certain) = 0;
    // After a connection ended: the run goes on, or ends complete or in state 5.
    virtual void CheckRunEnd(int k, bool afterClose = false) = 0;
    virtual void RunTo5(const QString& detail) = 0;
    // The server has shown in this run that it answers ranges: they may move.
    virtual bool RangesMayMove() const = 0;

    // The report; false when it ended the run.
    bool Report(int part, ReportKind kind, const QString& detail);
    bool Alive(quint64 id, int k, quint64 serial) const;
    // Opens connection k (reports "Connecting"); connects at once with connectNow.
    bool OpenConnection(int k, bool connectNow);
    void ConnectSocket(int k);
    void CloseConnection(int k);
    void CloseAllConnections();
    void SendRequest(int k, quint64 serial);
    // Closes connections that waited longer than the connect or receive timeout.
    void OnWatch();
    // After a failed connection: opens it again after the retry delay when its range still owes
    // bytes and it has retries left in this run. False when the connection stays closed.
    bool ScheduleRetry(int k, const QString& reason);
    bool FailConnection(int k, const Failure& failure);
    void OnFailed(int k, const QString& detail, int socketError);
    double Speed(int k) const;
    // Gives free connections work: ranges that wait for a connection the server refused, then
    // the far part of the range that would end last. Up to Parts connections, fewer when the
    // server takes fewer.
    void Rebalance();
    // An answer or a refusal telling that the server takes no more connections: true when
    // connection k is given up for now (its range waits for a free connection) because other
    // connections work.
    bool RefusedForCapacity(int k, const QString& head);
    void NoteCapacity();
    bool Owes(int i) const;
    ByteRanges StoredBytes() const;
    // Opens a connection for every range that owes bytes, as many as the server takes.
    void OpenOwingRanges();

    JobRecord job;  // the working copy of Jobs[JobIndex]
    quint64 runId = 0;
    quint64 nextSerial = 0;
    ServerCapacity capacity;  // connections the server takes in this run
    JobValidator validator;   // of the server's file being downloaded
    QString lastError;
    std::array<HttpConnection*, kMaxParts + 1> conns{};
    std::array<int, kMaxParts + 1> retriesUsed{};    // per connection since Start
    std::array<bool, kMaxParts + 1> retryPending{};  // waiting for the retry delay

    // Ranges the server turned away wait out a pause; the run is not over meanwhile.
    bool CapacityWaitPending() const { return capacityWait.isActive(); }

private:
    QTimer watch;
    QTimer capacityWait;
    // How fast the connections of this run that have ended received (for judging the last one).
    double endedSpeed = 0;
    quint64 endedSpeedRun = 0;
};
