#include "engine/ConnectionPool.h"

#include <QAbstractSocket>
#include <QTimer>
#include <algorithm>

#include "engine/HttpConnection.h"
#include "engine/HttpHead.h"
#include "engine/HttpRequest.h"
#include "engine/RangePlan.h"
#include "engine/UrlParts.h"

namespace {

// How often the connections' timeouts are looked at.
constexpr int kWatchMs = 250;

}  // namespace

ConnectionPool::ConnectionPool(JobRecord& record, const JobValidator& validator, const bool& active,
                               QObject* parent)
    : QObject(parent), job(record), validator(validator), active(active) {
    watch.setInterval(kWatchMs);
    connect(&watch, &QTimer::timeout, this, &ConnectionPool::OnWatch);
    capacityWait.setSingleShot(true);
    connect(&capacityWait, &QTimer::timeout, this, [this] {
        const quint64 id = runId;
        Rebalance();
        if (id == runId && ActiveConnections() == 0) emit ConnectionEnded(1, true);
    });
    // One wait for all the refusals: more connections are tried once, the asked time after the
    // last of them.
    capacityLift.setSingleShot(true);
    connect(&capacityLift, &QTimer::timeout, this, [this] {
        capacity.Lift();
        Rebalance();
    });
}

ConnectionPool::~ConnectionPool() {
    ++runId;
    CloseAllConnections();
}

bool ConnectionPool::SplitUrl(const QString& url, JobRecord& record) {
    UrlParts parts;
    if (!parts.Split(url, UrlParts::EngineRules())) return false;
    record.Host = parts.Host;
    record.Port = parts.Port;
    record.Path = parts.Target(record.UseProxy != 0);
    record.FileName = parts.FileName;
    record.Spare = record.FileName;
    return true;
}

QByteArray ConnectionPool::RequestText(const JobRecord& record, int part, const QString& ifRange) {
    HttpRequest request;
    request.Target = record.Path;
    request.UserAgent = record.UserAgent;
    request.Host = UrlParts::HostField(
        record.Host, record.Port,
        record.Url.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive));
    request.OddAcceptEncoding = SendAcceptEncodingLine;
    if (part >= 1 && part <= kMaxParts && record.Segments[part].CurPos > 0) {
        request.RangeFrom = record.Segments[part].CurPos;
        request.IfRange = ifRange;
    }
    // The page the link was found on, and the login for the job's own server (never in a
    // proxy's tunnel request: that one is made elsewhere and carries neither).
    if (!record.Referer.trimmed().isEmpty() && UrlParts::RefererMayGo(record.Referer, record.Url))
        request.ExtraLines << QStringLiteral("Referer: ") + record.Referer.trimmed();
    if (record.UseLogin != 0 && !(record.UserName.isEmpty() && record.Password.isEmpty()))
        request.ExtraLines
            << QStringLiteral("Authorization: Basic ") +
                   QString::fromLatin1(
                       (record.UserName + QLatin1Char(':') + record.Password).toUtf8().toBase64());
    return request.Bytes();
}

void ConnectionPool::NewRun() {
    ++runId;
    CloseAllConnections();
}

bool ConnectionPool::Running() const {
    return active && job.State == StateRunning;
}

bool ConnectionPool::AnyRetryPending() const {
    for (int k = 1; k <= kMaxParts; ++k)
        if (retryPending[k]) return true;
    return false;
}

bool ConnectionPool::Alive(quint64 id, int k, quint64 serial) const {
    return id == runId && conns[k] != nullptr && conns[k]->Serial == serial;
}

bool ConnectionPool::Report(int part, ReportKind kind, const QString& detail) {
    const quint64 id = runId;
    emit Reported(part, kind, detail);
    return id == runId;
}

int ConnectionPool::ActiveConnections() const {
    int n = 0;
    for (int k = 1; k <= kMaxParts; ++k)
        if (conns[k] != nullptr) ++n;
    return n;
}

