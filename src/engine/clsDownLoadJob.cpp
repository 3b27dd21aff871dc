#include "engine/clsDownLoadJob.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/HttpHead.h"
#include "engine/HttpRequest.h"
#include "engine/TlsSetup.h"
#include "engine/UrlParts.h"
#include "store/JobTable.h"
#include "store/NumberRule.h"
#include "store/Settings.h"
#include "store/VbDate.h"

namespace {

const QString kConnecting = QStringLiteral("Connecting");
const QString kConnected = QStringLiteral("Connected");
const QString kRequest = QStringLiteral("Request");
const QString kResponse = QStringLiteral("Response");
const QString kDataArrival = QStringLiteral("DataArrival");
const QString kRedirect = QStringLiteral("Redirect");
const QString kRequestError = QStringLiteral("RequestError");
const QString kResumeTestError = QStringLiteral("ReSumeTestError");
const QString kClose = QStringLiteral("Close");
const QString kError = QStringLiteral("Error");
const QString kCancel = QStringLiteral("Cancel");
const QString kAutorename = QStringLiteral("Autorename");

constexpr qint64 kReadChunk = 256 * 1024;
constexpr int kChunksPerNotification = 4;
constexpr int32_t kInt32Max = 2147483647;
constexpr int kLingerMs = 3000;
// How often the connections' timeouts are looked at.
constexpr int kWatchMs = 250;
// Decrypted bytes a secure connection holds before the engine has taken them.
constexpr qint64 kTlsReadBuffer = 64 * 1024;
// QAbstractSocket::SocketTimeoutError, the number in front of a timeout's "Error" report.
constexpr int kTimeoutErrorNumber = 5;

QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all bytes at the offset; false with errno set on failure.
bool WriteAt(int fd, const char* data, qint64 size, qint64 offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool Exists(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

// The response head rules the answers' checks below use.
using ContentRange = HttpHead::ContentRange;

QStringList HeaderValues(const QString& head, const QString& name) {
    return HttpHead::Values(head, name);
}

qint64 AnnouncedLength(const QString& head) {
    return HttpHead::StrictLength(head);
}

ContentRange ParseContentRange(const QString& value) {
    return HttpHead::ParseContentRange(value);
}

bool IsRedirect(const QString& head) {
    if (clsDownLoadJob::GetStatusClass(head) == QLatin1String("30")) return true;
    const int code = clsDownLoadJob::StatusCode(head);
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

QString StatusLine(const QString& head) {
    return HttpHead::StatusLine(head);
}

}  // namespace

// One connection of the job: the socket and what has been read of its response so far.
struct clsDownLoadJob::Connection {
    QTcpSocket* sock = nullptr;
    quint64 serial = 0;
    bool secure = false;       // TLS (an https address)
    bool tunnel = false;       // waiting for the proxy's answer to CONNECT
    bool ready = false;        // the request has been sent
    QByteArray tunnelHead;     // the proxy's answer so far
    QString certError;         // the certificate did not verify
    bool closeNotice = false;  // the server ended TLS in order (close_notify) before the close
    QElapsedTimer activity;    // since the connect began, the request went out or bytes came
    bool waitHead = true;      // the next bytes are the start of the response
    QByteArray head;           // head bytes collected until the blank line
    int32_t requestPos = 0;    // CurPos when the request was sent
    bool firstOfRun = true;    // connection 1: the first response of this run
    bool lingering = false;    // every byte up to the end of the file is in; waiting for the close
    qint64 bodyLeft = -1;      // bytes of the answer's body still to come; -1 when not announced
    // Chunked transfer coding.
    bool chunked = false;
    enum { ChunkSize, ChunkData, ChunkDataEnd, ChunkTrailer, ChunkDone } chunkState = ChunkSize;
    qint64 chunkLeft = 0;
    QByteArray chunkLine;
};

clsDownLoadJob::clsDownLoadJob(QObject* parent) : QObject(parent) {
    watch.setInterval(kWatchMs);
    connect(&watch, &QTimer::timeout, this, &clsDownLoadJob::OnWatch);
}

clsDownLoadJob::~clsDownLoadJob() {
    ++runId;
    CloseAllConnections();
    if (fd >= 0) ::close(fd);
}

// ----- URL and HTTP text ---------------------------------------------------------------------

bool clsDownLoadJob::SplitUrl(const QString& url) {
    return SplitUrl(url, job);
}

bool clsDownLoadJob::SplitUrl(const QString& url, JobRecord& record) {
    UrlParts parts;
    if (!parts.Split(url, UrlParts::EngineRules())) return false;
    record.Host = parts.Host;
    record.Port = parts.Port;
    record.Path = parts.Target(record.UseProxy != 0);
    record.FileName = parts.FileName;
    record.Spare = record.FileName;
    return true;
}

bool clsDownLoadJob::IsSecureUrl(const QString& url) {
    return url.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

QByteArray clsDownLoadJob::RequestText(const JobRecord& record, int part, const QString& ifRange) {
    HttpRequest request;
    request.Target = record.Path;
    request.UserAgent = record.UserAgent;
    request.Host = record.Host;
    request.OddAcceptEncoding = SendAcceptEncodingLine;
    if (part >= 1 && part <= kMaxParts && record.Segments[part].CurPos > 0) {
        request.RangeFrom = record.Segments[part].CurPos;
        request.IfRange = ifRange;
    }
    return request.Bytes();
}

QString clsDownLoadJob::GetResponseHead(const QByteArray& bytes) {
    return HttpHead::Text(bytes);
}

QString clsDownLoadJob::GetStatusClass(const QString& head) {
    return HttpHead::StatusClass(head, true);
}

QString clsDownLoadJob::GetContentLength(const QString& head) {
    return HttpHead::LengthText(head);
}

QString clsDownLoadJob::GetLocation(const QString& head) {
    return HttpHead::Location(head);
}

QString clsDownLoadJob::HeaderValue(const QString& head, const QString& name) {
    return HttpHead::Value(head, name);
}

int clsDownLoadJob::StatusCode(const QString& head) {
    return HttpHead::StatusCode(head);
}

QString clsDownLoadJob::GetFileBase(const QString& name) {
    const qsizetype slash =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash) return name;
    return name.left(dot);
}

QString clsDownLoadJob::GetFileExt(const QString& name) {
    const qsizetype slash =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash) return QString();
    return name.mid(dot);
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

bool clsDownLoadJob::SizeUnknown() const {
    return job.FileSize == 0 && job.Segments[1].EndPos == kUnknownEnd;
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
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
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
    resumeRun = false;
    runConfirmed = false;
    lastError.clear();
    written.Clear();
    for (int k = 1; k <= kMaxParts; ++k) {
        respHead[k].clear();
        respStatus[k].clear();
    }
    if (job.IsNew == 0 && !job.LocalFile.isEmpty() && fd < 0 && !Exists(job.LocalFile))
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
    if (fd < 0 && !OpenExistingFile()) return;
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

ByteRanges clsDownLoadJob::StoredBytes() const {
    // What the ranges in use say is on disk: range 1 always, ranges 2.. when StartPos is not 0.
    ByteRanges have;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    for (int i = 1; i <= parts; ++i) {
        const SegmentRecord& s = job.Segments[i];
        if (i > 1 && s.StartPos == 0) continue;
        have.Add(s.StartPos, std::min<int64_t>({s.CurPos, s.EndPos, job.FileSize}));
    }
    return have;
}

bool clsDownLoadJob::Owes(int i) const {
    const SegmentRecord& s = job.Segments[i];
    if (i > 1 && s.StartPos == 0) return false;
    if (SizeUnknown()) return i == 1;
    return s.CurPos <= s.EndPos && s.CurPos < job.FileSize;
}

void clsDownLoadJob::PlanResume() {
    // The bytes on disk by the stored ranges; the ranges are laid out again so that each one is
    // a stretch of bytes already here followed by a stretch still to fetch, and together they
    // cover the file. A job stopped in its first seconds (one range) gets its Parts back.
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    const int64_t size = job.FileSize;
    const auto gaps = StoredBytes().Gaps(0, size);
    if (gaps.empty()) return;
    struct Piece {
        int64_t start, cur, end;
    };
    std::vector<Piece> out;
    int64_t start = 0;
    for (const auto& g : gaps) {
        out.push_back({start, g.first, g.second});
        start = g.second;
    }
    if (start < size) {
        if (static_cast<int>(out.size()) < parts)
            out.push_back({start, size, size});
        else
            out.back().end = size;
    }
    // More pieces than connections: join neighbours where the fewest bytes are fetched twice.
    while (static_cast<int>(out.size()) > parts) {
        size_t best = 1;
        int64_t cost = std::numeric_limits<int64_t>::max();
        for (size_t i = 1; i < out.size(); ++i)
            if (out[i].cur - out[i].start < cost) {
                cost = out[i].cur - out[i].start;
                best = i;
            }
        out[best - 1].end = out[best].end;
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(best));
    }
    // Spare connections share the largest stretches still to fetch.
    while (static_cast<int>(out.size()) < parts) {
        size_t best = 0;
        int64_t owed = 0;
        for (size_t i = 0; i < out.size(); ++i)
            if (out[i].end - out[i].cur > owed) {
                owed = out[i].end - out[i].cur;
                best = i;
            }
        if (owed <= kSplitThreshold) break;
        const int64_t mid = out[best].cur + owed / 2;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(best) + 1,
                   Piece{mid, mid, out[best].end});
        out[best].end = mid;
    }
    for (int i = 1; i <= kMaxParts; ++i) job.Segments[i] = SegmentRecord{};
    for (size_t i = 0; i < out.size(); ++i)
        job.Segments[i + 1] = {static_cast<int32_t>(out[i].start), static_cast<int32_t>(out[i].cur),
                               static_cast<int32_t>(out[i].end)};
}

void clsDownLoadJob::OpenOwingRanges() {
    const quint64 id = runId;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    for (int i = 1; i <= parts; ++i) {
        if (conns[i] != nullptr || !Owes(i)) continue;
        if (!OpenConnection(i, true) || id != runId) return;
    }
}

void clsDownLoadJob::ResetToNew(bool keepFileName, const QString& notice) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
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
    auto fail = [why](const QString& text) {
        if (why) *why = text;
        return false;
    };
    if (SizeUnknown()) return fail(QStringLiteral("The size of the file is not known"));
    const int64_t size = job.FileSize;
    const auto gaps = written.Gaps(0, size);
    if (!gaps.empty())
        return fail(QStringLiteral("Bytes %1 to %2 of the file were never received")
                        .arg(gaps.front().first)
                        .arg(gaps.front().second - 1));
    struct stat st;
    if (::stat(QFile::encodeName(job.LocalFile).constData(), &st) != 0)
        return fail(QStringLiteral("The file ") + job.LocalFile + QStringLiteral(" is missing: ") +
                    ErrnoText(errno));
    if (!S_ISREG(st.st_mode) || st.st_size != size)
        return fail(QStringLiteral("The file ") + job.LocalFile +
                    QStringLiteral(" has %1 bytes instead of %2").arg(st.st_size).arg(size));
    return true;
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
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
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

bool clsDownLoadJob::Report(int part, const QString& kind, const QString& detail) {
    const quint64 id = runId;
    emit UpDataState(part, kind, detail);
    return id == runId;
}

bool clsDownLoadJob::Alive(quint64 id, int k, quint64 serial) const {
    return id == runId && conns[k] != nullptr && conns[k]->serial == serial;
}

int clsDownLoadJob::ActiveConnections() const {
    int n = 0;
    for (int k = 1; k <= kMaxParts; ++k)
        if (conns[k] != nullptr) ++n;
    return n;
}

// ----- Connections -----------------------------------------------------------------------------

bool clsDownLoadJob::OpenConnection(int k, bool connectNow) {
    CloseConnection(k);
    retryPending[k] = false;
    auto* c = new Connection;
    c->serial = ++nextSerial;
    c->secure = IsSecureUrl(job.Url);
    c->sock = TlsSetup::MakeSocket(c->secure, this);
    c->activity.start();
    conns[k] = c;
    const quint64 serial = c->serial;
    if (c->secure) {
        auto* tls = static_cast<QSslSocket*>(c->sock);
        tls->setReadBufferSize(kTlsReadBuffer);
        connect(tls, &QSslSocket::encrypted, this, [this, k, serial] { OnSecured(k, serial); });
        connect(tls, &QSslSocket::sslErrors, this, [this, k, serial](const QList<QSslError>& e) {
            if (Alive(runId, k, serial)) conns[k]->certError = TlsSetup::CertificateErrorText(e);
        });
    }
    connect(c->sock, &QTcpSocket::connected, this, [this, k, serial] { OnConnected(k, serial); });
    connect(c->sock, &QTcpSocket::readyRead, this, [this, k, serial] { OnReadyRead(k, serial); });
    connect(c->sock, &QTcpSocket::disconnected, this,
            [this, k, serial] { OnDisconnected(k, serial); });
    connect(c->sock, &QTcpSocket::errorOccurred, this,
            [this, k, serial](QAbstractSocket::SocketError e) {
                OnError(k, serial, static_cast<int>(e));
            });
    const QString host = job.UseProxy != 0 ? job.ProxyHost : job.Host;
    const uint16_t port = job.UseProxy != 0 ? job.ProxyPort : job.Port;
    const quint64 id = runId;
    if (!Report(k, kConnecting, host + QLatin1Char(':') + QString::number(port))) return false;
    if (!Alive(id, k, serial)) return false;
    if (connectNow) ConnectSocket(k);
    if (!watch.isActive() && (Settings.Ctimeout > 0 || Settings.Rtimeout > 0)) watch.start();
    return true;
}

void clsDownLoadJob::ConnectSocket(int k) {
    if (conns[k] == nullptr) return;
    const QString host = job.UseProxy != 0 ? job.ProxyHost : job.Host;
    const uint16_t port = job.UseProxy != 0 ? job.ProxyPort : job.Port;
    Connection* c = conns[k];
    c->activity.start();
    if (c->secure) {
        // TLS keeps its own buffer; through a proxy the tunnel is opened first.
        if (job.UseProxy != 0)
            c->sock->connectToHost(host, port);
        else
            static_cast<QSslSocket*>(c->sock)->connectToHostEncrypted(host, port);
        return;
    }
    // Unbuffered: the reader takes the bytes from the socket itself and so can tell an orderly
    // close from a reset.
    c->sock->connectToHost(host, port, QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void clsDownLoadJob::CloseConnection(int k) {
    Connection* c = conns[k];
    if (c == nullptr) return;
    conns[k] = nullptr;
    QTcpSocket* sock = c->sock;
    sock->disconnect(this);
    if (c->secure) {
        // A secure socket may be inside its own handshake or error signal: it is taken down
        // once that has returned.
        QMetaObject::invokeMethod(
            sock,
            [sock] {
                sock->abort();
                sock->deleteLater();
            },
            Qt::QueuedConnection);
    } else {
        sock->abort();
        sock->deleteLater();
    }
    delete c;
}

void clsDownLoadJob::CloseAllConnections() {
    for (int k = 1; k <= kMaxParts; ++k) CloseConnection(k);
    retryPending.fill(false);
    watch.stop();
}

void clsDownLoadJob::OnConnected(int k, quint64 serial) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    Connection* c = conns[k];
    if (c->secure) {
        // Through a proxy: ask for the tunnel; the handshake follows its answer. Directly, the
        // socket goes on with the handshake by itself.
        if (job.UseProxy != 0) {
            c->tunnel = true;
            c->sock->write(TlsSetup::ConnectRequest(job.Host, job.Port));
        }
        return;
    }
    SendRequest(k, serial);
}

void clsDownLoadJob::OnSecured(int k, quint64 serial) {
    if (!Alive(runId, k, serial)) return;
    SendRequest(k, serial);
}

void clsDownLoadJob::SendRequest(int k, quint64 serial) {
    const quint64 id = runId;
    QTcpSocket* sock = conns[k]->sock;
    QString detail = sock->peerName() + QLatin1Char(':') + QString::number(sock->peerPort());
    if (k == 1)
        detail += QStringLiteral("(IP:") + sock->peerAddress().toString() + QLatin1Char(')');
    if (!Report(k, kConnected, detail) || !Alive(id, k, serial)) return;
    Connection* c = conns[k];
    c->waitHead = true;
    c->head.clear();
    c->ready = true;
    c->activity.start();
    c->requestPos = job.Segments[k].CurPos;
    const QByteArray request = RequestText(job, k, validator.IfRange());
    c->sock->write(request);
    Report(k, kRequest, QString::fromUtf8(request));
}

void clsDownLoadJob::OnReadyRead(int k, quint64 serial) {
    const quint64 id = runId;
    if (readBuffer.size() < kReadChunk) readBuffer.resize(kReadChunk);
    if (!Alive(id, k, serial)) return;
    conns[k]->activity.start();
    if (conns[k]->secure) {
        ReadSecure(k, serial);
        return;
    }
    // A few chunks per notification, so one fast connection does not hold up the others and
    // the window; the socket notifies again while bytes are waiting.
    for (int chunk = 0; chunk < kChunksPerNotification && Alive(id, k, serial); ++chunk) {
        QTcpSocket* sock = conns[k]->sock;
        // Look before reading: the socket layer reports a reset like an orderly close, and only
        // an orderly close may end a body whose length was not announced.
        char probe = 0;
        const ssize_t seen =
            ::recv(static_cast<int>(sock->socketDescriptor()), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (seen == 0) {
            OnPeerClosed(k, serial);
            return;
        }
        if (seen < 0) {
            const int e = errno;
            if (e == EINTR) continue;
            if (e == EAGAIN || e == EWOULDBLOCK) {
                // Nothing there: this read asks the socket for the next notification. Bytes that
                // came in since the look are the file's like any others.
                const qint64 n = sock->read(readBuffer.data(), kReadChunk);
                if (n > 0) Process(k, readBuffer.constData(), n);
                if (n < 0 && Alive(id, k, serial))
                    FailConnection(k, QStringLiteral("-1The connection was closed unexpectedly"));
                return;
            }
            FailConnection(k, QString::number(e) + ErrnoText(e));
            return;
        }
        const qint64 n = sock->read(readBuffer.data(), kReadChunk);
        if (n <= 0) return;
        if (!Process(k, readBuffer.constData(), n)) return;
    }
}

void clsDownLoadJob::ReadSecure(int k, quint64 serial) {
    const quint64 id = runId;
    Connection* c = conns[k];
    if (c->tunnel) {
        // The proxy's answer to CONNECT, up to its blank line; nothing of the server comes
        // before the handshake.
        c->tunnelHead += c->sock->readAll();
        const qsizetype end = c->tunnelHead.indexOf("\r\n\r\n");
        if (end < 0) {
            if (c->tunnelHead.size() > kHeadLimit)
                FailConnection(
                    k, QStringLiteral("-1Proxy answer larger than %1 bytes").arg(kHeadLimit));
            return;
        }
        const QString refused = TlsSetup::TunnelAnswer(c->tunnelHead.left(end + 4));
        if (!refused.isEmpty()) {
            RunTo5(refused);
            return;
        }
        c->tunnel = false;
        c->tunnelHead.clear();
        TlsSetup::StartClientTls(static_cast<QSslSocket*>(c->sock), job.Host);
        return;
    }
    // Every decrypted byte is taken now: the socket tells again only when new bytes arrive.
    while (Alive(id, k, serial) && c->sock->bytesAvailable() > 0) {
        const qint64 n = c->sock->read(readBuffer.data(), kReadChunk);
        if (n <= 0) return;
        if (!Process(k, readBuffer.constData(), n)) return;
    }
}

void clsDownLoadJob::OnPeerClosed(int k, quint64 serial) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    Connection* c = conns[k];
    if (!c->waitHead &&
        (c->bodyLeft > 0 || (c->chunked && c->chunkState != Connection::ChunkDone))) {
        // The server ended the connection before the end of the answer it announced.
        FailConnection(k, QStringLiteral("-1The server closed the connection before the end of "
                                         "the answer"));
        return;
    }
    if (k == 1 && SizeUnknown() && !c->waitHead && !c->chunked && fd >= 0) {
        // Without a length the orderly close ends the data: the size is known now.
        job.FileSize = job.Segments[1].CurPos;
        job.Segments[1].EndPos = job.FileSize;
        if (::ftruncate(fd, job.FileSize) != 0) {
            RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile + QStringLiteral(": ") +
                   ErrnoText(errno));
            return;
        }
    }
    CloseConnection(k);
    if (!Report(k, kClose, QStringLiteral("ByServer"))) return;
    CheckRunEnd(k, true);
}

void clsDownLoadJob::OnDisconnected(int k, quint64 serial) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    Connection* c = conns[k];
    if (!c->certError.isEmpty()) {
        const QString why = c->certError;  // the connection goes with the run
        RunTo5(why);
        return;
    }
    if (c->secure && c->ready) {
        // The bytes decrypted before the close are the answer's; then the close ends it.
        ReadSecure(k, serial);
        if (!Alive(id, k, serial)) return;
        // A body whose length nobody announced ends only with the server's close notice: a
        // connection cut without it (a reset, a crash, an attacker) may have lost the end.
        if (!c->waitHead && !c->chunked && c->bodyLeft < 0 && !c->closeNotice) {
            FailConnection(k, QStringLiteral("-1The secure connection ended without the server's "
                                             "close notice; the end of the data is not certain"));
            return;
        }
        OnPeerClosed(k, serial);
        return;
    }
    // The reader sees an orderly close first; this comes only when the socket layer gave the
    // connection up by itself, which does not end the data in order.
    FailConnection(k, QStringLiteral("-1The connection was closed unexpectedly"));
}

void clsDownLoadJob::OnError(int k, quint64 serial, int socketError) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    Connection* c = conns[k];
    if (!c->certError.isEmpty()) {
        // A server whose certificate does not verify is never talked to: the job ends here.
        const QString why = c->certError;  // the connection goes with the run
        RunTo5(why);
        return;
    }
    // A secure connection's close comes with its disconnected signal (handled there). The TLS
    // layer reports the server's close notice with its own text.
    if (c->secure && c->ready && socketError == QAbstractSocket::RemoteHostClosedError) {
        if (c->sock->errorString() == QLatin1String("The TLS/SSL connection has been closed"))
            c->closeNotice = true;
        return;
    }
    const QString text = c->sock->errorString();
    FailConnection(k, QString::number(socketError) + text);
}

