#include "engine/clsDownLoadJob.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cerrno>

#include "engine/AnswerCheck.h"
#include "engine/HttpConnection.h"
#include "engine/HttpHead.h"
#include "engine/HttpRequest.h"
#include "engine/RangePlan.h"
#include "engine/TargetFile.h"
#include "engine/TlsSetup.h"
#include "engine/UrlParts.h"
#include "engine/UrlResolve.h"
#include "store/JobTable.h"
#include "store/Settings.h"
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

QString ErrnoText(int error) {
    return TargetFile::ErrnoText(error);
}

bool Exists(const QString& path) {
    return TargetFile::Exists(path);
}

bool IsRedirect(const QString& head) {
    if (clsDownLoadJob::GetStatusClass(head) == QLatin1String("30")) return true;
    const int code = clsDownLoadJob::StatusCode(head);
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

}  // namespace

clsDownLoadJob::clsDownLoadJob(QObject* parent) : ConnectionPool(parent) {}

clsDownLoadJob::~clsDownLoadJob() {
    ++runId;
    CloseAllConnections();
}

bool clsDownLoadJob::RangesMayMove() const {
    return resumeRun ? runConfirmed : rangeTested;
}

// ----- URL and HTTP text ---------------------------------------------------------------------

bool clsDownLoadJob::SplitUrl(const QString& url) {
    return SplitUrl(url, job);
}

QString clsDownLoadJob::RespHead(int k) const {
    return k >= 1 && k <= kMaxParts ? respHead[k] : QString();
}
QString clsDownLoadJob::RespHeadLen(int k) const {
    return k >= 1 && k <= kMaxParts ? QString::number(respHead[k].size()) : QString();
}
QString clsDownLoadJob::RespStatus(int k) const {
    return k >= 1 && k <= kMaxParts ? respStatus[k] : QString();
}

// ----- Record ----------------------------------------------------------------------------------

bool clsDownLoadJob::Create(int jobIndex) {
    ResetRun();
    JobIndex = static_cast<int16_t>(jobIndex);
    if (jobIndex < 1 || jobIndex >= static_cast<int>(Jobs.size())) return false;
    job = Jobs[jobIndex];
    if (!SplitUrl(job.Url)) return false;
    job.State = StateRunning;
    // A record stored while its job ran (the program ended during a run), or one whose file has
    // been named already: the file on disk decides whether the job goes on or starts again.
    const bool wasOpen = job.FileOpen != 0;
    job.FileOpen = VbFalse;
    const bool progress =
        job.FileSize > 0 || job.Segments[1].CurPos > 0 || job.Segments[1].EndPos == kUnknownEnd;
    const bool named =
        wasOpen || job.IsNew == 0 || progress || job.LocalFile.endsWith(QLatin1String("!qv"));
    keepName = false;
    if (named && !job.LocalFile.isEmpty()) {
        const QString finished = TargetFile::FinishedAs(job.LocalFile, job.FileSize);
        if (!finished.isEmpty()) {
            // The last run renamed the whole file and was ended before its record said so: the
            // job goes on with the file under its final name (its record may owe a few bytes).
            JobValidators::Set(finished, JobValidators::Get(job.LocalFile));
            JobValidators::Remove(job.LocalFile);
            job.LocalFile = finished;
            emit LogNotice(1,
                           QStringLiteral("The file was finished as ") + finished +
                               QStringLiteral(" before the job was saved; it is checked again."));
        }
        if (!Exists(job.LocalFile)) {
            if (job.IsNew == 0 || progress)
                StartOverWithoutFile();
            else if (job.LocalFile.endsWith(QLatin1String("!qv")))
                job.LocalFile.chop(3);
        } else if (progress) {
            job.IsNew = VbFalse;
        } else {
            // Named, but nothing of it was fetched: the file is made again under that name.
            job.IsNew = VbTrue;
            keepName = true;
        }
    }
    Jobs[jobIndex] = job;
    return true;
}

void clsDownLoadJob::ReadDownState() {
    if (JobIndex >= 1 && JobIndex < static_cast<int>(Jobs.size())) job = Jobs[JobIndex];
}