bool ConnectionPool::OpenConnection(int k, bool connectNow) {
    CloseConnection(k);
    retryPending[k] = false;
    auto* c = new HttpConnection(this);
    c->SetLimiter(opts.Limiter);
    c->Serial = ++nextSerial;
    conns[k] = c;
    const quint64 serial = c->Serial;
    // Every signal of the connection is for this run and this connection only.
    auto mine = [this, k, serial] { return Alive(runId, k, serial); };
    connect(c, &HttpConnection::Ready, this, [this, k, serial, mine] {
        if (mine()) SendRequest(k, serial);
    });
    connect(c, &HttpConnection::HeadArrived, this,
            [this, k, mine](const QByteArray& head, const QByteArray& rest) {
                if (mine()) emit HeadArrived(k, head, rest);
            });
    connect(c, &HttpConnection::Data, this, [this, k, mine](const char* data, qint64 size) {
        if (mine()) emit BodyArrived(k, data, size);
    });
    connect(c, &HttpConnection::ChunksEnded, this, [this, k, mine] {
        if (mine()) emit ChunksEnded(k);
    });
    connect(c, &HttpConnection::PeerClosed, this, [this, k, serial, mine](bool certain) {
        if (mine()) emit PeerClosed(k, serial, certain);
    });
    connect(c, &HttpConnection::Failed, this,
            [this, k, mine](const Failure& failure, int socketError) {
                if (mine()) OnFailed(k, failure, socketError);
            });
    connect(c, &HttpConnection::Refused, this, [this, mine](const QString& reason) {
        // A server whose certificate does not verify is never talked to; a proxy that refuses
        // the tunnel leaves no way to it: the job ends here.
        if (mine()) emit RunRefused(reason);
    });
    const QString host = job.UseProxy != 0 ? job.ProxyHost : job.Host;
    const uint16_t port = job.UseProxy != 0 ? job.ProxyPort : job.Port;
    const quint64 id = runId;
    if (!Report(k, ReportKind::Connecting, host + QLatin1Char(':') + QString::number(port)))
        return false;
    if (!Alive(id, k, serial)) return false;
    if (connectNow) ConnectSocket(k);
    if (!watch.isActive()) watch.start();
    return true;
}

void ConnectionPool::ConnectSocket(int k) {
    if (conns[k] == nullptr || conns[k]->CurrentState() != HttpConnection::State::Idle) return;
    conns[k]->Open(job.Host, job.Port,
                   job.Url.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive),
                   job.UseProxy != 0, job.ProxyHost, job.ProxyPort);
}

void ConnectionPool::CloseConnection(int k) {
    HttpConnection* c = conns[k];
    if (c == nullptr) return;
    if (endedSpeedRun != runId) {
        endedSpeedRun = runId;
        endedSpeed = 0;
    }
    if (const double speed = Speed(k); speed > 0)
        endedSpeed = endedSpeed > 0 ? (endedSpeed + speed) / 2 : speed;
    // The server learns of a close in the middle of its answer only at its next write: until
    // then it still counts the connection.
    if (c->InBody() && c->BodyLeft != 0) capacity.ClosedEarly();
    conns[k] = nullptr;
    c->disconnect(this);
    c->Abort();
    // The connection may be inside one of its own signals: it goes once that has returned.
    c->deleteLater();
}

void ConnectionPool::CloseAllConnections() {
    for (int k = 1; k <= kMaxParts; ++k) CloseConnection(k);
    retryPending.fill(false);
    watch.stop();
    capacityWait.stop();
    capacityLift.stop();
}

void ConnectionPool::SendRequest(int k, quint64 serial) {
    const quint64 id = runId;
    if (!Report(k, ReportKind::Connected, conns[k]->PeerText(k == 1)) || !Alive(id, k, serial))
        return;
    HttpConnection* c = conns[k];
    c->RequestPos = job.Segments[k].CurPos;
    const QByteArray request = RequestText(job, k, validator.IfRange());
    c->Send(request);
    if (Alive(id, k, serial)) Report(k, ReportKind::Request, QString::fromUtf8(request));
}