void clsDownLoadJob::OnWatch() {
    const qint64 connectMs = qint64(Settings.Ctimeout) * 1000;
    const qint64 receiveMs = qint64(Settings.Rtimeout) * 1000;
    const quint64 id = runId;
    bool any = false;
    for (int k = 1; k <= kMaxParts && id == runId; ++k) {
        Connection* c = conns[k];
        if (c == nullptr) continue;
        any = true;
        // A connection that has everything and waits for the close is not owed bytes.
        if (c->lingering) continue;
        if (!c->ready && connectMs > 0 && c->activity.hasExpired(connectMs)) {
            FailConnection(k, QString::number(kTimeoutErrorNumber) +
                                  QStringLiteral("Connect timeout: not connected after %1 seconds")
                                      .arg(Settings.Ctimeout));
        } else if (c->ready && receiveMs > 0 && c->activity.hasExpired(receiveMs)) {
            FailConnection(k, QString::number(kTimeoutErrorNumber) +
                                  QStringLiteral("Receive timeout: nothing received for %1 seconds")
                                      .arg(Settings.Rtimeout));
        }
    }
    if (!any && id == runId) watch.stop();
}

bool clsDownLoadJob::ScheduleRetry(int k, const QString& reason) {
    if (!InUse || job.State != StateRunning) return false;
    const int allowed = std::max<int>(Settings.Retries, 0);
    if (retriesUsed[k] >= allowed) return false;
    // Only a range that still owes bytes is worth a new connection (connection 1 of a new job
    // before its file exists always is).
    const bool hasFile = job.IsNew == 0 || job.FileOpen != 0;
    if (hasFile && !Owes(k)) return false;
    if (!hasFile && k != 1) return false;
    ++retriesUsed[k];
    retryPending[k] = true;
    const int delay = std::max<int>(Settings.Redelay, 0);
    emit LogNotice(k, QStringLiteral("Connection %1: %2; trying again in %3 seconds (retry %4 of "
                                     "%5).")
                          .arg(k)
                          .arg(reason)
                          .arg(delay)
                          .arg(retriesUsed[k])
                          .arg(allowed));
    const quint64 id = runId;
    QTimer::singleShot(delay * 1000, this, [this, id, k] {
        if (id != runId || !retryPending[k]) return;
        retryPending[k] = false;
        if (conns[k] != nullptr) return;  // opened again meanwhile (overtaking, covering)
        const bool fileThere = job.IsNew == 0 || job.FileOpen != 0;
        if (fileThere && !Owes(k)) {
            CheckRunEnd(k);
            return;
        }
        if (!OpenConnection(k, true) || id != runId || conns[k] == nullptr) return;
        // The file is there already: the answer goes on with the range, it does not start a
        // new file.
        if (fileThere) conns[k]->firstOfRun = false;
    });
    return true;
}