void clsDownLoadJob::SaveDownState() {
    if (JobIndex < 1 || JobIndex >= static_cast<int>(Jobs.size())) return;
    // The category and the comment are the user's: a move, a delete or a comment made while the
    // job runs stays, the engine's copy takes them over.
    JobRecord& stored = Jobs[JobIndex];
    job.ClassKey = stored.ClassKey;
    job.Comment = stored.Comment;
    stored = job;
}

void clsDownLoadJob::CalcHaveDown() {
    // The bytes written by the ranges in use: range 1 always, ranges 2.. when StartPos is not 0.
    // Overlapping ranges (a widened range 1) count their common bytes once.
    std::array<std::pair<int64_t, int64_t>, kMaxParts> spans;
    int n = 0;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    for (int i = 1; i <= parts; ++i) {
        const SegmentRecord& s = job.Segments[i];
        if (i > 1 && s.StartPos == 0) continue;
        const int64_t a = s.StartPos;
        const int64_t b = std::min<int64_t>(s.CurPos, s.EndPos);
        if (b > a) spans[n++] = {a, b};
    }
    std::sort(spans.begin(), spans.begin() + n);
    int64_t total = 0;
    int64_t reach = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t a = std::max(spans[i].first, reach);
        if (spans[i].second > a) total += spans[i].second - a;
        reach = std::max(reach, spans[i].second);
    }
    if (!SizeUnknown()) total = std::min<int64_t>(total, std::max<int32_t>(job.FileSize, 0));
    job.Received = static_cast<int32_t>(std::min<int64_t>(total, kInt32Max));
}

// ----- Runs ------------------------------------------------------------------------------------

void clsDownLoadJob::ResetRun() {
    ++runId;
    CloseAllConnections();
    file.Close();
}

bool clsDownLoadJob::Start() {
    redirects = 0;
    restarts = 0;
    retriesUsed.fill(0);
    StartRun();
    return true;
}

void clsDownLoadJob::StartRun() {
    ++runId;
    CloseAllConnections();
    const quint64 id = runId;
    job.RunStart = VbDate::Now();
    socks2Opened = false;
    socks3Opened = false;
    rangeTested = false;
    retryPending.fill(false);
    capacity.Reset();
    resumeRun = false;
    runConfirmed = false;
    lastError.clear();
    written.Clear();
    for (int k = 1; k <= kMaxParts; ++k) {
        respHead[k].clear();
        respStatus[k].clear();
    }
    if (job.IsNew == 0 && !job.LocalFile.isEmpty() && !file.IsOpen() && !Exists(job.LocalFile))
        StartOverWithoutFile();
    if (id != runId) return;
    if (job.IsNew != 0) {
        validator = {};
        if (!OpenConnection(1, true)) return;
        emit ShowStateIcon(job.State);
        return;
    }

    // Going on with the file on disk.
    resumeRun = true;
    validator = JobValidators::Get(job.LocalFile);
    if (!file.IsOpen() && !OpenExistingFile()) return;
    if (SizeUnknown()) {
        written.Add(0, job.Segments[1].CurPos);
        if (!OpenConnection(1, true)) return;
        emit ShowStateIcon(job.State);
        return;
    }
    PlanResume();
    written = StoredBytes();
    CalcHaveDown();
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    int first = 0;
    for (int i = 1; i <= parts && first == 0; ++i)
        if (Owes(i)) first = i;
    if (first == 0) {
        // Every byte is on disk already (stopped between the last byte and the close): nothing
        // to fetch; the owner finishes the job at this report.
        QTimer::singleShot(0, this, [this, id] {
            if (id == runId) Report(1, kClose, QStringLiteral("MeComplete"));
        });
        emit ShowStateIcon(job.State);
        return;
    }
    // The first range that owes bytes asks first; once its answer shows that the server still
    // has the same file, every other range that owes bytes gets its connection.
    if (!OpenConnection(first, true)) return;
    emit ShowStateIcon(job.State);
}

void clsDownLoadJob::PlanResume() {
    // A job stopped in its first seconds (one range) gets its Parts back.
    RangePlan(job.Segments, job.Parts, job.FileSize).LayOut(kSplitThreshold);
}

void clsDownLoadJob::ResetToNew(bool keepFileName, const QString& notice) {
    file.Close();
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
    ++runId;
    CloseAllConnections();
    ResetToNew(true, why + QStringLiteral(" The download starts again from the beginning."));
    SaveDownState();
    StartRun();
}

