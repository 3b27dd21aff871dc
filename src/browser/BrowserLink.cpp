#include "browser/BrowserLink.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

namespace {
// Cache entries kept for the preview and the save.
constexpr int kKeptEntries = 8;

PageElement ElementOf(const QJsonObject& o) {
    PageElement e;
    QString tag = o.value("tag").toString().toUpper();
    // The Flash emulator's own elements stand for the ones they replaced.
    if (tag == QLatin1String("RUFFLE-OBJECT")) tag = QStringLiteral("OBJECT");
    if (tag == QLatin1String("RUFFLE-EMBED")) tag = QStringLiteral("EMBED");
    e.Tag = tag;
    const QJsonObject params = o.value("params").toObject();
    auto param = [&params](const QString& name) {
        for (auto it = params.begin(); it != params.end(); ++it)
            if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.value().toString();
        return QString();
    };
    // An OBJECT names its movie in a "movie" attribute or <param>, or as its data.
    e.Movie = o.value("movie").toString();
    if (e.Movie.isEmpty()) e.Movie = param("movie");
    e.Src = o.value("src").toString();
    e.Data = o.value("data").toString();
    if (e.Src.isEmpty()) e.Src = e.Data;
    if (e.Src.isEmpty()) e.Src = param("src");
    e.OuterHtml = o.value("html").toString();
    return e;
}
}  // namespace

BrowserLink::BrowserLink(QObject* parent) : QObject(parent) {}

BrowserLink::~BrowserLink() {
    qDeleteAll(pending);
}

BrowserLink* BrowserLink::Instance() {
    static BrowserLink* link = new BrowserLink;
    return link;
}

void BrowserLink::Attach(QLocalSocket* s, const QByteArray& rest) {
    peers.append(s);
    buffers.insert(s, rest);
    connect(s, &QLocalSocket::readyRead, this, [this, s] { Read(s); });
    connect(s, &QLocalSocket::disconnected, this, [this, s] { Lost(s); });
    connect(s, &QObject::destroyed, this, [this, s] { Lost(s); });
    emit ConnectedChanged(true);
    if (!rest.isEmpty()) QTimer::singleShot(0, this, [this, s] { Read(s); });
}

void BrowserLink::Lost(QLocalSocket* s) {
    if (!peers.removeOne(s)) return;
    buffers.remove(s);
    disconnect(s, nullptr, this, nullptr);
    QList<int> ids;
    for (auto it = pending.begin(); it != pending.end(); ++it)
        if (it.value()->peer == s) ids << it.key();
    for (int id : ids) Finish(id, QJsonObject{{"error", "the browser extension disconnected"}});
    emit ConnectedChanged(Connected());
}

int BrowserLink::Ask(QLocalSocket* peer, QJsonObject question,
                     std::function<void(const QJsonObject&)> answer) {
    const int id = nextId++;
    if (!peer || !peers.contains(peer)) {
        QTimer::singleShot(0, this, [answer] {
            answer(QJsonObject{{"error", "Browser extension not connected"}});
        });
        return id;
    }
    question.insert("id", id);
    auto* p = new Pending;
    p->peer = peer;
    p->answer = std::move(answer);
    p->timer = new QTimer(this);
    p->timer->setSingleShot(true);
    connect(p->timer, &QTimer::timeout, this, [this, id] {
        Finish(id, QJsonObject{{"error", "the browser did not answer"}});
    });
    p->timer->start(timeoutMs);
    pending.insert(id, p);
    peer->write(QJsonDocument(question).toJson(QJsonDocument::Compact) + '\n');
    return id;
}

void BrowserLink::Read(QLocalSocket* peer) {
    if (!peers.contains(peer)) return;
    buffers[peer] += peer->readAll();
    for (;;) {
        QByteArray& buffer = buffers[peer];
        const qsizetype end = buffer.indexOf('\n');
        if (end < 0) {
            if (buffer.size() > kMaxLine * 2) {
                // No line end within any allowed size: the peer does not speak this protocol.
                Lost(peer);
                peer->abort();
            }
            return;
        }
        const QByteArray line = buffer.left(end);
        buffer.remove(0, end + 1);
        Line(line);
        if (!peers.contains(peer)) return;
    }
}

