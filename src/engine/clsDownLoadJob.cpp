#include "engine/clsDownLoadJob.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "engine/AnswerCheck.h"
#include "engine/AnswerStatus.h"
#include "engine/HttpConnection.h"
#include "engine/HttpHead.h"
#include "engine/HttpRequest.h"
#include "engine/RangePlan.h"
#include "engine/ResumeCheck.h"
#include "engine/ServerFileName.h"
#include "engine/TargetFile.h"
#include "engine/TlsSetup.h"
#include "engine/UrlParts.h"
#include "engine/UrlResolve.h"
#include "store/JobTable.h"
#include "store/LocalPath.h"
#include "store/VbDate.h"

namespace {

#ifdef QV_TEST_FAULTS
// Test builds only: QV_TEST_DROP_PIECE=N makes the piece of a received answer that holds byte N
// of the file go nowhere, as if the disk had lost it, while it still counts as received; the
// completion check must catch it.
bool DropPiece(qint64 from, qint64 to) {
    bool ok = false;
    const qint64 at = qEnvironmentVariableIntValue("QV_TEST_DROP_PIECE", &ok);
    return ok && from <= at && at < to;
}
#endif

constexpr int32_t kInt32Max = 2147483647;
constexpr int kLingerMs = 3000;

}  // namespace

clsDownLoadJob::clsDownLoadJob(QObject* parent) : QObject(parent) {
    connect(&pool, &ConnectionPool::Reported, this, &clsDownLoadJob::UpDataState);
    connect(&pool, &ConnectionPool::HeadArrived, this, &clsDownLoadJob::HandleHead);
    connect(&pool, &ConnectionPool::BodyArrived, this, &clsDownLoadJob::StoreBody);
    connect(&pool, &ConnectionPool::ChunksEnded, this, &clsDownLoadJob::OnChunksEnded);
    connect(&pool, &ConnectionPool::PeerClosed, this, &clsDownLoadJob::OnPeerClosed);
    connect(&pool, &ConnectionPool::ConnectionEnded, this, &clsDownLoadJob::CheckRunEnd);
    connect(&pool, &ConnectionPool::RunRefused, this, &clsDownLoadJob::RunTo5);
    connect(&pool, &ConnectionPool::LogNotice, this, &clsDownLoadJob::LogNotice);
    connect(&pool, &ConnectionPool::RetryWaiting, this, &clsDownLoadJob::RetryWaiting);
    connect(&pool, &ConnectionPool::LogInfo, this, &clsDownLoadJob::LogInfo);
}

clsDownLoadJob::~clsDownLoadJob() {
    pool.NewRun();
}

bool clsDownLoadJob::Report(int part, ReportKind kind, const QString& detail) {
    const quint64 id = pool.RunId();
    emit UpDataState(part, kind, detail);
    return id == pool.RunId();
}

// ----- Record ----------------------------------------------------------------------------------

bool clsDownLoadJob::Create(const JobRecord& record, const EngineOptions& options) {
    job = record;
    opts = options;
    pool.SetOptions(options);
    return Prepare();
}

bool clsDownLoadJob::Prepare() {
    ResetRun();
    if (!SplitUrl(job.Url)) return false;
    job.State = StateRunning;
    const ResumeCheck::Outcome check = ResumeCheck::Apply(job, kUnknownEnd);
    keepName = check.keepName;
    if (!check.notice.isEmpty()) emit LogNotice(1, check.notice);
    if (check.startOver) StartOverWithoutFile();
    SaveDownState();
    return true;
}

void clsDownLoadJob::CalcHaveDown() {
    // The bytes written by the ranges in use: range 1 always, ranges 2.. when StartPos is not 0.
    auto segments = job.Segments;
    int64_t total = RangePlan(segments, job.Parts, job.FileSize).Held();
    if (!pool.SizeUnknown()) total = std::min<int64_t>(total, std::max<int32_t>(job.FileSize, 0));
    job.Received = static_cast<int32_t>(std::min<int64_t>(total, kInt32Max));
}

// ----- Runs ------------------------------------------------------------------------------------

void clsDownLoadJob::ResetRun() {
    pool.NewRun();
    CloseTarget();
}

