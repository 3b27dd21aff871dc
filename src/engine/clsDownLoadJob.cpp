#include "engine/clsDownLoadJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

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
constexpr qint64 kSocketBuffer = 1024 * 1024;
constexpr int32_t kInt32Max = 2147483647;
constexpr int kLingerMs = 3000;

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

// The request target as bytes: printable ASCII as it stands, everything else percent-encoded.
QByteArray EncodeTarget(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if (b > 0x20 && b < 0x7f) {
            out.append(ch);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 15]);
        }
    }
    return out;
}

// A header text with its line breaks and other control characters taken out.
QByteArray CleanHeaderText(const QString& text) {
    QByteArray out = text.toUtf8();
    for (char& ch : out)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = ' ';
    return out;
}

qsizetype FindHeaderLine(const QString& head, const QString& label) {
    // A header line starts after a line break; the status line is never a header line.
    const qsizetype p = head.indexOf(QStringLiteral("\r\n") + label, 0, Qt::CaseInsensitive);
    return p < 0 ? -1 : p + 2;
}

}  // namespace

// One connection of the job: the socket and what has been read of its response so far.
struct clsDownLoadJob::Connection {
    QTcpSocket* sock = nullptr;
    quint64 serial = 0;
    bool waitHead = true;    // the next bytes are the start of the response
    QByteArray head;         // head bytes collected until the blank line
    int32_t requestPos = 0;  // CurPos when the request was sent
    bool firstOfRun = true;  // connection 1: the first response of this run
    bool lingering = false;  // every byte up to the end of the file is in; waiting for the close
    // Chunked transfer coding.
    bool chunked = false;
    enum { ChunkSize, ChunkData, ChunkDataEnd, ChunkTrailer, ChunkDone } chunkState = ChunkSize;
    qint64 chunkLeft = 0;
    QByteArray chunkLine;
};

clsDownLoadJob::clsDownLoadJob(QObject* parent) : QObject(parent) {}

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
    const QString s = url.trimmed();
    if (!s.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) return false;
    const qsizetype p = s.indexOf(QLatin1Char('/'), 7);
    if (p < 0) return false;
    const QString hp = s.left(p);
    const qsizetype q = hp.indexOf(QLatin1Char(':'), 7);
    QString host;
    uint16_t port = 80;
    if (q >= 0) {
        const QString portText = hp.mid(q + 1);
        if (portText.isEmpty()) return false;
        for (const QChar ch : portText)
            if (!ch.isDigit() || ch.unicode() > 127) return false;
        const double value = NumberRule::Val(portText);
        if (value < 1 || value > 65535) return false;
        port = static_cast<uint16_t>(value);
        host = hp.mid(7, q - 7);
    } else {
        host = hp.mid(7);
    }
    if (host.isEmpty()) return false;
    for (const QChar ch : host)
        if (ch.unicode() <= 0x20 || ch.unicode() == 0x7f) return false;
    QString path = s.mid(p);
    if (record.UseProxy != 0) path = QStringLiteral("http://") + host + path;
    record.Host = host;
    record.Port = port;
    record.Path = path;
    record.FileName = s.mid(s.lastIndexOf(QLatin1Char('/')) + 1);
    record.Spare = record.FileName;
    return true;
}

QByteArray clsDownLoadJob::RequestText(const JobRecord& record, int part) {
    QByteArray r;
    r.reserve(256 + record.Path.size());
    r += "GET " + EncodeTarget(record.Path) + " HTTP/1.1\r\n";
    r += "Accept: */*\r\n";
    if (SendAcceptEncodingLine) r += "Accept -Encoding: gzip , deflate\r\n";
    r += "User-Agent: " + CleanHeaderText(record.UserAgent) + "\r\n";
    r += "Host: " + CleanHeaderText(record.Host) + "\r\n";
    if (part >= 1 && part <= kMaxParts && record.Segments[part].CurPos > 0)
        r += "Range: bytes=" + QByteArray::number(record.Segments[part].CurPos) + "-\r\n";
    r += "Connection: close\r\n\r\n";
    return r;
}

QString clsDownLoadJob::GetResponseHead(const QByteArray& bytes) {
    const qsizetype p = bytes.indexOf("\r\n\r\n");
    if (p < 0) return QString();
    return QString::fromLatin1(bytes.constData(), p + 4);
}