bool clsDownLoadJob::FailConnection(int k, const QString& detail) {
    // The range keeps its position; the connection is not opened again in this run.
    lastError = detail;
    while (!lastError.isEmpty() && (lastError.at(0).isDigit() || lastError.at(0) == '-'))
        lastError.remove(0, 1);
    CloseConnection(k);
    if (!Report(k, kError, detail)) return false;
    if (ScheduleRetry(k, lastError)) return false;
    CheckRunEnd(k);
    return false;
}

void clsDownLoadJob::CheckRunEnd(int k, bool afterClose) {
    if (ActiveConnections() != 0 || !InUse || job.State != StateRunning) return;
    for (int i = 1; i <= kMaxParts; ++i)
        if (retryPending[i]) return;
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

bool clsDownLoadJob::Process(int k, const char* data, qint64 size) {
    Connection* c = conns[k];
    if (!c->waitHead) return FeedBody(k, data, size);
    c->head.append(data, size);
    const qsizetype end = c->head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (c->head.size() > kHeadLimit)
            return FailConnection(
                k, QStringLiteral("-1Response head larger than %1 bytes").arg(kHeadLimit));
        return true;
    }
    if (end + 4 > kHeadLimit)
        return FailConnection(
            k, QStringLiteral("-1Response head larger than %1 bytes").arg(kHeadLimit));
    const QByteArray headBytes = c->head.left(end + 4);
    const QByteArray body = c->head.mid(end + 4);
    c->head.clear();
    c->waitHead = false;
    return HandleHead(k, headBytes, body);
}

