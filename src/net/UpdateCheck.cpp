#include "net/UpdateCheck.h"

#include <QAbstractSocket>

#include "engine/ChunkedDecoder.h"
#include "engine/HttpConnection.h"
#include "engine/HttpHead.h"
#include "engine/HttpRequest.h"
#include "store/Globals.h"
#include "store/NumberRule.h"

namespace {

// The maker's update file is a few lines; an answer beyond this is not one.
constexpr qsizetype kMaxAnswer = 1024 * 1024;

// A chunked body as its data; what cannot be read as chunks is kept as it came. The two bytes
// after a chunk's data are passed over without a look.
QByteArray Dechunk(const QByteArray& body) {
    bool failed = false;
    const QByteArray data =
        ChunkedDecoder::DecodeWhole(body, {.CheckDataEnd = false}, nullptr, &failed);
    return failed ? body : data;
}

}  // namespace

UpdateCheck::UpdateCheck(QObject* parent) : QObject(parent) {
    answerTimer.setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, &UpdateCheck::OnAnswerTimeout);
}

UpdateCheck::~UpdateCheck() {
    DropConnection();
}

QByteArray UpdateCheck::Request(const QString& host, quint16 port) {
    HttpRequest request;
    request.Target = QStringLiteral("/newquorvanta.txt");
    request.UserAgent = QStringLiteral("Quorvanta1.0");
    request.Host = port == 80 ? host : host + u':' + QString::number(port);
    return request.Bytes();
}

UpdateCheck::Verdict UpdateCheck::Parse(const QByteArray& answer, const QString& programVersion) {
    Verdict v;
    v.Status = QStringLiteral("Check Complete.");
    const qsizetype end = HttpHead::End(answer);
    if (end < 0) return v;
    QByteArray rest = answer.mid(end);
    if (HttpHead::IsChunked(QString::fromLatin1(answer.left(end - 4)),
                            HttpHead::ChunkedRule::ExactLine))
        rest = Dechunk(rest);
    // The body starts just after the first character of the blank-line marker.
    const QString body = QString::fromUtf8(QByteArray("\n\r\n") + rest);
    const qsizetype q = body.indexOf(QLatin1String("Newest Version:"), 0, Qt::CaseInsensitive);
    if (q < 0) {
        v.Status = QStringLiteral("Can not find the Newest ini file!");
        return v;
    }
    // Held as a single-precision value, then read back from its decimal text.
    const float newest = float(NumberRule::Val(body.mid(q + 15, 10)));
    const double newestBack = NumberRule::Val(QString::number(newest, 'g', 7));
    if (NumberRule::Val(programVersion) >= newestBack) {
        v.Status += QStringLiteral("\r\nNO find new version!");
        return v;
    }
    const qsizetype r = body.indexOf(QLatin1String("DownSite:"), 0, Qt::CaseInsensitive);
    v.DownSite = r < 0 ? QString() : body.mid(r + 9);
    v.Newer = true;
    v.Status = QStringLiteral("Find New Version!\r\nDo you want to download Now?");
    return v;
}

void UpdateCheck::Start(const QString& serverHost, quint16 serverPort) {
    host = serverHost;
    port = serverPort;
    response.clear();
    running = true;
    DropConnection();
    conn = new HttpConnection(this);
    connect(conn, &HttpConnection::Ready, this, [this] {
        SetStatus(QStringLiteral("Connect Success!"));
        response.clear();
        conn->Send(Request(host, port));
    });
    // The whole answer is kept as it came, head and all, and read at the close.
    connect(conn, &HttpConnection::HeadArrived, this,
            [this](const QByteArray& head, const QByteArray& rest) {
                response = head + rest;
                conn->StartBody(nullptr, 0);
            });
    connect(conn, &HttpConnection::Data, this, [this](const char* data, qint64 size) {
        if (response.size() + size > kMaxAnswer)
            return Fail(QString::number(int(QAbstractSocket::DatagramTooLargeError)) +
                        QStringLiteral("The answer is too long"));
        response.append(data, size);
    });
    connect(conn, &HttpConnection::PeerClosed, this, &UpdateCheck::OnClosed);
    connect(conn, &HttpConnection::Failed, this,
            [this](const Failure& failure) { Fail(failure.Described()); });
    conn->Open(host, port, false, false, QString(), 0);
    SetStatus(QStringLiteral("Connect to the internet..."));
    answerTimer.start(answerMs);
}

void UpdateCheck::SetStatus(const QString& text) {
    status = text;
    emit StatusChanged(text);
}

void UpdateCheck::OnAnswerTimeout() {
    // The limit counts from the request or the last piece of the answer.
    const qint64 idle = conn == nullptr ? answerMs : conn->IdleMs();
    if (conn != nullptr && conn->CurrentState() != HttpConnection::State::Connecting &&
        idle < answerMs) {
        answerTimer.start(int(answerMs - idle));
        return;
    }
    Fail(QString::number(int(QAbstractSocket::SocketTimeoutError)) +
         QStringLiteral("Connection timed out"));
}

void UpdateCheck::DropConnection() {
    if (conn == nullptr) return;
    HttpConnection* connection = conn;
    conn = nullptr;
    connection->disconnect(this);
    connection->Abort();
    connection->deleteLater();
}

void UpdateCheck::OnClosed() {
    if (!running) return;
    running = false;
    answerTimer.stop();
    DropConnection();
    SetStatus(QStringLiteral("Check Complete."));
    const Verdict v = Parse(response, AppVersion);
    if (v.Status != status) SetStatus(v.Status);
    if (v.Newer) emit NewVersion(v.DownSite);
}

void UpdateCheck::Fail(const QString& detail) {
    if (!running) return;
    running = false;
    answerTimer.stop();
    DropConnection();
    SetStatus(QStringLiteral("Error:") + detail);
}