QString clsDownLoadJob::GetStatusClass(const QString& head) {
    if (head.contains(QLatin1String("HTTP/1.1 200 OK")) ||
        head.contains(QLatin1String("HTTP/1.0 200 OK")))
        return QStringLiteral("200");
    if (head.contains(QLatin1String("HTTP/1.1 206")) ||
        head.contains(QLatin1String("HTTP/1.0 206 ")))
        return QStringLiteral("206");
    if (head.contains(QLatin1String("HTTP/1.1 404")) ||
        head.contains(QLatin1String("HTTP/1.0 404 ")))
        return QStringLiteral("404");
    if (head.contains(QLatin1String("HTTP/1.1 30")) || head.contains(QLatin1String("HTTP/1.0 30 ")))
        return QStringLiteral("30");
    return QString();
}

QString clsDownLoadJob::GetContentLength(const QString& head) {
    const qsizetype p = FindHeaderLine(head, QStringLiteral("Content-Length:"));
    if (p < 0) return QStringLiteral("0");
    const qsizetype start = p + 15;
    qsizetype q = head.indexOf(QLatin1String("\r\n"), start);
    if (q < 0) q = head.size();
    QString value = head.mid(start, q - start);
    // One blank after the colon belongs to the label.
    if (value.startsWith(QLatin1Char(' '))) value.remove(0, 1);
    return value;
}

QString clsDownLoadJob::GetLocation(const QString& head) {
    const qsizetype p = FindHeaderLine(head, QStringLiteral("Location:"));
    if (p < 0) return QString();
    const qsizetype start = p + 9;
    qsizetype q = head.indexOf(QLatin1String("\r\n"), start);
    if (q < 0) q = head.size();
    return head.mid(start, q - start).trimmed();
}

QString clsDownLoadJob::HeaderValue(const QString& head, const QString& name) {
    const QString label = name + QLatin1Char(':');
    const qsizetype p = FindHeaderLine(head, label);
    if (p < 0) return QString();
    const qsizetype start = p + label.size();
    qsizetype q = head.indexOf(QLatin1String("\r\n"), start);
    if (q < 0) q = head.size();
    return head.mid(start, q - start).trimmed();
}

int clsDownLoadJob::StatusCode(const QString& head) {
    if (!head.startsWith(QLatin1String("HTTP/"))) return 0;
    const qsizetype blank = head.indexOf(QLatin1Char(' '));
    if (blank < 0 || blank + 4 > head.size()) return 0;
    int code = 0;
    for (int i = 1; i <= 3; ++i) {
        const QChar ch = head.at(blank + i);
        if (!ch.isDigit()) return 0;
        code = code * 10 + ch.digitValue();
    }
    return code;
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
    if (job.FileOpen != 0) {
        // Stored while it ran (the program ended during a run): the file is not open now; a
        // file that exists already holds data, so the job goes on like a paused one.
        job.FileOpen = VbFalse;
        if (!job.LocalFile.isEmpty() && Exists(job.LocalFile)) job.IsNew = VbFalse;
    }
    Jobs[jobIndex] = job;
    return true;
}

void clsDownLoadJob::ReadDownState() {
    if (JobIndex >= 1 && JobIndex < static_cast<int>(Jobs.size())) job = Jobs[JobIndex];
}

void clsDownLoadJob::SaveDownState() {
    if (JobIndex >= 1 && JobIndex < static_cast<int>(Jobs.size())) Jobs[JobIndex] = job;
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
    lastError.clear();
    for (int k = 1; k <= kMaxParts; ++k) {
        respHead[k].clear();
        respStatus[k].clear();
    }
    if (job.IsNew == 0 && job.FileSize > 0 && !SizeUnknown()) {
        CalcHaveDown();
        if (job.Received == job.FileSize) {
            // Every byte is on disk already (paused between the last byte and the close):
            // nothing to fetch; the owner finishes the job at this report.
            QTimer::singleShot(0, this, [this, id] {
                if (id == runId) Report(1, kClose, QStringLiteral("MeComplete"));
            });
            emit ShowStateIcon(job.State);
            return;
        }
    }
    if (!OpenConnection(1, true)) return;
    emit ShowStateIcon(job.State);
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
    auto* c = new Connection;
    c->serial = ++nextSerial;
    c->sock = new QTcpSocket(this);
    c->sock->setReadBufferSize(kSocketBuffer);
    conns[k] = c;
    const quint64 serial = c->serial;
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
    return true;
}