bool clsDownLoadJob::HandleHead(int k, const QByteArray& headBytes, const QByteArray& body) {
    Connection* c = conns[k];
    const QString head = QString::fromLatin1(headBytes);
    c->chunked = HeaderValue(head, QStringLiteral("Transfer-Encoding"))
                     .contains(QLatin1String("chunked"), Qt::CaseInsensitive);
    if (!resumeRun && k == 1 && c->firstOfRun) return HeadOn1(head, body);
    if (!resumeRun && k == 2 && !rangeTested) return HeadOn2(head, body);
    return HeadRanged(k, head, body);
}

// A 206 answer fits connection k when its Content-Range starts at the requested byte and names
// the file's size (when it names them at all).
QString clsDownLoadJob::CheckAnswer(int k, const QString& head, bool* changed) {
    *changed = false;
    Connection* c = conns[k];
    const int code = StatusCode(head);
    // Another ETag or Last-Modified than the file's first answer had means another file.
    const QString etag = HeaderValue(head, QStringLiteral("ETag"));
    const QString modified = HeaderValue(head, QStringLiteral("Last-Modified"));
    const bool otherFile =
        (!validator.ETag.isEmpty() && !etag.isEmpty() && etag != validator.ETag) ||
        (!validator.LastModified.isEmpty() && !modified.isEmpty() &&
         modified != validator.LastModified);
    const QString otherText =
        QStringLiteral("The file changed on the server (") +
        (etag != validator.ETag && !etag.isEmpty() ? QStringLiteral("ETag ") + etag
                                                   : QStringLiteral("Last-Modified ") + modified) +
        QStringLiteral(").");
    if (code == 200) {
        if (c->requestPos > 0) {
            // Sent with If-Range, or while going on with a stored file, a whole file means
            // another file (or a server that cannot resume): only a new start is safe. In a
            // new job's run without validators it only means the range was ignored.
            *changed = resumeRun || !validator.IfRange().isEmpty() || otherFile;
            return QStringLiteral("The server sent the whole file instead of the rest (") +
                   StatusLine(head) + QStringLiteral("): the file may have changed on the server.");
        }
        const qint64 length = c->chunked ? -1 : AnnouncedLength(head);
        if (length == -2)
            return QStringLiteral("Invalid Content-Length in the answer: ") +
                   HeaderValues(head, QStringLiteral("Content-Length")).join(QStringLiteral(", "));
        if (!SizeUnknown() && length >= 0 && length != job.FileSize) {
            *changed = true;
            return QStringLiteral("The file on the server has %1 bytes now, not %2.")
                .arg(length)
                .arg(job.FileSize);
        }
        if (otherFile) {
            *changed = true;
            return otherText;
        }
        c->bodyLeft = length;
        return QString();
    }
    if (code != 206) return QStringLiteral("The server answered ") + StatusLine(head);
    if (c->requestPos == 0)
        return QStringLiteral("Partial answer to a request for the whole file: ") +
               StatusLine(head);
    const QStringList ranges = HeaderValues(head, QStringLiteral("Content-Range"));
    const ContentRange r = ranges.size() == 1 ? ParseContentRange(ranges[0]) : ContentRange{};
    if (!r.ok)
        return QStringLiteral("Invalid Content-Range in the answer: \"") +
               ranges.join(QStringLiteral(", ")) + QLatin1Char('"');
    if (r.first != c->requestPos)
        return QStringLiteral("The answer starts at byte %1, not at byte %2 as asked")
            .arg(r.first)
            .arg(c->requestPos);
    if (!SizeUnknown() && r.total != job.FileSize) {
        if (r.total < 0) return QStringLiteral("The answer does not name the size of the file");
        *changed = true;
        return QStringLiteral("The file on the server has %1 bytes now, not %2.")
            .arg(r.total)
            .arg(job.FileSize);
    }
    if (otherFile) {
        *changed = true;
        return otherText;
    }
    const qint64 length = c->chunked ? -1 : AnnouncedLength(head);
    if (length == -2 || (length >= 0 && length != r.last - r.first + 1))
        return QStringLiteral("Content-Length does not match Content-Range in the answer");
    c->bodyLeft = r.last - r.first + 1;
    return QString();
}