bool clsDownLoadJob::Start() {
    redirects = 0;
    restarts = 0;
    pool.ResetRetries();
    StartRun();
    return true;
}

void clsDownLoadJob::StartRun() {
    pool.NewRun();
    const quint64 id = pool.RunId();
    job.RunStart = VbDate::Now();
    socks2Opened = false;
    socks3Opened = false;
    rangeTested = false;
    pool.ResetCapacity();
    resumeRun = false;
    runConfirmed = false;
    UpdateRangesMayMove();
    pool.SetLastError(QString());
    written.Clear();
    for (int k = 1; k <= kMaxParts; ++k) {
        respHead[k].clear();
        respStatus[k].clear();
    }
    if (job.IsNew == 0 && !job.LocalFile.isEmpty() && !file.IsOpen() &&
        !TargetFile::Exists(job.LocalFile))
        StartOverWithoutFile();
    if (id != pool.RunId()) return;
    if (job.IsNew != 0) {
        validator = {};
        if (!pool.OpenConnection(1, true)) return;
        emit ShowStateIcon(job.State);
        return;
    }

    // Going on with the file on disk.
    resumeRun = true;
    UpdateRangesMayMove();
    validator = JobValidators::Get(job.LocalFile);
    if (!file.IsOpen() && !OpenExistingFile()) return;
    if (pool.SizeUnknown()) {
        written.Add(0, job.Segments[1].CurPos);
        if (!pool.OpenConnection(1, true)) return;
        emit ShowStateIcon(job.State);
        return;
    }
    PlanResume();
    written = pool.StoredBytes();
    CalcHaveDown();
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    int first = 0;
    for (int i = 1; i <= parts && first == 0; ++i)
        if (pool.Owes(i)) first = i;
    if (first == 0) {
        // Every byte is on disk already (stopped between the last byte and the close): nothing
        // to fetch; the owner finishes the job at this report.
        QTimer::singleShot(0, this, [this, id] {
            if (id == pool.RunId()) Report(1, ReportKind::Close, QStringLiteral("MeComplete"));
        });
        emit ShowStateIcon(job.State);
        return;
    }
    // The first range that owes bytes asks first; once its answer shows that the server still
    // has the same file, every other range that owes bytes gets its connection.
    if (!pool.OpenConnection(first, true)) return;
    emit ShowStateIcon(job.State);
}

void clsDownLoadJob::PlanResume() {
    // A job stopped in its first seconds (one range) gets its Parts back.
    RangePlan(job.Segments, job.Parts, job.FileSize).LayOut(kSplitThreshold);
}

void clsDownLoadJob::ResetToNew(bool keepFileName, const QString& notice) {
    CloseTarget();
    job.FileOpen = VbFalse;
    if (!keepFileName) {
        JobValidators::Remove(job.LocalFile);
        if (job.LocalFile.endsWith(QLatin1String("!qv"))) job.LocalFile.chop(3);
    }
    keepName = keepFileName;
    job.IsNew = VbTrue;
    job.FileSize = 0;
    job.Received = 0;
    job.Segments = {};
    validator = {};
    written.Clear();
    emit LogNotice(1, notice);
}

void clsDownLoadJob::StartOverWithoutFile() {
    ResetToNew(false,
               QStringLiteral("The partial file ") + job.LocalFile +
                   QStringLiteral(" is gone; the download starts again from the beginning."));
}

void clsDownLoadJob::RestartFromZero(const QString& why) {
    if (++restarts > kMaxRestarts) {
        RunTo5(why + QStringLiteral(" The file keeps changing on the server; the download stops."));
        return;
    }
    pool.NewRun();
    ResetToNew(true, why + QStringLiteral(" The download starts again from the beginning."));
    SaveDownState();
    StartRun();
}

bool clsDownLoadJob::VerifyComplete(QString* why) const {
    if (pool.SizeUnknown()) {
        if (why) *why = QStringLiteral("The size of the file is not known");
        return false;
    }
    return TargetFile::VerifyComplete(written, job.FileSize, job.LocalFile, why);
}