void clsDownLoadJob::ConnectSocket(int k) {
    if (conns[k] == nullptr) return;
    const QString host = job.UseProxy != 0 ? job.ProxyHost : job.Host;
    const uint16_t port = job.UseProxy != 0 ? job.ProxyPort : job.Port;
    conns[k]->sock->connectToHost(host, port);
}

void clsDownLoadJob::CloseConnection(int k) {
    Connection* c = conns[k];
    if (c == nullptr) return;
    conns[k] = nullptr;
    c->sock->disconnect(this);
    c->sock->abort();
    c->sock->deleteLater();
    delete c;
}

void clsDownLoadJob::CloseAllConnections() {
    for (int k = 1; k <= kMaxParts; ++k) CloseConnection(k);
}

void clsDownLoadJob::OnConnected(int k, quint64 serial) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    QTcpSocket* sock = conns[k]->sock;
    QString detail = sock->peerName() + QLatin1Char(':') + QString::number(sock->peerPort());
    if (k == 1)
        detail += QStringLiteral("(IP:") + sock->peerAddress().toString() + QLatin1Char(')');
    if (!Report(k, kConnected, detail) || !Alive(id, k, serial)) return;
    Connection* c = conns[k];
    c->waitHead = true;
    c->head.clear();
    c->requestPos = job.Segments[k].CurPos;
    const QByteArray request = RequestText(job, k);
    c->sock->write(request);
    Report(k, kRequest, QString::fromUtf8(request));
}

void clsDownLoadJob::OnReadyRead(int k, quint64 serial) {
    const quint64 id = runId;
    if (readBuffer.size() < kReadChunk) readBuffer.resize(kReadChunk);
    while (Alive(id, k, serial)) {
        const qint64 n = conns[k]->sock->read(readBuffer.data(), kReadChunk);
        if (n <= 0) break;  // a notification without bytes changes nothing
        if (!Process(k, readBuffer.constData(), n)) return;
    }
}