void ConnectionPool::OnWatch() {
    const quint64 id = runId;
    bool any = false;
    for (int k = 1; k <= kMaxParts && id == runId; ++k) {
        HttpConnection* c = conns[k];
        if (c == nullptr) continue;
        any = true;
        // A connection that has everything and waits for the close is not owed bytes.
        if (const auto late = c->TimedOut(opts.ConnectTimeout, opts.ReceiveTimeout))
            FailConnection(k, *late);
    }
    if (!any && id == runId) {
        watch.stop();
        return;
    }
    // A connection found slow only after the others were done: the free ones take its far part
    // now that its speed is known.
    if (id == runId) Rebalance();
}

bool ConnectionPool::ScheduleRetry(int k, const QString& reason) {
    if (!Running()) return false;
    const int allowed = std::max<int>(opts.Retries, 0);
    if (retriesUsed[k] >= allowed) return false;
    // Only a range that still owes bytes is worth a new connection (connection 1 of a new job
    // before its file exists always is).
    const bool hasFile = job.IsNew == 0 || job.FileOpen != 0;
    if (hasFile && !Owes(k)) return false;
    if (!hasFile && k != 1) return false;
    ++retriesUsed[k];
    retryPending[k] = true;
    const int delay = std::max<int>(opts.RetryDelay, 0);
    emit LogNotice(k, QStringLiteral("Connection %1: %2; trying again in %3 seconds (retry %4 of "
                                     "%5).")
                          .arg(k)
                          .arg(reason)
                          .arg(delay)
                          .arg(retriesUsed[k])
                          .arg(allowed));
    emit RetryWaiting(k, reason, delay, retriesUsed[k], allowed);
    const quint64 id = runId;
    QTimer::singleShot(delay * 1000, this, [this, id, k] {
        if (id != runId || !retryPending[k]) return;
        retryPending[k] = false;
        if (conns[k] != nullptr) return;  // opened again meanwhile (overtaking, covering)
        const bool fileThere = job.IsNew == 0 || job.FileOpen != 0;
        if (fileThere && !Owes(k)) {
            emit ConnectionEnded(k, false);
            return;
        }
        if (!OpenConnection(k, true) || id != runId || conns[k] == nullptr) return;
        // The file is there already: the answer goes on with the range, it does not start a
        // new file.
        if (fileThere) conns[k]->FirstOfRun = false;
    });
    return true;
}

bool ConnectionPool::FailConnection(int k, const Failure& failure) {
    // The range keeps its position; the connection is not opened again in this run unless the
    // failure may pass and retries are left.
    lastError = failure.text;
    CloseConnection(k);
    if (!Report(k, ReportKind::Error, failure.text)) return false;
    if (failure.retryable && ScheduleRetry(k, lastError)) return false;
    emit ConnectionEnded(k, false);
    return false;
}

void ConnectionPool::OnFailed(int k, Failure failure, int socketError) {
    // A name the resolver says does not exist stays so: no new attempt (a resolver that could
    // not answer for now gives another error, which is tried again).
    if (socketError == QAbstractSocket::HostNotFoundError) {
        failure.retryable = false;
        FailConnection(k, failure);
        return;
    }
    if (socketError == QAbstractSocket::ConnectionRefusedError &&
        RefusedForCapacity(k, QString())) {
        if (Report(k, ReportKind::Error, failure.text)) emit ConnectionEnded(k, true);
        return;
    }
    FailConnection(k, failure);
}

double ConnectionPool::Speed(int k) const {
    const HttpConnection* c = conns[k];
    if (c == nullptr || !c->BodyClock.isValid()) return 0;
    const qint64 ms = c->BodyClock.elapsed();
    return ms >= 200 ? c->BodyBytes * 1000.0 / ms : 0;
}