void BrowserLink::Line(const QByteArray& line) {
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    const int id = o.value("id").toInt();
    Pending* p = pending.value(id);
    if (!p) return;
    if (o.contains("piece")) {
        if (p->failed) return;
        const QByteArray bytes = QByteArray::fromBase64(o.value("piece").toString().toLatin1());
        if (bytes.size() > kMaxPiece || !p->file) {
            p->failed = true;
            return;
        }
        if (p->file->write(bytes) != bytes.size()) p->failed = true;
        p->timer->start(timeoutMs);  // pieces keep a long transfer alive
        return;
    }
    Finish(id, o);
}

BrowserLink::Target BrowserLink::TargetOf(int tab) const {
    return targets.value(tab);
}

void BrowserLink::Finish(int id, const QJsonObject& answer) {
    Pending* p = pending.take(id);
    if (!p) return;
    delete p->timer;
    if (p->failed) {
        p->answer(QJsonObject{{"error", "the cached copy could not be kept"}});
    } else {
        p->answer(answer);
    }
    delete p;
}

void BrowserLink::Windows(std::function<void(bool, const QList<BrowserWindow>&)> done) {
    if (peers.isEmpty()) {
        QTimer::singleShot(0, this, [done] { done(false, {}); });
        return;
    }
    // Every browser's list; done once each has answered or failed.
    struct Gather {
        int waiting = 0;
        bool ok = false;
        QList<BrowserWindow> windows;
    };
    auto gather = std::make_shared<Gather>();
    gather->waiting = static_cast<int>(peers.size());
    const QList<QLocalSocket*> asked = peers;
    for (QLocalSocket* peer : asked) {
        QPointer<QLocalSocket> from(peer);
        Ask(peer, QJsonObject{{"op", "windows"}}, [this, gather, from, done](const QJsonObject& a) {
            if (!a.contains("error") && a.value("windows").isArray()) {
                gather->ok = true;
                for (const QJsonValue& v : a.value("windows").toArray()) {
                    const QJsonObject w = v.toObject();
                    const int tab = nextTab++;
                    targets.insert(tab, Target{from, w.value("tab").toInt()});
                    // Old numbers are dropped once many were handed out.
                    targets.remove(tab - 4096);
                    gather->windows
                        << BrowserWindow{w.value("id").toInt(), tab, w.value("title").toString(),
                                         w.value("url").toString()};
                }
            }
            if (--gather->waiting == 0) done(gather->ok, gather->windows);
        });
    }
}

void BrowserLink::Scan(int tab,
                       std::function<void(bool, const QString&, const QList<PageElement>&)> done) {
    const Target target = TargetOf(tab);
    Ask(target.peer, QJsonObject{{"op", "scan"}, {"tab", target.tab}},
        [done](const QJsonObject& a) {
            QList<PageElement> elements;
            if (a.contains("error")) {
                done(false, QString(), elements);
                return;
            }
            for (const QJsonValue& v : a.value("elements").toArray())
                elements << ElementOf(v.toObject());
            done(true, a.value("url").toString(), elements);
        });
}

void BrowserLink::LookupCacheEntry(int tab, const QString& url,
                                   std::function<void(bool, const QString&)> done) {
    auto file = std::make_shared<QTemporaryFile>(QDir::tempPath() + "/quorvanta-cache-XXXXXX");
    if (!file->open()) {
        QTimer::singleShot(0, this, [done] { done(false, QString()); });
        return;
    }
    const Target target = TargetOf(tab);
    const int id = Ask(target.peer, QJsonObject{{"op", "cache"}, {"tab", target.tab}, {"url", url}},
                       [this, done, file](const QJsonObject& a) {
                           const bool found =
                               !a.contains("error") && a.value("found").toBool() && file->flush();
                           if (!found) {
                               done(false, QString());
                               return;
                           }
                           entries.append(file);
                           while (entries.size() > kKeptEntries) entries.removeFirst();
                           done(true, file->fileName());
                       });
    // The pieces go straight into the file.
    if (Pending* p = pending.value(id)) p->file = file;
}