bool clsDownLoadJob::LearnSize(const QString& head) {
    // The size of a job whose length was not known, from an answer that has been checked.
    qint64 size = -1;
    if (StatusCode(head) == 206) {
        const ContentRange r =
            ParseContentRange(HeaderValue(head, QStringLiteral("Content-Range")));
        if (r.ok) size = r.total;
    }
    if (size < 0) return true;
    if (size > kInt32Max) {
        RunTo5(QStringLiteral("File too large: %1 bytes is more than 2147483647 bytes").arg(size));
        return false;
    }
    job.FileSize = static_cast<int32_t>(size);
    job.Segments[1].EndPos = job.FileSize;
    if (fd >= 0 && ::ftruncate(fd, job.FileSize) != 0) {
        RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile + QStringLiteral(": ") +
               ErrnoText(errno));
        return false;
    }
    return true;
}

bool clsDownLoadJob::HeadOn1(const QString& head, const QByteArray& body) {
    // The first answer of a new job: the size, the file, the first bytes.
    const quint64 id = runId;
    Connection* c = conns[1];
    const quint64 serial = c->serial;
    c->firstOfRun = false;
    respHead[1] = head;
    respStatus[1] = GetStatusClass(head);
    if (!Report(1, kResponse, head) || !Alive(id, 1, serial)) return false;
    const int code = StatusCode(head);
    if (code == 0) {
        RunTo5(QStringLiteral("The server's answer has no status line: ") + StatusLine(head));
        return false;
    }
    if (IsRedirect(head)) return FollowRedirect(1, head);
    if (code == 404) {
        RunTo5(QStringLiteral("404"));
        return false;
    }
    // Only a 200 carries the whole file.
    if (code != 200) {
        RunTo5((code == 206 ? QStringLiteral("Partial answer to a request for the whole file: ")
                            : QStringLiteral("The server answered ")) +
               StatusLine(head));
        return false;
    }
    // A chunked body's length comes with its chunks.
    const qint64 length = c->chunked ? -1 : AnnouncedLength(head);
    if (length == -2) {
        RunTo5(QStringLiteral("Invalid Content-Length in the answer: ") +
               HeaderValues(head, QStringLiteral("Content-Length")).join(QStringLiteral(", ")));
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
    c->requestPos = 0;
    c->bodyLeft = length;
    if (!CreateFileForSave()) return false;
    if (!Alive(id, 1, serial)) return false;
    validator = {HeaderValue(head, QStringLiteral("ETag")),
                 HeaderValue(head, QStringLiteral("Last-Modified"))};
    JobValidators::Set(job.LocalFile, validator);
    if (!FeedBody(1, body.constData(), body.size())) return false;
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
    const QString location = GetLocation(head);
    if (location.isEmpty()) {
        RunTo5(QStringLiteral("Redirect without a Location: ") + job.Url);
        return false;
    }
    QString target = location;
    if (!location.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !location.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        const QUrl resolved = QUrl(job.Url).resolved(QUrl(location));
        target = QString::fromUtf8(resolved.toEncoded());
    }
    // A redirect met while resuming: the next answer starts with its head again.
    if (job.FileOpen != 0) CloseFile();
    if (++redirects > kMaxRedirects) {
        RunTo5(QStringLiteral("Too many redirects (more than %1): ").arg(kMaxRedirects) + target);
        return false;
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
    Connection* c = conns[2];
    const quint64 serial = c->serial;
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
    if (!FeedBody(2, body.constData(), body.size())) return false;
    if (id != runId) return false;
    if (job.Parts >= 3 && !socks3Opened) CreateSocks3_5();
    return Alive(id, 2, serial);
}

bool clsDownLoadJob::HeadRanged(int k, const QString& head, const QByteArray& body) {
    // Every answer but the first two of a new job: it must be the piece asked for, of the same
    // file.
    const quint64 id = runId;
    Connection* c = conns[k];
    const quint64 serial = c->serial;
    c->firstOfRun = false;
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
    const QString problem = CheckAnswer(k, head, &changed);
    if (changed) {
        RestartFromZero(problem);
        return false;
    }
    if (!problem.isEmpty()) {
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
    return FeedBody(k, body.constData(), body.size()) && Alive(id, k, serial);
}

void clsDownLoadJob::CoverByConnection1(int32_t end) {
    if (!InUse || job.State != StateRunning) return;
    job.Segments[1].EndPos = std::max(job.Segments[1].EndPos, end);
    if (conns[1] == nullptr && job.Segments[1].CurPos <= job.Segments[1].EndPos &&
        job.FileOpen != 0) {
        if (!OpenConnection(1, true)) return;
        if (conns[1] != nullptr) conns[1]->firstOfRun = false;
    }
}

bool clsDownLoadJob::FeedBody(int k, const char* data, qint64 size) {
    Connection* c = conns[k];
    if (!c->chunked) return StoreBody(k, data, size);
    // Chunked transfer coding: only the chunks' data goes to the file.
    const quint64 id = runId;
    const quint64 serial = c->serial;
    std::vector<char> plain;
    plain.reserve(static_cast<size_t>(size));
    qint64 i = 0;
    while (i < size && c->chunkState != Connection::ChunkDone) {
        switch (c->chunkState) {
            case Connection::ChunkSize:
            case Connection::ChunkDataEnd:
            case Connection::ChunkTrailer: {
                const char* nl = static_cast<const char*>(std::memchr(data + i, '\n', size - i));
                const qint64 stop = nl ? (nl - data) : size;
                c->chunkLine.append(data + i, stop - i);
                i = nl ? stop + 1 : size;
                if (!nl) {
                    if (c->chunkLine.size() > 4096)
                        return FailConnection(k, QStringLiteral("-1Bad chunked data"));
                    break;
                }
                QByteArray line = c->chunkLine.trimmed();
                c->chunkLine.clear();
                if (c->chunkState == Connection::ChunkDataEnd) {
                    if (!line.isEmpty())
                        return FailConnection(k, QStringLiteral("-1Bad chunked data"));
                    c->chunkState = Connection::ChunkSize;
                } else if (c->chunkState == Connection::ChunkTrailer) {
                    if (line.isEmpty()) c->chunkState = Connection::ChunkDone;
                } else {
                    const qsizetype semi = line.indexOf(';');
                    if (semi >= 0) line.truncate(semi);
                    bool ok = false;
                    const qint64 n = line.trimmed().toLongLong(&ok, 16);
                    if (!ok || n < 0)
                        return FailConnection(k, QStringLiteral("-1Bad chunked data"));
                    if (n == 0) {
                        c->chunkState = Connection::ChunkTrailer;
                    } else {
                        c->chunkLeft = n;
                        c->chunkState = Connection::ChunkData;
                    }
                }
                break;
            }
            case Connection::ChunkData: {
                const qint64 n = std::min(c->chunkLeft, size - i);
                plain.insert(plain.end(), data + i, data + i + n);
                c->chunkLeft -= n;
                i += n;
                if (c->chunkLeft == 0) c->chunkState = Connection::ChunkDataEnd;
                break;
            }
            case Connection::ChunkDone:
                break;
        }
    }
    const bool done = c->chunkState == Connection::ChunkDone;
    if (plain.empty() && !done) return true;
    if (!StoreBody(k, plain.data(), static_cast<qint64>(plain.size()))) return false;
    if (!done || !Alive(id, k, serial)) return Alive(id, k, serial);
    // The last chunk: the answer is complete.
    if (k == 1 && SizeUnknown()) {
        job.FileSize = job.Segments[1].CurPos;
        job.Segments[1].EndPos = job.FileSize;
        if (fd >= 0 && ::ftruncate(fd, job.FileSize) != 0) {
            RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile + QStringLiteral(": ") +
                   ErrnoText(errno));
            return false;
        }
    }
    CloseConnection(k);
    if (!Report(k, kClose, QStringLiteral("MeComplete"))) return false;
    CheckRunEnd(k, true);
    return false;
}

bool clsDownLoadJob::StoreBody(int k, const char* data, qint64 size) {
    const quint64 id = runId;
    Connection* c = conns[k];
    const quint64 serial = c->serial;
    // Bytes past the end of the answer are not the file's.
    if (c->bodyLeft >= 0) {
        if (size > 0 && c->bodyLeft == 0) return true;
        size = std::min(size, c->bodyLeft);
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
            if (!WriteAt(fd, data + (from - pos), to - from, from)) {
                RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile +
                       QStringLiteral(": ") + ErrnoText(errno));
                return false;
            }
            written.Add(from, to);
        }
        seg.CurPos = static_cast<int32_t>(std::min<qint64>(pos + size, kInt32Max));
        if (c->bodyLeft > 0) c->bodyLeft -= size;
    }
    if (!Report(k, kDataArrival, QString::number(size)) || !Alive(id, k, serial)) return false;
    if (!EndChecks(k)) return false;
    if (c->bodyLeft == 0 && !c->lingering) {
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
    const quint64 serial = conns[k]->serial;
    if (!SizeUnknown() && job.Segments[k].CurPos >= job.FileSize && !conns[k]->lingering) {
        // Everything up to the end of the file is here; a server that keeps the connection open
        // in spite of "Connection: close" is left after a grace period.
        conns[k]->lingering = true;
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

QString clsDownLoadJob::NextFreeName(const QString& start, bool checkFinal) const {
    // The counter is appended to the name already changed: a.swf, a0.swf, a01.swf ...
    QString name = start;
    const QString suffix = QStringLiteral("!qv");
    for (int counter = 0; counter <= 32767; ++counter) {
        bool taken = Exists(name);
        if (!taken && checkFinal && name.endsWith(suffix)) taken = Exists(name.chopped(3));
        if (!taken) return name;
        name = GetFileBase(name) + QString::number(counter) + GetFileExt(name);
    }
    return QString();
}

bool clsDownLoadJob::CreateFileForSave() {
    const quint64 id = runId;
    QString name = job.LocalFile;
    // A file named already (the job starts again from zero) keeps its name; "!qv" is added once.
    const bool named = keepName;
    keepName = false;
    if (!named && Settings.UseQV == 1 && !name.endsWith(QLatin1String("!qv")))
        name += QStringLiteral("!qv");
    if (!named && Settings.Fileexits != 0) {
        // Automatic renaming; the name without "!qv" must be free too, or the completed file
        // would replace an existing one.
        const QString free = NextFreeName(name, true);
        if (free.isEmpty()) {
            RunTo5(QStringLiteral("No free file name for ") + name);
            return false;
        }
        name = free;
        if (!Report(1, kAutorename, name)) return false;
    }
    job.LocalFile = name;
    const int f = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (f < 0) {
        RunTo5(QStringLiteral("Cannot create the file ") + name + QStringLiteral(": ") +
               ErrnoText(errno));
        return false;
    }
    // A new file of FileSize zero bytes: an existing file loses its old contents.
    int rc = ::ftruncate(f, 0);
    if (rc == 0 && job.FileSize > 0) {
        rc = ::fallocate(f, 0, 0, job.FileSize);
        if (rc != 0 && (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL))
            rc = ::ftruncate(f, job.FileSize);
    }
    if (rc != 0) {
        const int e = errno;
        ::close(f);
        RunTo5(QStringLiteral("Cannot create the file ") + name + QStringLiteral(": ") +
               ErrnoText(e));
        return false;
    }
    if (id != runId) {
        ::close(f);
        return false;
    }
    fd = f;
    job.FileOpen = VbTrue;
    job.FileNo = f;
    return true;
}

bool clsDownLoadJob::OpenExistingFile() {
    const int f = ::open(QFile::encodeName(job.LocalFile).constData(), O_RDWR | O_CLOEXEC);
    if (f < 0) {
        RunTo5(QStringLiteral("Cannot open the file ") + job.LocalFile + QStringLiteral(": ") +
               ErrnoText(errno));
        return false;
    }
    struct stat st;
    if (!SizeUnknown() && ::fstat(f, &st) == 0 && st.st_size < job.FileSize &&
        ::ftruncate(f, job.FileSize) != 0) {
        const int e = errno;
        ::close(f);
        RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile + QStringLiteral(": ") +
               ErrnoText(e));
        return false;
    }
    fd = f;
    job.FileNo = f;
    job.FileOpen = VbTrue;
    return true;
}
