#include "net/UpdateCheck.h"

#include "store/Globals.h"
#include "store/NumberRule.h"

namespace {

// The maker's update file is a few lines; an answer beyond this is not one.
constexpr qsizetype kMaxAnswer = 1024 * 1024;

// A chunked body ("size CRLF data CRLF ... 0 CRLF CRLF") as its data; what cannot be read as
// chunks is kept as it came.
QByteArray Dechunk(const QByteArray& body) {
    QByteArray out;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype eol = body.indexOf("\r\n", pos);
        if (eol < 0) return out;
        bool ok = false;
        const QByteArray sizeText = body.mid(pos, eol - pos).split(';').value(0).trimmed();
        const qlonglong size = sizeText.toLongLong(&ok, 16);
        if (!ok || size < 0) return body;
        if (size == 0) return out;
        pos = eol + 2;
        if (size > body.size() - pos) return out + body.mid(pos);
        out += body.mid(pos, size);
        pos += size + 2;
    }
}

}  // namespace

UpdateCheck::UpdateCheck(QObject* parent) : QObject(parent), socket(this) {
    answerTimer.setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, [this] {
        Fail(int(QAbstractSocket::SocketTimeoutError), QStringLiteral("Connection timed out"));
    });
    connect(&socket, &QTcpSocket::connected, this, [this] {
        SetStatus(QStringLiteral("Connect Success!"));
        socket.write(Request(host, port));
        response.clear();
    });
    connect(&socket, &QTcpSocket::readyRead, this, [this] {
        const QByteArray piece = socket.readAll();
        if (response.size() + piece.size() > kMaxAnswer) {
            return Fail(int(QAbstractSocket::DatagramTooLargeError),
                        QStringLiteral("The answer is too long"));
        }
        response += piece;
        answerTimer.start(answerMs);  // the limit counts from the last piece
    });
    connect(&socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError) return OnClosed();
        Fail(int(e), socket.errorString());
    });
    connect(&socket, &QTcpSocket::disconnected, this, [this] { OnClosed(); });
}

QByteArray UpdateCheck::Request(const QString& host, quint16 port) {
    const QString hostField = port == 80 ? host : host + u':' + QString::number(port);
    return "GET /newquorvanta.txt HTTP/1.1\r\n"
           "Accept: */*\r\n"
           "User-Agent: Quorvanta1.0\r\n"
           "Host: " +
           hostField.toUtf8() +
           "\r\n"
           "Connection: close\r\n"
           "\r\n";
}

UpdateCheck::Verdict UpdateCheck::Parse(const QByteArray& answer, const QString& programVersion) {
    Verdict v;
    v.Status = QStringLiteral("Check Complete.");
    const qsizetype marker = answer.indexOf("\r\n\r\n");
    if (marker < 0) return v;
    QByteArray head = answer.left(marker);
    QByteArray rest = answer.mid(marker + 4);
    if (head.toLower().contains("\ntransfer-encoding: chunked")) rest = Dechunk(rest);
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
    socket.abort();
    socket.connectToHost(host, port);
    SetStatus(QStringLiteral("Connect to the internet..."));
    answerTimer.start(answerMs);
}

void UpdateCheck::SetStatus(const QString& text) {
    status = text;
    emit StatusChanged(text);
}

void UpdateCheck::OnClosed() {
    if (!running) return;
    running = false;
    answerTimer.stop();
    // Whatever is still buffered belongs to the answer.
    const QByteArray rest = socket.readAll();
    if (response.size() + rest.size() <= kMaxAnswer) response += rest;
    socket.abort();
    SetStatus(QStringLiteral("Check Complete."));
    const Verdict v = Parse(response, AppVersion);
    if (v.Status != status) SetStatus(v.Status);
    if (v.Newer) emit NewVersion(v.DownSite);
}

void UpdateCheck::Fail(int number, const QString& description) {
    if (!running) return;
    running = false;
    answerTimer.stop();
    socket.abort();
    SetStatus(QStringLiteral("Error:") + QString::number(number) + description);
}