void clsDownLoadJob::EndWithError(const QString& reason) {
    // The bytes not known to be on disk are fetched again by the next run.
    if (!pool.SizeUnknown() && job.FileSize > 0) {
        const auto gaps = written.Gaps(0, job.FileSize);
        if (!gaps.empty() && (job.IsNew == 0 || job.FileOpen != 0)) {
            // The stored ranges then say: everything from the first missing byte on is owed.
            job.Segments = {};
            job.Segments[1] = {0, static_cast<int32_t>(gaps.front().first), job.FileSize};
        }
    }
    RunTo5(reason);
}

void clsDownLoadJob::EndRunTimes() {
    const double now = VbDate::Now();
    job.RunTime = now - job.RunStart;
    job.TimeElapsed += job.RunTime;
}

void clsDownLoadJob::Pause() {
    pool.NewRun();
    job.State = StatePaused;
    EndRunTimes();
    // A job that has no file yet stays new: its next run creates the file and lays out ranges.
    if (job.FileOpen != 0) job.IsNew = VbFalse;
    CloseFile();
    SaveDownState();
    InUse = false;
    emit ShowStateIcon(job.State);
}

void clsDownLoadJob::StopAll() {
    pool.NewRun();
}

void clsDownLoadJob::CloseFile() {
    CloseTarget();
    job.FileOpen = VbFalse;
}

void clsDownLoadJob::RunTo5(const QString& detail) {
    pool.NewRun();
    EndRunTimes();
    if (job.FileOpen != 0) job.IsNew = VbFalse;
    CloseFile();
    job.State = StateError;
    InUse = false;
    SaveDownState();
    emit ShowStateIcon(job.State);
    emit UpDataState(1, ReportKind::RequestError, detail);
}

// ----- Connections -----------------------------------------------------------------------------

void clsDownLoadJob::OnPeerClosed(int k, quint64 serial, bool certain) {
    const quint64 id = pool.RunId();
    if (!Alive(id, k, serial)) return;
    HttpConnection* c = pool.Conn(k);
    const bool inBody = c->CurrentState() == HttpConnection::State::Body ||
                        c->CurrentState() == HttpConnection::State::Lingering;
    // A body whose length nobody announced ends only with the server's close notice: a secure
    // connection cut without it (a reset, a crash, an attacker) may have lost the end.
    if (!certain && inBody && !c->IsChunked() && c->BodyLeft < 0) {
        pool.FailConnection(k, Failure::Of(QStringLiteral("The secure connection ended without the "
                                                          "server's close notice; the end of the "
                                                          "data is not certain")));
        return;
    }
    if (inBody && (c->BodyLeft > 0 || (c->IsChunked() && !c->ChunksDone()))) {
        // The server ended the connection before the end of the answer it announced.
        pool.FailConnection(k, Failure::Of(QStringLiteral("The server closed the connection before "
                                                          "the end of the answer")));
        return;
    }
    // Without a length the orderly close ends the data.
    if (k == 1 && pool.SizeUnknown() && inBody && !c->IsChunked() && file.IsOpen() &&
        !SetFileSize(job.Segments[1].CurPos))
        return;
    pool.CloseConnection(k);
    if (!Report(k, ReportKind::Close, QStringLiteral("ByServer"))) return;
    CheckRunEnd(k, true);
}

void clsDownLoadJob::CheckRunEnd(int k, bool afterClose) {
    const quint64 id = pool.RunId();
    pool.Rebalance();
    if (id != pool.RunId()) return;
    if (pool.ActiveConnections() != 0 || !InUse || job.State != StateRunning) return;
    if (pool.AnyRetryPending()) return;
    if (pool.CapacityWaitPending()) return;
    CalcHaveDown();
    const bool hasFile = job.IsNew == 0 || job.FileOpen != 0;
    if (hasFile && !pool.SizeUnknown() && job.Received == job.FileSize) {
        // Every byte is there although the last connection did not end with a close.
        if (!afterClose) Report(k, ReportKind::Close, QStringLiteral("ByServer"));
        return;
    }
    RunTo5(Failure::RunStopped(hasFile, pool.SizeUnknown(), job.Received, job.FileSize,
                               pool.LastError()));
}

// ----- Data ------------------------------------------------------------------------------------

