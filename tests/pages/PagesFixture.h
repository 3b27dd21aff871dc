#pragma once
// Shared pieces of the page-analysis tests: a clean job, search and log table per test, a
// scripted HTTP peer, and waiting for an analyser's run to end.

#include <gtest/gtest.h>

#include <algorithm>

#include <QByteArray>
#include <QList>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "pages/SearchRecord.h"
#include "pages/clsDownHtml.h"
#include "store/JobLog.h"
#include "store/JobTable.h"

// A server that takes one connection at a time, remembers the request and answers with the
// given packets, one every `gapMs` milliseconds, then closes (unless keepOpen).
class ScriptedPeer : public QObject {
public:
    explicit ScriptedPeer(QList<QByteArray> packets, int gapMs = 5, bool keepOpen = false)
        : packets(std::move(packets)), gapMs(gapMs), keepOpen(keepOpen) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                ++connections;
                s->setParent(this);
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    request += s->readAll();
                    if (!answering && request.contains("\r\n\r\n")) {
                        answering = true;
                        SendNext(s, 0);
                    }
                });
            }
        });
    }
    quint16 Port() const { return server.serverPort(); }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path);
    }
    QByteArray request;
    int connections = 0;

private:
    void SendNext(QTcpSocket* s, int k) {
        if (k >= packets.size()) {
            if (!keepOpen) s->disconnectFromHost();
            return;
        }
        s->write(packets[k]);
        s->flush();
        QTimer::singleShot(gapMs, this, [this, s, k] { SendNext(s, k + 1); });
    }
    QTcpServer server;
    QList<QByteArray> packets;
    int gapMs;
    bool keepOpen;
    bool answering = false;
};

// For the http block of a test nginx: pages and movies with the types real servers give them
// (the test server's default type is application/octet-stream, which is no page).
inline const QString kPageTypes = QStringLiteral(
    "types { text/html htm html; application/x-shockwave-flash swf; "
    "application/zip zip; }");

// Cuts bytes into pieces of the given size.
inline QList<QByteArray> Pieces(const QByteArray& bytes, int size) {
    QList<QByteArray> list;
    for (qsizetype i = 0; i < bytes.size(); i += size) list << bytes.mid(i, size);
    return list;
}

// A search record for a page; movies go to folder with the given category and part count.
inline SearchRecord PageSearch(const QString& url, int depth = 0, int32_t state = SearchWaiting) {
    SearchRecord s;
    s.SearchState = state;
    s.Depth = depth;
    s.PageUrl = url;
    s.StartUrl = url;
    s.JobTemplate.ClassKey = QStringLiteral("101k");
    s.JobTemplate.State = StatePaused;
    s.JobTemplate.LocalFile = QStringLiteral("/home/ann/movies/");
    s.JobTemplate.Parts = 3;
    s.JobTemplate.IsNew = VbTrue;
    return s;
}

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearJobs();
        ClearSearches();
        InitJobLog();
    }
    void TearDown() override {
        ClearJobs();
        ClearSearches();
    }
    // Index of the job with that URL, 0 when there is none.
    static int JobWithUrl(const QString& url) {
        for (int j = 1; j <= JobCount; ++j)
            if (Jobs[j].Url == url) return j;
        return 0;
    }
    static int SearchWithUrl(const QString& url) {
        for (int i = 1; i <= SearchCount; ++i)
            if (Searches[i].PageUrl == url) return i;
        return 0;
    }
};

// Runs one search on a lone analyser the way the main window does (Create, Start, Fenxi at
// DownComplete) and returns the kinds and details of its events.
struct AnalyserRun {
    std::vector<QString> kinds;
    std::vector<QString> details;
    std::vector<int> jobsAdded;
    std::vector<int> searchesAdded;
    bool completed = false;
    int Count(const QString& kind) const {
        int n = 0;
        for (const QString& k : kinds) n += k == kind;
        return n;
    }
    // The detail of the first event of this kind ("<none>" when there is none).
    QString Detail(const QString& kind) const {
        const auto it = std::find(kinds.begin(), kinds.end(), kind);
        return it == kinds.end() ? QStringLiteral("<none>") : details[size_t(it - kinds.begin())];
    }
};

inline AnalyserRun RunAnalyser(int searchIndex, int timeoutMs = 10000,
                               const std::function<void(clsDownHtml&)>& inspect = {}) {
    AnalyserRun run;
    clsDownHtml analyser;
    analyser.JobAddedHook = [&](int j) { run.jobsAdded.push_back(j); };
    analyser.SearchAddedHook = [&](int i) { run.searchesAdded.push_back(i); };
    QObject::connect(&analyser, &clsDownHtml::UpdataState, [&](QString kind, QString detail) {
        run.kinds.push_back(kind);
        run.details.push_back(detail);
    });
    QObject::connect(&analyser, &clsDownHtml::DownComplete, [&] { analyser.Fenxi(); });
    QSignalSpy done(&analyser, &clsDownHtml::FenXiComplete);
    if (!analyser.Create(searchIndex)) return run;
    analyser.Start();
    run.completed = done.wait(timeoutMs);
    if (inspect) inspect(analyser);
    return run;
}