void ConnectionPool::Rebalance() {
    if (!Running() || SizeUnknown() || job.FileOpen == 0) return;
    // Ranges move only once the server has shown that it answers them.
    if (!rangesMayMove) return;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    const quint64 id = runId;
    for (int round = 0; round < kMaxParts && id == runId; ++round) {
        if (ActiveConnections() >= std::min(parts, capacity.Cap())) return;
        if (!capacity.MayTry()) {
            if (!capacityWait.isActive()) capacityWait.start(std::max(1, capacity.PauseLeftMs()));
            return;
        }
        std::array<bool, kMaxParts + 1> taken{}, working{};
        std::array<double, kMaxParts + 1> speeds{};
        for (int i = 1; i <= parts; ++i) {
            taken[i] = conns[i] != nullptr || retryPending[i] || capacity.Waits(i);
            working[i] = conns[i] != nullptr && !conns[i]->IsLingering();
            speeds[i] = Speed(i);
        }
        RangePlan plan(job.Segments, parts, job.FileSize);
        plan.ReleaseFinished(taken);
        // A range the server refused a connection for goes on first.
        int record = 0;
        for (int i = 1; i <= parts && record == 0; ++i)
            if (capacity.Waits(i) && conns[i] == nullptr && !retryPending[i]) record = i;
        if (record != 0) {
            capacity.SetWaits(record, false);
            if (!plan.Owes(record)) continue;
        } else {
            record = plan.FreeRecord(taken);
            if (record == 0) return;
            const auto move =
                plan.ChooseSteal(record, working, speeds, endedSpeedRun == runId ? endedSpeed : 0);
            if (!move) return;
            plan.Apply(*move);
            emit LogInfo(record, QStringLiteral("Connection %1 takes bytes %2-%3 from connection "
                                                "%4.")
                                     .arg(record)
                                     .arg(move->From)
                                     .arg(std::min<int64_t>(move->To, job.FileSize) - 1)
                                     .arg(move->Victim));
            if (id != runId) return;
        }
        if (!OpenConnection(record, true) || id != runId) return;
        if (conns[record] != nullptr) conns[record]->FirstOfRun = false;
    }
}

bool ConnectionPool::RefusedForCapacity(int k, const QString& head) {
    // Only while another connection receives: the same answer to every connection fails the
    // job as any other.
    bool othersWork = false;
    for (int i = 1; i <= kMaxParts; ++i)
        if (i != k && conns[i] != nullptr && conns[i]->InBody()) othersWork = true;
    if (!othersWork || !Owes(k)) return false;
    CloseConnection(k);
    capacity.Refused(k, ActiveConnections());
    // More connections are tried again after the time the server asks for.
    const int seconds =
        ServerCapacity::RetryAfterSeconds(HttpHead::Value(head, QStringLiteral("Retry-After")));
    if (seconds >= 0) capacityLift.start(std::max(seconds, 1) * 1000);
    NoteCapacity();
    return true;
}

void ConnectionPool::NoteCapacity() {
    bool allAnswered = true;
    for (int i = 1; i <= kMaxParts; ++i)
        if (conns[i] != nullptr && !conns[i]->InBody()) allAnswered = false;
    QString line;
    if (capacity.TellOnce(allAnswered, ActiveConnections(), &line)) emit LogInfo(1, line);
}

bool ConnectionPool::Owes(int i) const {
    if (i > 1 && job.Segments[i].StartPos == 0) return false;
    if (SizeUnknown()) return i == 1;
    auto segments = job.Segments;
    return RangePlan(segments, job.Parts, job.FileSize).Owes(i);
}

bool ConnectionPool::SizeUnknown() const {
    return job.FileSize == 0 && job.Segments[1].EndPos == kUnknownEnd;
}

ByteRanges ConnectionPool::StoredBytes() const {
    auto segments = job.Segments;
    return RangePlan(segments, job.Parts, job.FileSize).Stored();
}

void ConnectionPool::OpenOwingRanges() {
    const quint64 id = runId;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    for (int i = 1; i <= parts; ++i) {
        if (conns[i] != nullptr || !Owes(i)) continue;
        if (ActiveConnections() >= capacity.Cap()) {
            capacity.SetWaits(i, true);
            continue;
        }
        if (!OpenConnection(i, true) || id != runId) return;
    }
}