bool clsDownLoadJob::VerifyComplete(QString* why) const {
    if (SizeUnknown()) {
        if (why) *why = QStringLiteral("The size of the file is not known");
        return false;
    }
    return TargetFile::VerifyComplete(written, job.FileSize, job.LocalFile, why);
}

void clsDownLoadJob::EndWithError(const QString& reason) {
    // The bytes not known to be on disk are fetched again by the next run.
    if (!SizeUnknown() && job.FileSize > 0) {
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
    ++runId;
    CloseAllConnections();
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
    ++runId;
    CloseAllConnections();
}

void clsDownLoadJob::CloseFile() {
    file.Close();
    job.FileOpen = VbFalse;
}

void clsDownLoadJob::RunTo5(const QString& detail) {
    ++runId;
    CloseAllConnections();
    EndRunTimes();
    if (job.FileOpen != 0) job.IsNew = VbFalse;
    CloseFile();
    job.State = StateError;
    InUse = false;
    SaveDownState();
    emit ShowStateIcon(job.State);
    emit UpDataState(1, kRequestError, detail);
}

// ----- Connections -----------------------------------------------------------------------------

void clsDownLoadJob::OnPeerClosed(int k, quint64 serial, bool certain) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    HttpConnection* c = conns[k];
    const bool inBody = c->CurrentState() == HttpConnection::State::Body ||
                        c->CurrentState() == HttpConnection::State::Lingering;
    // A body whose length nobody announced ends only with the server's close notice: a secure
    // connection cut without it (a reset, a crash, an attacker) may have lost the end.
    if (!certain && inBody && !c->IsChunked() && c->BodyLeft < 0) {
        FailConnection(k, QStringLiteral("-1The secure connection ended without the server's "
                                         "close notice; the end of the data is not certain"));
        return;
    }
    if (inBody && (c->BodyLeft > 0 || (c->IsChunked() && !c->ChunksDone()))) {
        // The server ended the connection before the end of the answer it announced.
        FailConnection(k, QStringLiteral("-1The server closed the connection before the end of "
                                         "the answer"));
        return;
    }
    // Without a length the orderly close ends the data.
    if (k == 1 && SizeUnknown() && inBody && !c->IsChunked() && file.IsOpen() &&
        !SetFileSize(job.Segments[1].CurPos))
        return;
    CloseConnection(k);
    if (!Report(k, kClose, QStringLiteral("ByServer"))) return;
    CheckRunEnd(k, true);
}

void clsDownLoadJob::CheckRunEnd(int k, bool afterClose) {
    const quint64 id = runId;
    Rebalance();
    if (id != runId) return;
    if (ActiveConnections() != 0 || !InUse || job.State != StateRunning) return;
    for (int i = 1; i <= kMaxParts; ++i)
        if (retryPending[i]) return;
    if (CapacityWaitPending()) return;
    CalcHaveDown();
    const bool hasFile = job.IsNew == 0 || job.FileOpen != 0;
    if (hasFile && !SizeUnknown() && job.Received == job.FileSize) {
        // Every byte is there although the last connection did not end with a close.
        if (!afterClose) Report(k, kClose, QStringLiteral("ByServer"));
        return;
    }
    QString reason;
    if (!hasFile)
        reason = QStringLiteral("No answer from the server") +
                 (lastError.isEmpty() ? QStringLiteral(" (the connection was closed)") : QString());
    else if (SizeUnknown())
        reason = QStringLiteral("Download stopped before the end of the data (%1 bytes received)")
                     .arg(job.Received);
    else
        reason = QStringLiteral("Download stopped before the file was complete (%1 of %2 bytes)")
                     .arg(job.Received)
                     .arg(job.FileSize);
    if (!lastError.isEmpty()) reason += QStringLiteral(": ") + lastError;
    RunTo5(reason);
}

// ----- Data ------------------------------------------------------------------------------------

bool clsDownLoadJob::HandleHead(int k, const QByteArray& headBytes, const QByteArray& body) {
    HttpConnection* c = conns[k];
    const QString head = QString::fromLatin1(headBytes);
    c->SetChunked(HttpHead::IsChunked(head, HttpHead::ChunkedRule::HeaderLine));
    if (!resumeRun && k == 1 && c->FirstOfRun) return HeadOn1(head, body);
    if (!resumeRun && k == 2 && !rangeTested) return HeadOn2(head, body);
    return HeadRanged(k, head, body);
}