bool clsDownLoadJob::HandleHead(int k, const QByteArray& headBytes, const QByteArray& body) {
    HttpConnection* c = pool.Conn(k);
    const QString head = QString::fromLatin1(headBytes);
    c->SetChunked(HttpHead::IsChunked(head, HttpHead::ChunkedRule::HeaderLine));
    if (!resumeRun && k == 1 && c->FirstOfRun) return HeadOn1(head, body);
    if (!resumeRun && k == 2 && !rangeTested) return HeadOn2(head, body);
    return HeadRanged(k, head, body);
}

// A 206 answer fits connection k when its Content-Range starts at the requested byte and names
// the file's size (when it names them at all).
QString clsDownLoadJob::CheckAnswer(int k, const QString& head, bool* changed) {
    HttpConnection* c = pool.Conn(k);
    const AnswerCheck::Verdict v = AnswerCheck::Check(
        head,
        {c->RequestPos, c->IsChunked(), resumeRun, pool.SizeUnknown(), job.FileSize, validator});
    *changed = v.Changed;
    if (v.Problem.isEmpty()) c->BodyLeft = v.BodyLeft;
    return v.Problem;
}

bool clsDownLoadJob::LearnSize(const QString& head) {
    // The size of a job whose length was not known, from an answer that has been checked.
    const qint64 size = AnswerCheck::NamedSize(head);
    if (size < 0) return true;
    if (size > kInt32Max) {
        RunTo5(QStringLiteral("File too large: %1 bytes is more than 2147483647 bytes").arg(size));
        return false;
    }
    return SetFileSize(static_cast<int32_t>(size));
}

bool clsDownLoadJob::HeadOn1(const QString& head, const QByteArray& body) {
    // The first answer of a new job: the size, the file, the first bytes.
    const quint64 id = pool.RunId();
    HttpConnection* c = pool.Conn(1);
    const quint64 serial = c->Serial;
    c->FirstOfRun = false;
    respHead[1] = head;
    respStatus[1] = GetStatusClass(head);
    if (!Report(1, ReportKind::Response, head) || !Alive(id, 1, serial)) return false;
    const AnswerStatus::First first = AnswerStatus::JudgeFirst(head, c->IsChunked());
    if (first.status == AnswerStatus::Kind::Redirect) return FollowRedirect(1, head);
    // A busy server is asked again after the retry delay.
    if (first.status == AnswerStatus::Kind::Busy)
        return pool.FailConnection(1, Failure::Of(first.problem));
    if (!first.problem.isEmpty()) {
        RunTo5(first.problem);
        return false;
    }
    const qint64 length = first.length;
    if (length < 0) {
        job.FileSize = 0;
        job.Segments[1].EndPos = kUnknownEnd;
    } else {
        job.FileSize = static_cast<int32_t>(length);
        job.Segments[1].EndPos = job.FileSize;
    }
    job.Segments[1].StartPos = 0;
    job.Segments[1].CurPos = 0;
    c->RequestPos = 0;
    c->BodyLeft = length;
    // A script's address names no file: the server's name for it is taken instead.
    if (const QString named = ServerFileName::For(job, head); !keepName && !named.isEmpty()) {
        job.LocalFile = named;
        job.FileName = LocalPath::FileNamePart(named);
    }
    validator = {HeaderValue(head, QStringLiteral("ETag")),
                 HeaderValue(head, QStringLiteral("Last-Modified"))};
    heldBody = body;
    if (!CreateFileForSave() || !Alive(id, 1, serial)) return false;
    // A large file is laid out meanwhile; the body waits unread until it is.
    if (file.LayingOut()) {
        c->Hold();
        return true;
    }
    return GoOnWithFile();
}

bool clsDownLoadJob::GoOnWithFile() {
    const quint64 id = pool.RunId();
    const quint64 serial = pool.Conn(1)->Serial;
    JobValidators::Set(job.LocalFile, validator);
    if (!FeedBody(1, std::exchange(heldBody, QByteArray())) || !Alive(id, 1, serial)) return false;
    if (job.FileSize > kSplitThreshold && job.Parts >= 2 && !socks2Opened) {
        CreateSocks2();
        if (id != pool.RunId()) return false;
        pool.ConnectSocket(2);
    }
    return Alive(id, 1, serial);
}

