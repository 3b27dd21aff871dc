#pragma once
// The program's end of the browser extension's long-lived connection. The native messaging host
// connects to the program's socket with "QV-BROWSER\n" and then carries JSON objects both ways,
// one a line. The program asks; every question carries an "id" that its answer repeats:
//   {"id":1,"op":"windows"}            -> {"id":1,"windows":[{"id","tab","title","url"}, ...]}
//   {"id":2,"op":"scan","tab":7}       -> {"id":2,"url":"...","elements":[{"tag","movie","src",
//                                          "data","params":{...},"html"}, ...]}
//   {"id":3,"op":"cache","tab":7,"url":"..."}
//                                      -> {"id":3,"piece":"<base64, at most 512 KiB>"} ...
//                                         {"id":3,"done":true,"found":true|false}
// An answer with "error" fails the question. Every browser with the extension keeps a connection
// of its own; the window list gathers all of them, and a window's tab is asked through its own
// connection.

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "browser/MovieUrls.h"
#include "handoff_lib/HandoffProtocol.h"

class QTemporaryFile;
class QTimer;

struct BrowserWindow {
    int Id = 0;   // the browser's window id
    int Tab = 0;  // its active tab, as the link knows it (for Scan and LookupCacheEntry)
    QString Title;
    QString Url;
};

class BrowserLink : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxPiece = 512 * 1024;
    static constexpr qsizetype kMaxLine = qsizetype(HandoffProtocol::kMaxLinkLine);

    explicit BrowserLink(QObject* parent = nullptr);
    ~BrowserLink() override;
    // The one link of the program; the socket server hands the host's connection to it.
    static BrowserLink* Instance();

    // Takes over a connection whose first line ("QV-BROWSER") was read; rest is what followed.
    void Attach(QLocalSocket* socket, const QByteArray& rest);
    bool Connected() const { return !peers.isEmpty(); }

    void Windows(std::function<void(bool ok, const QList<BrowserWindow>& windows)> done);
    void Scan(
        int tab,
        std::function<void(bool ok, const QString& url, const QList<PageElement>& elements)> done);
    // LookupCacheEntry: the browser's cached copy of url as seen from the page in tab, written to
    // a private temporary file (the entry's local file, kept while the link lives).
    void LookupCacheEntry(int tab, const QString& url,
                          std::function<void(bool found, const QString& localFile)> done);

    // How long a question waits for its answer.
    void SetTimeout(int ms) { timeoutMs = ms; }

signals:
    void ConnectedChanged(bool connected);

private:
    struct Target {
        QPointer<QLocalSocket> peer;
        int tab = 0;  // the browser's own tab id
    };
    struct Pending {
        QLocalSocket* peer = nullptr;
        std::function<void(const QJsonObject&)> answer;  // the final answer, or {"error"}
        std::shared_ptr<QTemporaryFile> file;            // a cache lookup's bytes
        bool failed = false;
        QTimer* timer = nullptr;
    };

    int Ask(QLocalSocket* peer, QJsonObject question,
            std::function<void(const QJsonObject&)> answer);
    void Read(QLocalSocket* peer);
    void Line(const QByteArray& line);
    void Finish(int id, const QJsonObject& answer);
    void Lost(QLocalSocket* peer);
    // The tab the link's number stands for, or one without a peer.
    Target TargetOf(int tab) const;

    QList<QLocalSocket*> peers;
    QHash<QLocalSocket*, QByteArray> buffers;
    QHash<int, Target> targets;
    int nextTab = 1;
    int nextId = 1;
    int timeoutMs = 15000;
    QHash<int, Pending*> pending;
    // Cache entries handed out; the oldest are removed when more than a few are kept.
    QList<std::shared_ptr<QTemporaryFile>> entries;
};