// A 206 answer fits connection k when its Content-Range starts at the requested byte and names
// the file's size (when it names them at all).
QString clsDownLoadJob::CheckAnswer(int k, const QString& head, bool* changed) {
    HttpConnection* c = conns[k];
    const AnswerCheck::Verdict v = AnswerCheck::Check(
        head, {c->RequestPos, c->IsChunked(), resumeRun, SizeUnknown(), job.FileSize, validator});
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
    const quint64 id = runId;
    HttpConnection* c = conns[1];
    const quint64 serial = c->Serial;
    c->FirstOfRun = false;
    respHead[1] = head;
    respStatus[1] = GetStatusClass(head);
    if (!Report(1, kResponse, head) || !Alive(id, 1, serial)) return false;
    const int code = StatusCode(head);
    if (code == 0) {
        RunTo5(QStringLiteral("The server's answer has no status line: ") +
               HttpHead::StatusLine(head));
        return false;
    }
    if (IsRedirect(head)) return FollowRedirect(1, head);
    if (code == 404) {
        RunTo5(QStringLiteral("404"));
        return false;
    }
    // A busy server is asked again after the retry delay.
    if (code == 503 || code == 429)
        return FailConnection(
            1, QStringLiteral("-1The server answered ") + HttpHead::StatusLine(head));
    // Only a 200 carries the whole file.
    if (code != 200) {
        RunTo5((code == 206 ? QStringLiteral("Partial answer to a request for the whole file: ")
                            : QStringLiteral("The server answered ")) +
               HttpHead::StatusLine(head));
        return false;
    }
    // A chunked body's length comes with its chunks.
    const qint64 length = c->IsChunked() ? -1 : HttpHead::StrictLength(head);
    if (length == -2) {
        RunTo5(QStringLiteral("Invalid Content-Length in the answer: ") +
               HttpHead::Values(head, QStringLiteral("Content-Length")).join(QStringLiteral(", ")));
        return false;
    }
    if (length > kInt32Max) {
        RunTo5(QStringLiteral("File too large: Content-Length %1 is more than 2147483647 bytes")
                   .arg(length));
        return false;
    }
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
    if (!CreateFileForSave()) return false;
    if (!Alive(id, 1, serial)) return false;
    validator = {HeaderValue(head, QStringLiteral("ETag")),
                 HeaderValue(head, QStringLiteral("Last-Modified"))};
    JobValidators::Set(job.LocalFile, validator);
    if (!FeedBody(1, body)) return false;
    if (!Alive(id, 1, serial)) return false;
    if (job.FileSize > kSplitThreshold && job.Parts >= 2 && !socks2Opened) {
        CreateSocks2();
        if (id != runId) return false;
        ConnectSocket(2);
    }
    return Alive(id, 1, serial);
}

bool clsDownLoadJob::FollowRedirect(int k, const QString& head) {
    CloseConnection(k);
    const QString location = HttpHead::Utf8OrAsRead(GetLocation(head));
    if (location.isEmpty()) {
        RunTo5(QStringLiteral("Redirect without a Location: ") + job.Url);
        return false;
    }
    QString target = location;
    if (!location.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !location.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        // Another scheme than http(s) is no reference to resolve: it is refused as it stands.
        target = UrlResolve::Resolve(location, job.Url, UrlResolve::BrowserRules());
        if (target.isEmpty()) target = location;
    }
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
    if (!Report(1, kRedirect, job.Url)) return false;
    SaveDownState();
    const int savedRedirects = redirects;
    const int savedRestarts = restarts;
    if (!Create(JobIndex)) {
        RunTo5(QStringLiteral("Invalid redirect target: ") + job.Url);
        return false;
    }
    ReadDownState();
    redirects = savedRedirects;
    restarts = savedRestarts;
    StartRun();
    return false;
}