bool clsDownLoadJob::FollowRedirect(int k, const QString& head) {
    pool.CloseConnection(k);
    const QString location = HttpHead::Utf8OrAsRead(GetLocation(head));
    if (location.isEmpty()) {
        RunTo5(QStringLiteral("Redirect without a Location: ") + job.Url);
        return false;
    }
    const QString target = UrlResolve::RedirectTarget(location, job.Url);
    // A redirect met while resuming: the next answer starts with its head again.
    if (job.FileOpen != 0) CloseFile();
    if (++redirects > kMaxRedirects) {
        RunTo5(QStringLiteral("Too many redirects (more than %1): ").arg(kMaxRedirects) + target);
        return false;
    }
    // The login is the job's own server's: it does not follow the job to another scheme, host or
    // port (an https to http redirect on the same host would send it in clear text).
    if (job.UseLogin != 0 && !UrlParts::SameOrigin(job.Url, target)) {
        job.UseLogin = VbFalse;
        emit LogNotice(1, QStringLiteral("The server sends the job on to another server; the "
                                         "login is not sent there."));
    }
    job.Url = target;
    if (!Report(1, ReportKind::Redirect, job.Url)) return false;
    SaveDownState();
    const int savedRedirects = redirects;
    const int savedRestarts = restarts;
    if (!Prepare()) {
        RunTo5(QStringLiteral("Invalid redirect target: ") + job.Url);
        return false;
    }
    redirects = savedRedirects;
    restarts = savedRestarts;
    StartRun();
    return false;
}

bool clsDownLoadJob::HeadOn2(const QString& head, const QByteArray& body) {
    // The range test of a new job.
    const quint64 id = pool.RunId();
    HttpConnection* c = pool.Conn(2);
    const quint64 serial = c->Serial;
    respHead[2] = head;
    respStatus[2] = GetStatusClass(head);
    if (!Report(2, ReportKind::Response, head) || !Alive(id, 2, serial)) return false;
    bool changed = false;
    const QString problem = AnswerStatus::Of(head) == AnswerStatus::Kind::Partial
                                ? CheckAnswer(2, head, &changed)
                                : QStringLiteral("no partial answer");
    if (changed) {
        RestartFromZero(problem);
        return false;
    }
    if (!problem.isEmpty()) {
        // The range test failed: connection 1 fetches the rest of the file.
        job.CanResume = VbFalse;
        job.Segments[1].EndPos = job.FileSize;
        pool.CloseConnection(2);
        if (!Report(2, ReportKind::ResumeTestError, job.Url)) return false;
        CoverByConnection1(job.FileSize);
        if (id == pool.RunId()) CheckRunEnd(2);
        return false;
    }
    job.CanResume = VbTrue;
    rangeTested = true;
    UpdateRangesMayMove();
    // Range 1 ends where range 2 starts, unless a range has been given up and range 1 covers it.
    bool allInUse = true;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    for (int i = 2; i <= parts; ++i)
        if (job.Segments[i].StartPos == 0) allInUse = false;
    if (allInUse) job.Segments[1].EndPos = static_cast<int32_t>(job.FileSize / job.Parts);
    if (!FeedBody(2, body)) return false;
    if (id != pool.RunId()) return false;
    if (job.Parts >= 3 && !socks3Opened) CreateSocks3_5();
    return Alive(id, 2, serial);
}

