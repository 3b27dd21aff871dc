#pragma once
// The connections of a download job's run, numbered 1..10 like the job's ranges: opening them
// (to the server or through the proxy), the request, their timeouts, a new attempt after a
// failure, how fast each receives, how many the server takes, and which range a free
// connection works on next. The job (clsDownLoadJob) owns the pool; the pool reads the job's
// record (the ranges, the address) and moves ranges between connections through RangePlan, and
// tells the job what its connections receive through its signals. Also the job's URL and
// request rules, which the job's users call as clsDownLoadJob::SplitUrl and
// clsDownLoadJob::RequestText.

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

#include "engine/ByteRanges.h"
#include "engine/EngineOptions.h"
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

    // record, validator and active (the job's slot is busy) belong to the owner, who keeps them
    // for the pool's life time.
    ConnectionPool(JobRecord& record, const JobValidator& validator, const bool& active,
                   QObject* parent = nullptr);
    ~ConnectionPool() override;

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

    void SetOptions(const EngineOptions& options) { opts = options; }
    // The server has shown in this run that it answers ranges: they may move.
    void SetRangesMayMove(bool may) { rangesMayMove = may; }

    // The run: every notification of an earlier run is ignored.
    quint64 RunId() const { return runId; }
    // Ends the run's connections and begins a new run id.
    void NewRun();
    // Starts the count of retries anew (a new Start).
    void ResetRetries() { retriesUsed.fill(0); }
    void ResetCapacity() { capacity.Reset(); }
    void CapacityAccepted() { capacity.Accepted(); }

    // Connections of this run that are connecting or receiving.
    int ActiveConnections() const;
    HttpConnection* Conn(int k) const { return conns[k]; }
    bool Alive(quint64 id, int k, quint64 serial) const;
    // True while FileSize is not known (a head without Content-Length).
    bool SizeUnknown() const;
    bool RetryPending(int k) const { return retryPending[k]; }
    bool AnyRetryPending() const;
    void CancelRetry(int k) { retryPending[k] = false; }
    // Ranges the server turned away wait out a pause; the run is not over meanwhile.
    bool CapacityWaitPending() const { return capacityWait.isActive(); }
    // The reason of the last failure of this run, "" when none.
    const QString& LastError() const { return lastError; }
    void SetLastError(const QString& text) { lastError = text; }

    // The report; false when it ended the run.
    bool Report(int part, ReportKind kind, const QString& detail);
    // Opens connection k (reports "Connecting"); connects at once with connectNow.
    bool OpenConnection(int k, bool connectNow);
    void ConnectSocket(int k);
    void CloseConnection(int k);
    void CloseAllConnections();
    // The range keeps its position; the connection is opened again after the retry delay when
    // the failure may pass, its range still owes bytes and retries are left. Always false.
    bool FailConnection(int k, const Failure& failure);
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

signals:
    // Every report of the run's connections: connection number 1..10, kind, detail.
    void Reported(int part, ReportKind kind, const QString& detail);
    // What connection k receives, for the job.
    void HeadArrived(int k, const QByteArray& head, const QByteArray& body);
    void BodyArrived(int k, const char* data, qint64 size);
    void ChunksEnded(int k);
    void PeerClosed(int k, quint64 serial, bool certain);
    // Connection k has ended (closed, failed, given up): the run goes on, or ends complete or in
    // state 5.
    void ConnectionEnded(int k, bool afterClose);
    // Nothing more can be done in this run (an unverified server, a refused tunnel).
    void RunRefused(const QString& reason);
    void LogNotice(int part, const QString& text);
    // Connection part failed (reason) and opens again in seconds: attempt of allowed.
    void RetryWaiting(int part, const QString& reason, int seconds, int attempt, int allowed);
    void LogInfo(int part, const QString& text);

private:
    void SendRequest(int k, quint64 serial);
    // Closes connections that waited longer than the connect or receive timeout.
    void OnWatch();
    bool ScheduleRetry(int k, const QString& reason);
    void OnFailed(int k, Failure failure, int socketError);
    double Speed(int k) const;
    bool Running() const;

    JobRecord& job;
    const JobValidator& validator;
    const bool& active;
    EngineOptions opts;
    bool rangesMayMove = false;
    quint64 runId = 0;
    quint64 nextSerial = 0;
    ServerCapacity capacity;  // connections the server takes in this run
    QString lastError;
    std::array<HttpConnection*, kMaxParts + 1> conns{};
    std::array<int, kMaxParts + 1> retriesUsed{};    // per connection since Start
    std::array<bool, kMaxParts + 1> retryPending{};  // waiting for the retry delay
    QTimer watch;
    QTimer capacityWait;
    QTimer capacityLift;  // the server's Retry-After
    // How fast the connections of this run that have ended received (for judging the last one).
    double endedSpeed = 0;
    quint64 endedSpeedRun = 0;
};
