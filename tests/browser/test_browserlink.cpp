// The browser link over the program's real socket, with the test as the extension's host: the
// window list, a scan, cached copies streamed in pieces (a piece above 512 KiB refused), the
// finder's window list where the pointer cannot be looked under (offscreen here, as on Wayland)
// ending in "Save Flash", and a host that goes away failing the question it left open.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLocalSocket>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTreeWidget>

#include "browser/BrowserFinder.h"
#include "browser/BrowserLink.h"
#include "browser/FoundMovies.h"
#include "browser/HandoffServer.h"
#include "browser/SocketPlace.h"
#include "common/TestEnv.h"
#include "newjob/frmNewDown1.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/FloatingTools.h"
#include "ui/frmMain.h"
#include "ui/frmSaveSwfto.h"
#include "ui/frmTop.h"

namespace {

// The host's side: answers the program's questions from fixed data.
class FakeHost : public QObject {
public:
    QLocalSocket socket;
    QByteArray big = TestEnv::RandomBytes(1200 * 1024, 3);
    QList<QJsonObject> questions;
    bool answerCache = true;
    QString title = "Cartoons";
    int tab = 22;

    bool Connect() {
        socket.connectToServer(SocketPlace::Path());
        if (!socket.waitForConnected(3000)) return false;
        QObject::connect(&socket, &QLocalSocket::readyRead, this, [this] { Read(); });
        socket.write("QV-BROWSER\n");
        return TestEnv::WaitFor([] { return BrowserLink::Instance()->Connected(); }, 3000);
    }
    void Send(const QJsonObject& o) {
        socket.write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
    }
    void Read() {
        buffer += socket.readAll();
        for (qsizetype end; (end = buffer.indexOf('\n')) >= 0;) {
            const QJsonObject q = QJsonDocument::fromJson(buffer.left(end)).object();
            buffer.remove(0, end + 1);
            questions << q;
            Answer(q);
        }
    }
    void Answer(const QJsonObject& q) {
        const int id = q["id"].toInt();
        const QString op = q["op"].toString();
        if (op == "windows") {
            Send(
                {{"id", id},
                 {"windows", QJsonArray{QJsonObject{{"id", 1},
                                                    {"tab", 11},
                                                    {"title", "Settings"},
                                                    {"url", "chrome://settings/"}},
                                        QJsonObject{{"id", 2},
                                                    {"tab", tab},
                                                    {"title", title},
                                                    {"url", "http://127.0.0.1:9/c/index.html"}}}}});
        } else if (op == "scan") {
            Send({{"id", id},
                  {"url", "http://127.0.0.1:9/c/index.html"},
                  {"elements",
                   QJsonArray{
                       QJsonObject{{"tag", "RUFFLE-EMBED"}, {"src", "e.swf"}, {"html", "<embed>"}},
                       QJsonObject{{"tag", "OBJECT"},
                                   {"params", QJsonObject{{"Movie", "/o.swf"}}},
                                   {"html", "<object>"}},
                       QJsonObject{{"tag", "object"},
                                   {"data", "d.swf"},
                                   {"html", "<object data=\"d.swf\">"}}}}});
        } else if (op == "cache" && answerCache) {
            const QString url = q["url"].toString();
            if (url.endsWith("/big.swf")) {
                for (qsizetype at = 0; at < big.size(); at += BrowserLink::kMaxPiece)
                    Send({{"id", id},
                          {"piece",
                           QString::fromLatin1(big.mid(at, BrowserLink::kMaxPiece).toBase64())}});
                Send({{"id", id}, {"done", true}, {"found", true}});
            } else if (url.endsWith("/huge-piece.swf")) {
                Send({{"id", id},
                      {"piece", QString::fromLatin1(
                                    TestEnv::RandomBytes(BrowserLink::kMaxPiece + 1).toBase64())}});
                Send({{"id", id}, {"done", true}, {"found", true}});
            } else {
                Send({{"id", id}, {"done", true}, {"found", false}});
            }
        }
    }

private:
    QByteArray buffer;
};

struct Lookup {
    bool answered = false;
    bool found = false;
    QString file;
};

// The link's numbers of the browsers' windows, by title.
QHash<QString, int> WindowTabs() {
    QHash<QString, int> tabs;
    bool answered = false;
    BrowserLink::Instance()->Windows([&](bool ok, const QList<BrowserWindow>& windows) {
        answered = ok;
        for (const BrowserWindow& w : windows) tabs.insert(w.Title, w.Tab);
    });
    TestEnv::WaitFor([&] { return answered; }, 5000);
    return tabs;
}

Lookup Look(int tab, const QString& url) {
    auto result = std::make_shared<Lookup>();
    BrowserLink::Instance()->LookupCacheEntry(tab, url, [result](bool found, const QString& file) {
        result->answered = true;
        result->found = found;
        result->file = file;
    });
    TestEnv::WaitFor([&] { return result->answered; }, 10000);
    return *result;
}

TEST(BrowserLinkTest, CachedCopiesComeInPiecesAndTheFinderOffersTheBrowsersWindows) {
    TestEnv::IsolateHome();
    ClearJobs();
    Settings = SettingsRecord{};
    HandoffServer server;
    ASSERT_TRUE(server.Listen(SocketPlace::Path())) << server.ErrorString().toStdString();
    FakeHost host;
    ASSERT_TRUE(host.Connect());
    // A second browser: the list gathers both, and each tab is asked through its own browser.
    auto other = std::make_unique<FakeHost>();
    other->title = "Other";
    other->tab = 33;
    ASSERT_TRUE(other->Connect());
    QHash<QString, int> tabs;
    // "Settings" twice, under one title here.
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            tabs = WindowTabs();
            return tabs.size() == 3;
        },
        5000));
    ASSERT_TRUE(tabs.contains("Cartoons") && tabs.contains("Other"));
    EXPECT_TRUE(Look(tabs["Other"], "http://127.0.0.1:9/c/big.swf").found);
    EXPECT_EQ(other->questions.last()["tab"].toInt(), 33);
    other.reset();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return WindowTabs().size() == 2; }, 5000));

    // A cached copy in three pieces lands whole in the entry's private file.
    const int cartoons = tabs["Cartoons"];
    const Lookup big = Look(cartoons, "http://127.0.0.1:9/c/big.swf");
    ASSERT_TRUE(big.answered);
    EXPECT_TRUE(big.found);
    EXPECT_EQ(TestEnv::ReadFile(big.file), host.big);
    EXPECT_EQ(host.questions.last()["tab"].toInt(), 22);
    // Not cached, and a piece larger than allowed: not found.
    EXPECT_FALSE(Look(cartoons, "http://127.0.0.1:9/c/none.swf").found);
    const Lookup huge = Look(cartoons, "http://127.0.0.1:9/c/huge-piece.swf");
    EXPECT_TRUE(huge.answered);
    EXPECT_FALSE(huge.found);

    {
        frmMain window;
        window.Load();
        window.show();
        window.Floating()->ShowTop();
        QLabel* finder = window.Floating()->Top()->Image2;
        const QPointF at = finder->rect().center();
        QMouseEvent press(QEvent::MouseButtonPress, at, finder->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(finder, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, finder->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(finder, &release);
        // Only the window showing a web page is offered.
        QMenu* menu = nullptr;
        ASSERT_TRUE(TestEnv::WaitFor(
            [&] {
                menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                return menu && menu->objectName() == "popBrowserWindows";
            },
            5000));
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions().first()->text(), "Cartoons");
        menu->actions().first()->trigger();
        menu->close();
        frmSaveSwfto* dialog = nullptr;
        ASSERT_TRUE(TestEnv::WaitFor(
            [&] {
                dialog = window.Floating()->SaveDialog();
                return dialog && dialog->isVisible();
            },
            5000));
        ASSERT_EQ(dialog->ListView1->topLevelItemCount(), 3);
        EXPECT_EQ(dialog->ListView1->topLevelItem(0)->text(0), "http://127.0.0.1:9/o.swf");
        EXPECT_EQ(dialog->ListView1->topLevelItem(1)->text(0), "http://127.0.0.1:9/c/d.swf");
        EXPECT_EQ(dialog->ListView1->topLevelItem(2)->text(0), "http://127.0.0.1:9/c/e.swf");
        EXPECT_EQ(FoundCount, 0);
        dialog->close();
        TestEnv::Settle();
    }

    // The host goes away with a question open: it fails at once, and the link is down.
    host.answerCache = false;
    auto result = std::make_shared<Lookup>();
    BrowserLink::Instance()->LookupCacheEntry(cartoons, "http://127.0.0.1:9/c/big.swf",
                                              [result](bool found, const QString&) {
                                                  result->answered = true;
                                                  result->found = found;
                                              });
    const qsizetype before = host.questions.size();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return host.questions.size() > before; }, 5000));
    host.socket.disconnectFromServer();
    EXPECT_TRUE(TestEnv::WaitFor([&] { return result->answered; }, 5000));
    EXPECT_FALSE(result->found);
    EXPECT_FALSE(BrowserLink::Instance()->Connected());
    ClearJobs();
}