bool clsDownLoadJob::HeadRanged(int k, const QString& head, const QByteArray& body) {
    // Every answer but the first two of a new job: it must be the piece asked for, of the same
    // file.
    const quint64 id = pool.RunId();
    HttpConnection* c = pool.Conn(k);
    const quint64 serial = c->Serial;
    c->FirstOfRun = false;
    const bool firstAnswer = resumeRun && !runConfirmed;
    respHead[k] = head;
    respStatus[k] = GetStatusClass(head);
    if (!Report(k, ReportKind::Response, head) || !Alive(id, k, serial)) return false;
    const AnswerStatus::Kind status = AnswerStatus::Of(head);
    if (firstAnswer && status == AnswerStatus::Kind::Redirect) return FollowRedirect(k, head);
    if (firstAnswer && status == AnswerStatus::Kind::NotFound) {
        RunTo5(QStringLiteral("404"));
        return false;
    }
    bool changed = false;
    QString problem = CheckAnswer(k, head, &changed);
    // A server that has not resumed in this run and answers connection 1's retry with the whole
    // file cannot resume: asking again gets the same answer, so only a new start helps.
    if (!changed && !resumeRun && k == 1 && job.CanResume != VbTrue && c->RequestPos > 0 &&
        status == AnswerStatus::Kind::Whole) {
        changed = true;
        problem = QStringLiteral("The server cannot resume: it sent the whole file again.");
    }
    if (changed) {
        RestartFromZero(problem);
        return false;
    }
    if (!problem.isEmpty()) {
        if (status == AnswerStatus::Kind::Busy && pool.RefusedForCapacity(k, head)) {
            if (!Report(k, ReportKind::Close, QStringLiteral("ByServer"))) return false;
            CheckRunEnd(k, true);
            return false;
        }
        if (firstAnswer) {
            RunTo5(problem);
            return false;
        }
        if (!resumeRun && k >= 3) {
            // Nothing of this answer belongs at the range's position: give the connection up
            // and let connection 1 cover the range.
            pool.SetLastError(problem);
            pool.CloseConnection(k);
            CoverByConnection1(job.Segments[k].EndPos);
            if (id != pool.RunId() || !Report(k, ReportKind::Error, problem)) return false;
            CheckRunEnd(k);
            return false;
        }
        return pool.FailConnection(k, Failure::Of(problem));
    }
    pool.CapacityAccepted();
    pool.NoteCapacity();
    if (pool.SizeUnknown() && !LearnSize(head)) return false;
    if (!runConfirmed) {
        runConfirmed = true;
        UpdateRangesMayMove();
        if (validator.IsEmpty()) {
            // A job stored without validators takes those of this answer.
            validator = {HeaderValue(head, QStringLiteral("ETag")),
                         HeaderValue(head, QStringLiteral("Last-Modified"))};
            JobValidators::Set(job.LocalFile, validator);
        }
        if (resumeRun) {
            pool.OpenOwingRanges();
            if (!Alive(id, k, serial)) return false;
        }
    }
    return FeedBody(k, body) && Alive(id, k, serial);
}

void clsDownLoadJob::CoverByConnection1(int32_t end) {
    if (!InUse || job.State != StateRunning) return;
    job.Segments[1].EndPos = std::max(job.Segments[1].EndPos, end);
    if (pool.Conn(1) == nullptr && job.Segments[1].CurPos <= job.Segments[1].EndPos &&
        job.FileOpen != 0) {
        if (!pool.OpenConnection(1, true)) return;
        if (pool.Conn(1) != nullptr) pool.Conn(1)->FirstOfRun = false;
    }
}

bool clsDownLoadJob::FeedBody(int k, const QByteArray& body) {
    // The bytes that came with the head; the connection hands on the rest as it reads it.
    const quint64 id = pool.RunId();
    const quint64 serial = pool.Conn(k)->Serial;
    pool.Conn(k)->StartBody(body.constData(), body.size());
    return Alive(id, k, serial);
}

void clsDownLoadJob::OnChunksEnded(int k) {
    // The last chunk: the answer is complete.
    if (k == 1 && pool.SizeUnknown() && !SetFileSize(job.Segments[1].CurPos)) return;
    pool.CloseConnection(k);
    if (!Report(k, ReportKind::Close, QStringLiteral("MeComplete"))) return;
    CheckRunEnd(k, true);
}

bool clsDownLoadJob::SetFileSize(int32_t size) {
    job.FileSize = size;
    job.Segments[1].EndPos = job.FileSize;
    if (const int e = file.Resize(job.FileSize))
        return FileFailed(QStringLiteral("Cannot write the file "), job.LocalFile, e);
    return true;
}

