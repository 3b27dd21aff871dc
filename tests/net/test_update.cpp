// The update check against nginx serving the update file and a scripted HTTP peer, and the way
// from the Help menu to the new-job dialog.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "net/frmCheckNew.h"
#include "net/frmTellFriend.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/MainMenus.h"
#include "ui/frmMain.h"

namespace {

const QString kCheckComplete = "Check Complete.";
const QString kNotNewer = "Check Complete.\r\nNO find new version!";
const QString kNewer = "Find New Version!\r\nDo you want to download Now?";
const QString kNoFile = "Can not find the Newest ini file!";

// An HTTP peer that records the request and answers with pieces (each after its delay in ms),
// then closes; with no pieces it keeps silent.
class ScriptedHttp {
public:
    explicit ScriptedHttp(QList<QPair<int, QByteArray>> answer) : pieces(std::move(answer)) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* s = server.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                request += s->readAll();
                if (!request.endsWith("\r\n\r\n") || pieces.isEmpty() || started) return;
                started = true;
                int at = 0;
                for (const auto& p : pieces) {
                    at += p.first;
                    const QByteArray bytes = p.second;
                    QTimer::singleShot(at, s, [s, bytes] { s->write(bytes); });
                }
                QTimer::singleShot(at + 50, s, [s] { s->disconnectFromHost(); });
            });
        });
    }
    quint16 Port() const { return server.serverPort(); }
    QByteArray request;

private:
    QList<QPair<int, QByteArray>> pieces;
    QTcpServer server;
    bool started = false;
};

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
        Settings.UpdateHost = "127.0.0.1";
    }
    void TearDown() override { ClearJobs(); }

    // Opens the window against the port and waits until the check has ended.
    struct Outcome {
        QString status;
        bool download = false;
        bool more = false;
        QString site;
    };
    Outcome Check(quint16 port, int answerMs = UpdateCheck::kAnswerMs) {
        Settings.UpdatePort = port;
        frmCheckNew w([](const QString&) {});
        w.Check()->SetAnswerTimeout(answerMs);
        w.show();
        w.Check()->Start(Settings.UpdateHost, Settings.UpdatePort);
        EXPECT_EQ(w.Label1->text(), "Connect to the internet...");
        EXPECT_FALSE(w.Command1->isEnabled());
        EXPECT_FALSE(w.Command2->isEnabled());
        const auto ended = [&] {
            const QString t = w.Label1->text();
            return t.startsWith("Check Complete.") || t == kNewer || t == kNoFile ||
                   t.startsWith("Error:");
        };
        EXPECT_TRUE(TestEnv::WaitFor(ended, answerMs + 10000)) << w.Label1->text().toStdString();
        // Nothing more happens after the end.
        TestEnv::WaitFor([] { return false; }, 100);
        return {w.Label1->text(), w.Command1->isEnabled(), w.Command2->isEnabled(), w.DownSite()};
    }
};

}  // namespace

TEST_F(UpdateTest, AnswersOfARealServer) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.Started());
    const auto with = [&](const QByteArray& body) {
        nginx.Put("/newquorvanta.txt", body);
        return Check(nginx.Port());
    };
    ASSERT_EQ(AppVersion, "1.3");

    Outcome o =
        with("Newest Version: 1.40xyz\r\nDownSite:http://127.0.0.1/quorvanta-1.4.tar.gz\r\n");
    EXPECT_EQ(o.status, kNewer);
    EXPECT_TRUE(o.download);
    EXPECT_TRUE(o.more);
    EXPECT_EQ(o.site, "http://127.0.0.1/quorvanta-1.4.tar.gz\r\n");

    o = with("[Update]\nNewest Version:1.3\nDownSite:http://127.0.0.1/same\n");
    EXPECT_EQ(o.status, kNotNewer);
    EXPECT_FALSE(o.download);
    EXPECT_FALSE(o.more);

    o = with("newest version:  1.29\r\ndownsite:http://127.0.0.1/older\r\n");
    EXPECT_EQ(o.status, kNotNewer);

    o = with("Latest: 9.9\r\nDownSite:http://127.0.0.1/x\r\n");
    EXPECT_EQ(o.status, kNoFile);
    EXPECT_FALSE(o.download);

    QFile::remove(nginx.Root() + "/newquorvanta.txt");
    EXPECT_EQ(Check(nginx.Port()).status, kNoFile);  // the 404 page has no version
}

