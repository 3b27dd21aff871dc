#pragma once
// Helpers for the engine tests: a job added to Jobs, a watcher of one DownloadSlot, waiting on
// the event loop, and a scripted HTTP peer on 127.0.0.1 for servers that misbehave.

#include <sys/socket.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "common/TestEnv.h"
#include "engine/DownloadLogText.h"
#include "engine/DownloadSlot.h"
#include "store/JobTable.h"
#include "store/Settings.h"

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace EngineTest {

inline int AddTestJob(const QString& url, const QString& dir, int parts,
                      const QString& name = QStringLiteral("a.swf")) {
    JobRecord r;
    r.ClassKey = QStringLiteral("Downloaded");
    r.State = StateWaiting;
    r.IsNew = VbTrue;
    r.FileOpen = VbFalse;
    r.Parts = static_cast<int16_t>(parts);
    r.Url = url;
    r.UserAgent = QStringLiteral("Quorvanta 1.0");
    r.LocalFile = dir + QLatin1Char('/') + name;
    r.FileName = name;
    return AddJob(r);
}

// Waits on the event loop until the condition holds (generous: the machine may be loaded).
inline bool WaitFor(const std::function<bool()>& condition, int ms = 60000) {
    return TestEnv::WaitFor(condition, ms);
}

struct ReportEntry {
    int part;
    QString kind;
    QString detail;
};

// Watches one slot: every report, log line and end.
class SlotWatch {
public:
    explicit SlotWatch(DownloadSlot& slot) : slot(slot) {
        QObject::connect(&slot, &DownloadSlot::Report, &slot,
                         [this](int, int part, ReportKind type, const QString& detail) {
                             const QString kind = DownloadLogText::KindWord(type);
                             reports.append({part, kind, detail});
                             if (kind == QLatin1String("DataArrival"))
                                 arrived += detail.toLongLong();
                             if (onReport) onReport(part, kind, detail);
                         });
        QObject::connect(&slot, &DownloadSlot::LogLine, &slot,
                         [this](int, int, const QString& text, int) { log << text; });
        QObject::connect(&slot, &DownloadSlot::Completed, &slot, [this](int, int) { ++completed; });
        QObject::connect(&slot, &DownloadSlot::RunEnded, &slot,
                         [this](int, int, const QString& reason) {
                             ++ended;
                             endReason = reason;
                         });
    }
    bool WaitDone(int ms = 60000) {
        return WaitFor([this] { return completed > 0 || ended > 0; }, ms);
    }
    int Count(const QString& kind, int part = 0) const {
        int n = 0;
        for (const ReportEntry& e : reports)
            if (e.kind == kind && (part == 0 || e.part == part)) ++n;
        return n;
    }
    QStringList Kinds(int part) const {
        QStringList out;
        for (const ReportEntry& e : reports)
            if (e.part == part && (out.isEmpty() || e.kind != QLatin1String("DataArrival") ||
                                   out.last() != QLatin1String("DataArrival")))
                out << e.kind;
        return out;
    }
    void Clear() {
        reports.clear();
        log.clear();
        completed = ended = 0;
        arrived = 0;
        endReason.clear();
    }

    DownloadSlot& slot;
    QList<ReportEntry> reports;
    QStringList log;
    int completed = 0;
    int ended = 0;
    qint64 arrived = 0;
    QString endReason;
    std::function<void(int, const QString&, const QString&)> onReport;
};

// A scripted HTTP peer: reads each request head and hands it to the script.
class ScriptServer : public QObject {
public:
    struct Request {
        QByteArray text;
        qint64 rangeStart = -1;  // -1: no Range line
        int number = 0;          // 1 for the first request
    };
    using Script = std::function<void(QTcpSocket*, const Request&)>;

    explicit ScriptServer(Script script) : script(std::move(script)) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                s->setParent(this);
                auto buffer = std::make_shared<QByteArray>();
                auto handled = std::make_shared<bool>(false);
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s, buffer, handled] {
                    buffer->append(s->readAll());
                    if (*handled || !buffer->contains("\r\n\r\n")) return;
                    *handled = true;
                    Request r;
                    r.text = buffer->left(buffer->indexOf("\r\n\r\n") + 4);
                    const qsizetype p = r.text.indexOf("Range: bytes=");
                    if (p >= 0) r.rangeStart = r.text.mid(p + 13).split('-').value(0).toLongLong();
                    r.number = ++count;
                    requests.append(r);
                    this->script(s, r);
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    quint16 Port() const { return server.serverPort(); }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path);
    }

    // A response head with the given status line and header lines.
    static QByteArray Head(const QByteArray& status, const QList<QByteArray>& headers) {
        QByteArray h = status + "\r\n";
        for (const QByteArray& line : headers) h += line + "\r\n";
        return h + "\r\n";
    }
    // Answers like a server with ranges: 206 from the asked byte, or 200 with everything.
    static void ServeRanges(QTcpSocket* s, const Request& r, const QByteArray& data) {
        if (r.rangeStart > 0) {
            const QByteArray part = data.mid(r.rangeStart);
            s->write(Head(
                "HTTP/1.1 206 Partial Content",
                {"Content-Length: " + QByteArray::number(part.size()),
                 "Content-Range: bytes " + QByteArray::number(r.rangeStart) + "-" +
                     QByteArray::number(data.size() - 1) + "/" + QByteArray::number(data.size())}));
            s->write(part);
        } else {
            s->write(
                Head("HTTP/1.1 200 OK", {"Content-Length: " + QByteArray::number(data.size())}));
            s->write(data);
        }
        s->disconnectFromHost();
    }
    // Ends the connection with a reset (RST) instead of an orderly close, as a peer that crashed
    // or a middlebox that gave up does. Bytes still in the socket's own buffer are dropped.
    static void Reset(QTcpSocket* s) {
        const struct linger hard { 1, 0 };
        ::setsockopt(static_cast<int>(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                     sizeof hard);
        s->abort();
    }
    // Answers 200 with the whole file whatever was asked.
    static void ServeWhole(QTcpSocket* s, const QByteArray& data) {
        s->write(Head("HTTP/1.1 200 OK", {"Content-Length: " + QByteArray::number(data.size())}));
        s->write(data);
        s->disconnectFromHost();
    }

    QList<Request> requests;

private:
    QTcpServer server;
    Script script;
    int count = 0;
};

// One slot with its watcher, a fresh job table and default settings (one attempt per connection),
// and a folder for the files.
class SlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearJobs();
        Settings = SettingsRecord{};
        Settings.Retries = 0;
        dir = TestEnv::NewDir();
    }
    // The run's "Request" report texts.
    QStringList Requests() const {
        QStringList out;
        for (const ReportEntry& e : watch.reports)
            if (e.kind == "Request") out << e.detail;
        return out;
    }
    QString dir;
    DownloadSlot slot{1};
    SlotWatch watch{slot};
};

}  // namespace EngineTest