bool clsDownLoadJob::StoreBody(int k, const char* data, qint64 size) {
    const quint64 id = pool.RunId();
    HttpConnection* c = pool.Conn(k);
    const quint64 serial = c->Serial;
    // Bytes past the end of the answer are not the file's.
    if (c->BodyLeft >= 0) {
        if (size > 0 && c->BodyLeft == 0) return true;
        size = std::min(size, c->BodyLeft);
    }
    SegmentRecord& seg = job.Segments[k];
    const qint64 pos = seg.CurPos;
    if (size > 0) {
        qint64 writable = size;
        if (pool.SizeUnknown()) {
            if (pos + size > kInt32Max) {
                RunTo5(QStringLiteral("File too large: more than 2147483647 bytes"));
                return false;
            }
        } else {
            // Nothing is written beyond the end of the file.
            writable = std::clamp<qint64>(job.FileSize - pos, 0, size);
        }
        // Every byte of the file is written once: bytes another connection has stored already
        // (the boundary byte two ranges share, a range another connection has overtaken) stay.
        for (const auto& [from, to] : written.Gaps(pos, pos + writable)) {
#ifdef QV_TEST_FAULTS
            if (DropPiece(from, to)) continue;
#endif
            if (const int e = file.WriteAt(data + (from - pos), to - from, from))
                return FileFailed(QStringLiteral("Cannot write the file "), job.LocalFile, e);
            written.Add(from, to);
        }
        seg.CurPos = static_cast<int32_t>(std::min<qint64>(pos + size, kInt32Max));
        if (c->BodyLeft > 0) c->BodyLeft -= size;
        if (!c->BodyClock.isValid()) c->BodyClock.start();
        c->BodyBytes += size;
        // The range ends once its position has passed EndPos.
        c->Wanted = std::max<qint64>(1, qint64(seg.EndPos) + 1 - seg.CurPos);
    }
    if (!Report(k, ReportKind::DataArrival, QString::number(size)) || !Alive(id, k, serial))
        return false;
    if (!EndChecks(k)) return false;
    if (c->BodyLeft == 0 && !c->IsLingering()) {
        // The answer is whole but the range is not: the server sent less than was asked for.
        pool.CloseConnection(k);
        if (!Report(k, ReportKind::Close, QStringLiteral("ByServer"))) return false;
        CheckRunEnd(k, true);
        return false;
    }
    return true;
}

bool clsDownLoadJob::EndChecks(int k) {
    const quint64 id = pool.RunId();
    const quint64 serial = pool.Conn(k)->Serial;
    if (!pool.SizeUnknown() && job.Segments[k].CurPos >= job.FileSize &&
        !pool.Conn(k)->IsLingering()) {
        // Everything up to the end of the file is here; a server that keeps the connection open
        // in spite of "Connection: close" is left after a grace period.
        pool.Conn(k)->Linger();
        QTimer::singleShot(kLingerMs, this, [this, id, k, serial] {
            if (!Alive(id, k, serial)) return;
            pool.CloseConnection(k);
            if (Report(k, ReportKind::Close, QStringLiteral("MeComplete"))) CheckRunEnd(k, true);
        });
    }
    // Overtaking: connection 1 has passed the position of later ranges; range 1 takes over every
    // range passed, not only the first, and then ends beyond all of them.
    const auto overtaken = [this](int from) {
        return RangePlan(job.Segments, job.Parts, job.FileSize)
            .Overtaken(from, pool.Conn(1) != nullptr);
    };
    for (int i = overtaken(k + 1); i != 0; i = overtaken(i + 1)) {
        job.Segments[1].EndPos = std::max(job.Segments[1].EndPos, job.Segments[i].EndPos);
        CancelSock(k, i);
        if (!Alive(id, k, serial)) return false;
    }
    // Completion of this range.
    if (job.Segments[k].CurPos > job.Segments[k].EndPos) {
        pool.CloseConnection(k);
        if (!Report(k, ReportKind::Close, QStringLiteral("MeComplete"))) return false;
        CheckRunEnd(k, true);
        return false;
    }
    return true;
}

void clsDownLoadJob::CancelSock(int byPart, int part) {
    if (part < 1 || part > kMaxParts) return;
    pool.CloseConnection(part);
    pool.CancelRetry(part);
    job.Segments[part] = SegmentRecord{};
    Report(part, ReportKind::Cancel, QString::number(byPart));
}