TEST(BrowserLinkTest, WindowUnderThePointerIsMatchedByItsActiveTabsTitle) {
    const QList<BrowserWindow> windows = {{1, 1, "Games", "http://127.0.0.1/g/"},
                                          {2, 2, "Games - Flash", "http://127.0.0.1/f/"},
                                          {3, 3, "Cartoons", "http://127.0.0.1/c/"}};
    auto tabOf = [&](const QString& title) {
        const BrowserWindow* w = BrowserFinder::Match(windows, title);
        return w ? w->Tab : 0;
    };
    EXPECT_EQ(tabOf("Games - Chromium"), 1);
    EXPECT_EQ(tabOf("Games - Flash - Chromium"), 2);
    EXPECT_EQ(tabOf(QString::fromUtf8("Cartoons \u2014 Mozilla Firefox")), 3);
    EXPECT_EQ(tabOf("Cartoons"), 3);
    EXPECT_EQ(tabOf("Cartoonsville - Chromium"), 0);
    EXPECT_EQ(tabOf("Terminal"), 0);
}

}  // namespace

// The program socket's own limit on the browser link: a peer that sends more than twice the
// longest line without a line end is not a host and is dropped; up to that it is kept.
TEST(BrowserLinkTest, APeerSendingMoreThanAnyLineWithoutALineEndIsDropped) {
    TestEnv::IsolateHome();
    HandoffServer server;
    ASSERT_TRUE(server.Listen(SocketPlace::Path())) << server.ErrorString().toStdString();
    struct Case {
        qsizetype bytes;
        bool kept;
    };
    const QList<Case> cases = {{2 * BrowserLink::kMaxLine, true},
                               {2 * BrowserLink::kMaxLine + 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        QLocalSocket raw;
        raw.connectToServer(SocketPlace::Path());
        ASSERT_TRUE(raw.waitForConnected(3000));
        raw.write("QV-BROWSER\n");
        ASSERT_TRUE(TestEnv::WaitFor([] { return BrowserLink::Instance()->Connected(); }, 3000));
        raw.write(QByteArray(c.bytes, 'x'));
        ASSERT_TRUE(TestEnv::WaitFor([&] { return raw.bytesToWrite() == 0; }, 10000));
        const bool dropped = TestEnv::WaitFor(
            [&] { return raw.state() == QLocalSocket::UnconnectedState; }, c.kept ? 1000 : 5000);
        EXPECT_EQ(!dropped, c.kept);
        EXPECT_EQ(BrowserLink::Instance()->Connected(), c.kept);
        raw.abort();
        ASSERT_TRUE(TestEnv::WaitFor([] { return !BrowserLink::Instance()->Connected(); }, 3000));
    }
}