bool clsDownLoadJob::HeadOn2(const QString& head, const QByteArray& body) {
    // The range test of a new job.
    const quint64 id = runId;
    HttpConnection* c = conns[2];
    const quint64 serial = c->Serial;
    respHead[2] = head;
    respStatus[2] = GetStatusClass(head);
    if (!Report(2, kResponse, head) || !Alive(id, 2, serial)) return false;
    bool changed = false;
    const QString problem = StatusCode(head) == 206 ? CheckAnswer(2, head, &changed)
                                                    : QStringLiteral("no partial answer");
    if (changed) {
        RestartFromZero(problem);
        return false;
    }
    if (!problem.isEmpty()) {
        // The range test failed: connection 1 fetches the rest of the file.
        job.CanResume = VbFalse;
        job.Segments[1].EndPos = job.FileSize;
        CloseConnection(2);
        if (!Report(2, kResumeTestError, job.Url)) return false;
        CoverByConnection1(job.FileSize);
        if (id == runId) CheckRunEnd(2);
        return false;
    }
    job.CanResume = VbTrue;
    rangeTested = true;
    // Range 1 ends where range 2 starts, unless a range has been given up and range 1 covers it.
    bool allInUse = true;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    for (int i = 2; i <= parts; ++i)
        if (job.Segments[i].StartPos == 0) allInUse = false;
    if (allInUse) job.Segments[1].EndPos = static_cast<int32_t>(job.FileSize / job.Parts);
    if (!FeedBody(2, body)) return false;
    if (id != runId) return false;
    if (job.Parts >= 3 && !socks3Opened) CreateSocks3_5();
    return Alive(id, 2, serial);
}

bool clsDownLoadJob::HeadRanged(int k, const QString& head, const QByteArray& body) {
    // Every answer but the first two of a new job: it must be the piece asked for, of the same
    // file.
    const quint64 id = runId;
    HttpConnection* c = conns[k];
    const quint64 serial = c->Serial;
    c->FirstOfRun = false;
    const bool firstAnswer = resumeRun && !runConfirmed;
    respHead[k] = head;
    respStatus[k] = GetStatusClass(head);
    if (!Report(k, kResponse, head) || !Alive(id, k, serial)) return false;
    if (firstAnswer && IsRedirect(head)) return FollowRedirect(k, head);
    if (firstAnswer && StatusCode(head) == 404) {
        RunTo5(QStringLiteral("404"));
        return false;
    }
    bool changed = false;
    QString problem = CheckAnswer(k, head, &changed);
    // A server that has not resumed in this run and answers connection 1's retry with the whole
    // file cannot resume: asking again gets the same answer, so only a new start helps.
    if (!changed && !resumeRun && k == 1 && job.CanResume != VbTrue && c->RequestPos > 0 &&
        StatusCode(head) == 200) {
        changed = true;
        problem = QStringLiteral("The server cannot resume: it sent the whole file again.");
    }
    if (changed) {
        RestartFromZero(problem);
        return false;
    }
    if (!problem.isEmpty()) {
        const int code = StatusCode(head);
        if ((code == 503 || code == 429) && RefusedForCapacity(k, head)) {
            if (!Report(k, kClose, QStringLiteral("ByServer"))) return false;
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
            lastError = problem;
            CloseConnection(k);
            CoverByConnection1(job.Segments[k].EndPos);
            if (id != runId || !Report(k, kError, QStringLiteral("-1") + problem)) return false;
            CheckRunEnd(k);
            return false;
        }
        return FailConnection(k, QStringLiteral("-1") + problem);
    }
    capacity.Accepted();
    NoteCapacity();
    if (SizeUnknown() && !LearnSize(head)) return false;
    if (!runConfirmed) {
        runConfirmed = true;
        if (validator.IsEmpty()) {
            // A job stored without validators takes those of this answer.
            validator = {HeaderValue(head, QStringLiteral("ETag")),
                         HeaderValue(head, QStringLiteral("Last-Modified"))};
            JobValidators::Set(job.LocalFile, validator);
        }
        if (resumeRun) {
            OpenOwingRanges();
            if (!Alive(id, k, serial)) return false;
        }
    }
    return FeedBody(k, body) && Alive(id, k, serial);
}

void clsDownLoadJob::CoverByConnection1(int32_t end) {
    if (!InUse || job.State != StateRunning) return;
    job.Segments[1].EndPos = std::max(job.Segments[1].EndPos, end);
    if (conns[1] == nullptr && job.Segments[1].CurPos <= job.Segments[1].EndPos &&
        job.FileOpen != 0) {
        if (!OpenConnection(1, true)) return;
        if (conns[1] != nullptr) conns[1]->FirstOfRun = false;
    }
}