// ----- Opening further connections ---------------------------------------------------------

void clsDownLoadJob::CreateSocks2() {
    socks2Opened = true;
    const quint64 id = pool.RunId();
    if (!pool.OpenConnection(2, false) || id != pool.RunId()) return;
    if (job.IsNew == 0) return;
    // Connection 1 goes on until connection 2 has answered the range test.
    RangePlan(job.Segments, job.Parts, job.FileSize).LayOutNew();
}

void clsDownLoadJob::CreateSocks3_5() {
    socks3Opened = true;
    const quint64 id = pool.RunId();
    for (int k = 3; k <= kMaxParts && job.Parts >= k; ++k) {
        if (!pool.OpenConnection(k, true) || id != pool.RunId()) return;
    }
}

// ----- The target file ---------------------------------------------------------------------

bool clsDownLoadJob::CreateFileForSave() {
    const quint64 id = pool.RunId();
    QString name = job.LocalFile;
    // A file named already (the job starts again from zero) keeps its name; "!qv" is added once.
    const bool named = keepName;
    keepName = false;
    if (!named) {
        // The final name is chosen first, then the working suffix goes behind it.
        QString problem;
        name = TargetFile::ChooseName(name, opts.WorkingSuffix, opts.AutoRename, &problem);
        if (name.isEmpty()) {
            RunTo5(problem);
            return false;
        }
        if (opts.AutoRename && !Report(1, ReportKind::Autorename, name)) return false;
    }
    job.LocalFile = name;
    // The record that names the file is kept before the file exists, so that no file is ever
    // left on disk that no job knows.
    SaveDownState();
    emit FileAboutToBeMade(name);
    if (id != pool.RunId()) return false;
    const int64_t size = job.FileSize;
    const quint64 serial = pool.Conn(1)->Serial;
    // Laying out a large file may take long where the file system has to write it whole.
    const auto current = [this, id, serial] { return Alive(id, 1, serial) && file.LayingOut(); };
    const int e = size <= kLayoutInBackground
                      ? file.Create(name, size)
                      : file.CreateLaidOut(
                            name, size, this,
                            [this, current, name, size](int64_t done) {
                                if (current()) emit LayingOutFile(name, done, size, false);
                            },
                            [this, current](int error) {
                                if (current()) FileLaidOut(error);
                            });
    if (e != 0) return FileFailed(QStringLiteral("Cannot create the file "), name, e);
    if (file.LayingOut()) emit LayingOutFile(name, 0, size, false);
    if (id != pool.RunId()) {
        CloseTarget();
        return false;
    }
    if (!file.LayingOut()) {
        job.FileOpen = VbTrue;
        job.FileNo = file.Descriptor();
    }
    return true;
}

void clsDownLoadJob::FileLaidOut(int error) {
    const quint64 id = pool.RunId();
    file.EndLayout();
    emit LayingOutFile(job.LocalFile, job.FileSize, job.FileSize, true);
    if (id != pool.RunId()) return;
    if (error != 0) {
        FileFailed(QStringLiteral("Cannot create the file "), job.LocalFile, error);
        return;
    }
    job.FileOpen = VbTrue;
    job.FileNo = file.Descriptor();
    GoOnWithFile();
}

bool clsDownLoadJob::FileFailed(const QString& what, const QString& name, int error) {
    RunTo5(what + name + QStringLiteral(": ") + TargetFile::ErrnoText(error));
    return false;
}

void clsDownLoadJob::CloseTarget() {
    if (file.LayingOut()) emit LayingOutFile(job.LocalFile, 0, job.FileSize, true);
    file.Close();
}

bool clsDownLoadJob::OpenExistingFile() {
    bool opened = false;
    if (const int e =
            file.OpenExisting(job.LocalFile, pool.SizeUnknown() ? -1 : job.FileSize, &opened)) {
        return FileFailed(opened ? QStringLiteral("Cannot write the file ")
                                 : QStringLiteral("Cannot open the file "),
                          job.LocalFile, e);
    }
    job.FileNo = file.Descriptor();
    job.FileOpen = VbTrue;
    return true;
}