TEST_F(UpdateTest, ScriptedAnswersTheRequestAndFailures) {
    {
        ScriptedHttp peer({{0, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"}});
        EXPECT_EQ(Check(peer.Port()).status, kNoFile);
        EXPECT_EQ(peer.request,
                  "GET /newquorvanta.txt HTTP/1.1\r\nAccept: */*\r\n"
                  "User-Agent: Quorvanta1.0\r\nHost: 127.0.0.1:" +
                      QByteArray::number(peer.Port()) + "\r\nConnection: close\r\n\r\n");
    }
    {
        ScriptedHttp peer({{0, "HTTP/1.0 200 OK\r\nNewest Version: 9.0\r\nDownSite:x"}});
        EXPECT_EQ(Check(peer.Port()).status, kCheckComplete);
    }
    {
        // Pieces split inside the marker, the key and the number are joined before reading.
        ScriptedHttp peer({{0, "HTTP/1.1 200 OK\r\n\r"},
                           {150, "\nNewest Ver"},
                           {150, "sion: 2"},
                           {150, ".5\r\nDownSite:http://127.0.0.1/b"},
                           {150, "ig.tar.gz"}});
        const Outcome o = Check(peer.Port());
        EXPECT_EQ(o.status, kNewer);
        EXPECT_EQ(o.site, "http://127.0.0.1/big.tar.gz");
    }
    {
        ScriptedHttp peer({{0,
                            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                            "16\r\nNewest Version: 1.31\r\n\r\n"},
                           {100, "1e\r\nDownSite:http://127.0.0.1/c.gz\r\n0\r\n\r\n"}});
        const Outcome o = Check(peer.Port());
        EXPECT_EQ(o.status, kNewer);
        EXPECT_EQ(o.site, "http://127.0.0.1/c.gz");
    }
    {
        QByteArray garbage = TestEnv::RandomBytes(4000, 7);
        garbage.insert(100, "\r\n\r\n");
        ScriptedHttp peer({{0, garbage}});
        EXPECT_EQ(Check(peer.Port()).status, kNoFile);
    }
    {
        ScriptedHttp silent({});
        EXPECT_EQ(Check(silent.Port(), 500).status, "Error:5Connection timed out");
    }
    EXPECT_EQ(Check(TestEnv::FreePort()).status, "Error:0Connection refused");
}

TEST_F(UpdateTest, FromTheHelpMenuToTheNewJobDialog) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.Started());
    nginx.Put("/newquorvanta.txt", "Newest Version: 2\r\nDownSite:http://127.0.0.1/q2.tar.gz\r\n");
    TestEnv::WriteFile(IniFile, "[Advanced]\nUpdateHost=127.0.0.1\nUpdatePort=" +
                                    QByteArray::number(nginx.Port()) + "\n");
    frmMain w;
    w.Load();
    w.show();
    for (const char* name : {"mnuHelp_Check", "mnuTellFriend", "popMain_Tell"})
        EXPECT_TRUE(w.Menus()->Action(name)->isEnabled()) << name;

    w.Menus()->Action("popMain_Tell")->trigger();
    auto* tell = qobject_cast<frmTellFriend*>(QApplication::activeModalWidget());
    ASSERT_TRUE(tell);
    tell->findChild<QPushButton*>("cmdCancel")->click();
    ASSERT_TRUE(TestEnv::WaitFor([] { return !QApplication::activeModalWidget(); }, 5000));

    w.Menus()->Action("mnuHelp_Check")->trigger();
    auto* check = qobject_cast<frmCheckNew*>(QApplication::activeModalWidget());
    ASSERT_TRUE(check);
    EXPECT_EQ(check->windowTitle(), "Check Newest Version");
    auto* download = check->findChild<QPushButton*>("Command1");
    ASSERT_TRUE(TestEnv::WaitFor([&] { return download->isEnabled(); }, 10000));
    EXPECT_EQ(check->findChild<QLabel*>("Label1")->text(), kNewer);
    download->click();
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] { return w.NewJobs()->Loaded() && w.NewJobs()->Loaded()->isVisible(); }, 5000));
    EXPECT_EQ(w.NewJobs()->Loaded()->txtUrl->text(), "http://127.0.0.1/q2.tar.gz");
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<frmCheckNew*>(top) && top->isVisible());
    w.NewJobs()->Loaded()->reject();
}