bool clsDownLoadJob::FeedBody(int k, const QByteArray& body) {
    // The bytes that came with the head; the connection hands on the rest as it reads it.
    const quint64 id = runId;
    const quint64 serial = conns[k]->Serial;
    conns[k]->StartBody(body.constData(), body.size());
    return Alive(id, k, serial);
}

void clsDownLoadJob::OnChunksEnded(int k) {
    // The last chunk: the answer is complete.
    if (k == 1 && SizeUnknown() && !SetFileSize(job.Segments[1].CurPos)) return;
    CloseConnection(k);
    if (!Report(k, kClose, QStringLiteral("MeComplete"))) return;
    CheckRunEnd(k, true);
}

bool clsDownLoadJob::SetFileSize(int32_t size) {
    job.FileSize = size;
    job.Segments[1].EndPos = job.FileSize;
    if (const int e = file.Resize(job.FileSize)) {
        RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile + QStringLiteral(": ") +
               ErrnoText(e));
        return false;
    }
    return true;
}

bool clsDownLoadJob::StoreBody(int k, const char* data, qint64 size) {
    const quint64 id = runId;
    HttpConnection* c = conns[k];
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
        if (SizeUnknown()) {
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
            if (const int e = file.WriteAt(data + (from - pos), to - from, from)) {
                RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile +
                       QStringLiteral(": ") + ErrnoText(e));
                return false;
            }
            written.Add(from, to);
        }
        seg.CurPos = static_cast<int32_t>(std::min<qint64>(pos + size, kInt32Max));
        if (c->BodyLeft > 0) c->BodyLeft -= size;
        if (!c->BodyClock.isValid()) c->BodyClock.start();
        c->BodyBytes += size;
        // The range ends once its position has passed EndPos.
        c->Wanted = std::max<qint64>(1, qint64(seg.EndPos) + 1 - seg.CurPos);
    }
    if (!Report(k, kDataArrival, QString::number(size)) || !Alive(id, k, serial)) return false;
    if (!EndChecks(k)) return false;
    if (c->BodyLeft == 0 && !c->IsLingering()) {
        // The answer is whole but the range is not: the server sent less than was asked for.
        CloseConnection(k);
        if (!Report(k, kClose, QStringLiteral("ByServer"))) return false;
        CheckRunEnd(k, true);
        return false;
    }
    return true;
}

bool clsDownLoadJob::EndChecks(int k) {
    const quint64 id = runId;
    const quint64 serial = conns[k]->Serial;
    if (!SizeUnknown() && job.Segments[k].CurPos >= job.FileSize && !conns[k]->IsLingering()) {
        // Everything up to the end of the file is here; a server that keeps the connection open
        // in spite of "Connection: close" is left after a grace period.
        conns[k]->Linger();
        QTimer::singleShot(kLingerMs, this, [this, id, k, serial] {
            if (!Alive(id, k, serial)) return;
            CloseConnection(k);
            if (Report(k, kClose, QStringLiteral("MeComplete"))) CheckRunEnd(k, true);
        });
    }
    // Overtaking: connection 1 has passed the position of a later range; range 1 takes it over.
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    const int32_t cur1 = job.Segments[1].CurPos;
    for (int i = std::max(k + 1, 2); i <= parts; ++i) {
        const SegmentRecord& s = job.Segments[i];
        if (s.StartPos == 0 || s.CurPos == 0 || !(cur1 > s.CurPos)) continue;
        // The boundary byte that range 1 shares with a range starting at its end is no
        // overtaking: range 1 ends there, the other range goes on (a range just moved to a free
        // connection has not received anything yet).
        if (s.CurPos == job.Segments[1].EndPos && cur1 == s.CurPos + 1) continue;
        // Range 1 takes the range over; when connection 1 no longer runs it must already hold
        // the whole range, or the range's remaining bytes would be lost.
        if (conns[1] == nullptr && cur1 <= s.EndPos) continue;
        job.Segments[1].EndPos = std::max(job.Segments[1].EndPos, s.EndPos);
        CancelSock(k, i);
        if (!Alive(id, k, serial)) return false;
        // Every range passed goes, not only the first: range 1 now ends beyond all of them.
    }
    // Completion of this range.
    if (job.Segments[k].CurPos > job.Segments[k].EndPos) {
        CloseConnection(k);
        if (!Report(k, kClose, QStringLiteral("MeComplete"))) return false;
        CheckRunEnd(k, true);
        return false;
    }
    return true;
}