void clsDownLoadJob::OnDisconnected(int k, quint64 serial) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    OnReadyRead(k, serial);  // bytes that came with the close
    if (!Alive(id, k, serial)) return;
    Connection* c = conns[k];
    if (k == 1 && SizeUnknown() && !c->waitHead && !c->chunked && fd >= 0) {
        // Without a length the close ends the data: the size is known now.
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

void clsDownLoadJob::OnError(int k, quint64 serial, int socketError) {
    const quint64 id = runId;
    if (!Alive(id, k, serial)) return;
    // The peer's close comes as its own notification.
    if (socketError == QAbstractSocket::RemoteHostClosedError) return;
    const QString text = conns[k]->sock->errorString();
    FailConnection(k, QString::number(socketError) + text);
}

bool clsDownLoadJob::FailConnection(int k, const QString& detail) {
    // The range keeps its position; the connection is not opened again in this run.
    lastError = detail;
    while (!lastError.isEmpty() && (lastError.at(0).isDigit() || lastError.at(0) == '-'))
        lastError.remove(0, 1);
    CloseConnection(k);
    if (!Report(k, kError, detail)) return false;
    CheckRunEnd(k);
    return false;
}

void clsDownLoadJob::CheckRunEnd(int k, bool afterClose) {
    if (ActiveConnections() != 0 || !InUse || job.State != StateRunning) return;
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
    if (k == 1) return HeadOn1(head, body);
    if (k == 2) return HeadOn2(head, body);
    return HeadOnK(k, head, body);
}

// A 206 answer fits connection k when its Content-Range starts at the requested byte and names
// the file's size (when it names them at all).
bool clsDownLoadJob::PartialFits(int k, const QString& head) const {
    const QString range = HeaderValue(head, QStringLiteral("Content-Range"));
    if (range.isEmpty()) return true;
    const qsizetype sp = range.indexOf(QLatin1Char(' '));
    const qsizetype dash = range.indexOf(QLatin1Char('-'));
    const qsizetype slash = range.indexOf(QLatin1Char('/'));
    if (sp < 0 || dash < sp || slash < dash) return false;
    bool ok = false;
    const qint64 first = range.mid(sp + 1, dash - sp - 1).trimmed().toLongLong(&ok);
    if (!ok || first != conns[k]->requestPos) return false;
    const QString total = range.mid(slash + 1).trimmed();
    if (total != QLatin1String("*") && !SizeUnknown()) {
        const qint64 t = total.toLongLong(&ok);
        if (ok && t != job.FileSize) return false;
    }
    return true;
}

bool clsDownLoadJob::LearnSize(const QString& head, int32_t requestedPos) {
    // The size of a job whose length was not known: from Content-Range, else Content-Length.
    qint64 size = -1;
    const QString range = HeaderValue(head, QStringLiteral("Content-Range"));
    const qsizetype slash = range.indexOf(QLatin1Char('/'));
    bool ok = false;
    if (StatusCode(head) == 206 && slash >= 0) {
        const qint64 t = range.mid(slash + 1).trimmed().toLongLong(&ok);
        if (ok) size = t;
    }
    if (size < 0 && !conns[1]->chunked &&
        FindHeaderLine(head, QStringLiteral("Content-Length:")) >= 0) {
        const double len = NumberRule::Val(GetContentLength(head));
        if (len >= 0)
            size = static_cast<qint64>(len) + (StatusCode(head) == 206 ? requestedPos : 0);
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
    const quint64 id = runId;
    Connection* c = conns[1];
    const quint64 serial = c->serial;
    const bool firstOfRun = c->firstOfRun;
    c->firstOfRun = false;
    const bool resuming = job.IsNew == 0;
    if (resuming && job.FileOpen == 0 && !OpenExistingFile()) return false;
    respHead[1] = head;
    respStatus[1] = GetStatusClass(head);
    if (!Report(1, kResponse, head) || !Alive(id, 1, serial)) return false;
    const QString status = respStatus[1];
    const int code = StatusCode(head);

    if (status == QLatin1String("30")) {
        CloseConnection(1);
        if (!firstOfRun)
            return FailConnection(1, QStringLiteral("-1Redirect in the middle of a run"));
        const QString location = GetLocation(head);
        if (location.isEmpty()) {
            RunTo5(QStringLiteral("Redirect without a Location: ") + job.Url);
            return false;
        }
        QString target = location;
        if (!location.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
            const QUrl resolved = QUrl(job.Url).resolved(QUrl(location));
            target = QString::fromUtf8(resolved.toEncoded());
        }
        // A redirect met while resuming: the next answer starts with its head again.
        if (job.FileOpen != 0) CloseFile();
        if (++redirects > kMaxRedirects) {
            RunTo5(QStringLiteral("Too many redirects (more than %1): ").arg(kMaxRedirects) +
                   target);
            return false;
        }
        job.Url = target;
        if (!Report(1, kRedirect, job.Url)) return false;
        SaveDownState();
        const int saved = redirects;
        if (!Create(JobIndex)) {
            RunTo5(QStringLiteral("Invalid redirect target: ") + job.Url);
            return false;
        }
        ReadDownState();
        redirects = saved;
        StartRun();
        return false;
    }
    if (status == QLatin1String("404")) {
        RunTo5(status);
        return false;
    }

    // The answer fits the range asked for: a 206 from the requested byte, or the whole file.
    const bool ranged = c->requestPos > 0;
    if (ranged && code == 200) {
        // The range was ignored: range 1 starts again at the beginning of the file.
        job.Segments[1].CurPos = 0;
        c->requestPos = 0;
    } else if (ranged && code == 206) {
        if (!PartialFits(1, head))
            return FailConnection(1, QStringLiteral("-1Content-Range does not match the request"));
    } else if (ranged) {
        return FailConnection(1, QStringLiteral("-1Unexpected answer to a range request: ") +
                                     head.section(QLatin1String("\r\n"), 0, 0));
    }
    // A job whose size was not known learns it from a later answer.
    if (resuming && SizeUnknown() && !LearnSize(head, c->requestPos)) return false;

    if (!resuming && firstOfRun) {
        // First answer of a new job: the size, the file, the first bytes.
        // A chunked body's length comes with its chunks; a length without digits says nothing.
        const QString lengthText = GetContentLength(head).trimmed();
        const bool hasLength = !c->chunked &&
                               FindHeaderLine(head, QStringLiteral("Content-Length:")) >= 0 &&
                               !lengthText.isEmpty() && lengthText.at(0).isDigit();
        double size = hasLength ? NumberRule::Val(lengthText) : -1;
        if (code == 206) {
            const QString range = HeaderValue(head, QStringLiteral("Content-Range"));
            bool ok = false;
            const double total = range.mid(range.indexOf(QLatin1Char('/')) + 1).toDouble(&ok);
            if (ok) size = total;
        }
        if (size > kInt32Max) {
            RunTo5(QStringLiteral("File too large: Content-Length %1 is more than 2147483647 bytes")
                       .arg(GetContentLength(head).trimmed()));
            return false;
        }
        if (size < 0) {
            job.FileSize = 0;
            job.Segments[1].EndPos = kUnknownEnd;
        } else {
            job.FileSize = NumberRule::ToInt32(std::floor(size));
            job.Segments[1].EndPos = job.FileSize;
        }
        job.Segments[1].StartPos = 0;
        job.Segments[1].CurPos = 0;
        c->requestPos = 0;
        if (!CreateFileForSave()) return false;
        if (!Alive(id, 1, serial)) return false;
        if (!FeedBody(1, body.constData(), body.size())) return false;
        if (!Alive(id, 1, serial)) return false;
        if (job.FileSize > kSplitThreshold && job.Parts >= 2 && !socks2Opened) {
            CreateSocks2();
            if (id != runId) return false;
            ConnectSocket(2);
        }
        return Alive(id, 1, serial);
    }

    // Resuming (or connection 1 opened again in this run to cover bytes).
    if (!FeedBody(1, body.constData(), body.size())) return false;
    if (!Alive(id, 1, serial)) return false;
    if (firstOfRun && job.Parts >= 2 && !SizeUnknown() && !socks2Opened) {
        CreateSocks2();
        if (id != runId) return false;
        ConnectSocket(2);
    }
    return Alive(id, 1, serial);
}

bool clsDownLoadJob::HeadOn2(const QString& head, const QByteArray& body) {
    const quint64 id = runId;
    Connection* c = conns[2];
    const quint64 serial = c->serial;
    respHead[2] = head;
    respStatus[2] = GetStatusClass(head);
    if (!Report(2, kResponse, head) || !Alive(id, 2, serial)) return false;
    const bool fits = c->requestPos > 0 && respStatus[2] == QLatin1String("206") &&
                      StatusCode(head) == 206 && PartialFits(2, head);
    if (!fits) {
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

bool clsDownLoadJob::HeadOnK(int k, const QString& head, const QByteArray& body) {
    const quint64 id = runId;
    const quint64 serial = conns[k]->serial;
    respHead[k] = head;
    respStatus[k] = GetStatusClass(head);
    if (!Report(k, kResponse, head) || !Alive(id, k, serial)) return false;
    const bool fits = conns[k]->requestPos > 0 && respStatus[k] == QLatin1String("206") &&
                      StatusCode(head) == 206 && PartialFits(k, head);
    if (!fits) {
        // Nothing of this answer belongs at the range's position: give the connection up and let
        // connection 1 cover the range.
        const QString detail = QStringLiteral("-1Range request answered without the range: ") +
                               head.section(QLatin1String("\r\n"), 0, 0);
        lastError = detail.mid(2);
        CloseConnection(k);
        CoverByConnection1(job.Segments[k].EndPos);
        if (id != runId || !Report(k, kError, detail)) return false;
        CheckRunEnd(k);
        return false;
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
    const quint64 serial = conns[k]->serial;
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
        if (writable > 0 && !WriteAt(fd, data, writable, pos)) {
            RunTo5(QStringLiteral("Cannot write the file ") + job.LocalFile + QStringLiteral(": ") +
                   ErrnoText(errno));
            return false;
        }
        seg.CurPos = static_cast<int32_t>(std::min<qint64>(pos + size, kInt32Max));
    }
    if (!Report(k, kDataArrival, QString::number(size)) || !Alive(id, k, serial)) return false;
    return EndChecks(k);
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
    if (Settings.UseQV == 1) name += QStringLiteral("!qv");
    if (Settings.Fileexits != 0) {
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