void clsDownLoadJob::CancelSock(int byPart, int part) {
    if (part < 1 || part > kMaxParts) return;
    CloseConnection(part);
    retryPending[part] = false;
    job.Segments[part] = SegmentRecord{};
    Report(part, kCancel, QString::number(byPart));
}

// ----- Opening further connections ---------------------------------------------------------

void clsDownLoadJob::CreateSocks2() {
    socks2Opened = true;
    const quint64 id = runId;
    if (!OpenConnection(2, false) || id != runId) return;
    if (job.IsNew == 0) return;
    const int n = std::clamp<int>(job.Parts, 2, kMaxParts);
    const int32_t s = job.FileSize / n;
    auto& seg = job.Segments;
    seg[1].EndPos = s;
    if (n == 2) {
        seg[2] = {s, s, job.FileSize};
    } else {
        for (int i = 2; i <= n - 1; ++i) {
            const int32_t start = seg[i - 1].EndPos;
            seg[i] = {start, start, start + s};
        }
        const int32_t start = seg[n - 1].EndPos;
        seg[n] = {start, start, job.FileSize};
        // Connection 1 goes on until connection 2 has answered the range test.
        seg[1].EndPos = job.FileSize;
    }
}

void clsDownLoadJob::CreateSocks3_5() {
    socks3Opened = true;
    const quint64 id = runId;
    for (int k = 3; k <= kMaxParts && job.Parts >= k; ++k) {
        if (!OpenConnection(k, true) || id != runId) return;
    }
}

// ----- The target file ---------------------------------------------------------------------

bool clsDownLoadJob::CreateFileForSave() {
    const quint64 id = runId;
    QString name = job.LocalFile;
    // A file named already (the job starts again from zero) keeps its name; "!qv" is added once.
    const bool named = keepName;
    keepName = false;
    if (!named) {
        // The final name is chosen first (numbered when automatic renaming finds it taken, and
        // shortened to the file system's limit), then the working suffix goes behind it.
        const QString suffix = Settings.UseQV == 1 ? QStringLiteral("!qv") : QString();
        const QString wanted = name.endsWith(QLatin1String("!qv")) ? name.chopped(3) : name;
        const int suffixBytes = static_cast<int>(suffix.size());
        QString final = TargetFile::FitName(wanted, suffixBytes);
        if (final.isEmpty()) {
            RunTo5(QStringLiteral("The file name is too long and cannot be shortened: ") + wanted);
            return false;
        }
        if (Settings.Fileexits != 0) {
            final = TargetFile::NextFreeName(final, suffix);
            if (final.isEmpty()) {
                RunTo5(QStringLiteral("No free file name for ") + wanted + suffix);
                return false;
            }
        }
        name = final + suffix;
        if (Settings.Fileexits != 0 && !Report(1, kAutorename, name)) return false;
    }
    job.LocalFile = name;
    // The record that names the file is kept before the file exists, so that no file is ever
    // left on disk that no job knows.
    SaveDownState();
    emit FileAboutToBeMade(name);
    if (id != runId) return false;
    if (const int e = file.Create(name, job.FileSize)) {
        RunTo5(QStringLiteral("Cannot create the file ") + name + QStringLiteral(": ") +
               ErrnoText(e));
        return false;
    }
    if (id != runId) {
        file.Close();
        return false;
    }
    job.FileOpen = VbTrue;
    job.FileNo = file.Descriptor();
    return true;
}

bool clsDownLoadJob::OpenExistingFile() {
    bool opened = false;
    if (const int e =
            file.OpenExisting(job.LocalFile, SizeUnknown() ? -1 : job.FileSize, &opened)) {
        RunTo5((opened ? QStringLiteral("Cannot write the file ")
                       : QStringLiteral("Cannot open the file ")) +
               job.LocalFile + QStringLiteral(": ") + ErrnoText(e));
        return false;
    }
    job.FileNo = file.Descriptor();
    job.FileOpen = VbTrue;
    return true;
}
