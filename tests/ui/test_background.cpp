// What happens in the background while the user works in the window: downloads that finish
// while rows are selected or a dialog is open, a delete that frees a slot, a download that fails.
// Real downloads from nginx and scripted servers on 127.0.0.1.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTest>
#include <QTreeWidget>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "common/TestJobs.h"
#include "common/TestWidgets.h"
#include "engine/EngineTestSupport.h"
#include "manager/clsJobManager.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/VbDate.h"
#include "tree/CategoryTreeUi.h"
#include "tree/TreeMirror.h"
#include "ui/MainMenus.h"
#include "ui/frmMain.h"
#include "widgets/TreeFill.h"

namespace {

using TestEnv::ClickRow;
using TestEnv::Shown;

// Counts the connections it is offered and never answers.
class CountingServer : public QTcpServer {
public:
    CountingServer() {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                s->setParent(this);
                ++connections;
            }
        });
    }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path);
    }
    int connections = 0;
};

class Background : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
        w = std::make_unique<frmMain>();
        w->Load();
        Settings.PopMessage = 0;
        Settings.Maxjobs = 8;
        w->resize(1200, 800);
        w->show();
        folder = TestEnv::NewDir("dl") + "/";
    }
    void TearDown() override {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(top); d && d->isVisible()) d->reject();
        w->Manager()->PauseAll();
        w.reset();
        ClearJobs();
    }

    // A download of url into the test folder in category 101k, listed in lvNowDown.
    int Download(const QString& url, int state, int parts = 1) {
        JobRecord job = TestJobs::Download("101k", url, folder, parts);
        job.State = state;
        const int j = AddJob(job);
        w->Manager()->AddToNowDownList(j);
        return j;
    }
    static int Finished(const QString& key, const QString& name) {
        JobRecord job =
            TestJobs::Job(key, StateComplete, "http://127.0.0.1:9/" + name, DefaultDownDir + name);
        job.FileSize = job.Received = 1000;
        return AddJob(job);
    }
    // Starts a download from nginx and waits until it has finished (the category list is
    // refilled then).
    void FinishADownload(NginxServer& nginx, const QString& name) {
        ASSERT_TRUE(nginx.Put(name, TestEnv::RandomBytes(60000, name.size())));
        const int j = Download(nginx.Url("/" + name), StateWaiting);
        ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[j].State == StateComplete; }, 30000))
            << name.toStdString();
    }

    void Show(const QString& key) { ASSERT_TRUE(w->Categories()->mirror()->Select(key)); }
    QAction* A(const char* name) const { return w->Menus()->Action(name); }
    QTreeWidget* List(const char* name) const { return w->findChild<QTreeWidget*>(name); }
    QTreeWidgetItem* Row(const char* list, int j) const {
        QTreeWidget* l = List(list);
        for (int r = 0; r < l->topLevelItemCount(); ++r) {
            QTreeWidgetItem* item = l->topLevelItem(r);
            if (item->data(0, Qt::UserRole).toString() == QString::number(j) + "Key" ||
                item->data(1, Qt::UserRole).toString() == clsJobManager::RowKey(j))
                return item;
        }
        return nullptr;
    }
    QList<int> SelectedFinished() const {
        QList<int> out;
        QTreeWidget* l = List("lvHaveDown");
        for (int r = 0; r < l->topLevelItemCount(); ++r)
            if (l->topLevelItem(r)->isSelected())
                out << l->topLevelItem(r)->data(0, Qt::UserRole + 1).toInt();
        return out;
    }

    std::unique_ptr<frmMain> w;
    QString folder;
};

}  // namespace

TEST_F(Background, FinishedDownloadsKeepTheSelectionAndTheOpenDialogsRows) {
    NginxServer nginx("limit_rate 200k;");
    ASSERT_TRUE(nginx.Started());
    const int a = Finished("101k", "a.swf");
    const int b = Finished("101k", "b.swf");
    const int c = Finished("101k", "c.swf");
    Show("101k");
    // A row reached with the keyboard is chosen as a clicked one is: its details show.
    ClickRow(Row("lvHaveDown", a));
    QTest::keyClick(List("lvHaveDown"), Qt::Key_Down);
    EXPECT_TRUE(TestEnv::WaitFor([&] {
        return List("lvHaveDownInfo")->findItems(Jobs[b].Url, Qt::MatchExactly, 1).size() == 1;
    }));
    ClickRow(Row("lvHaveDown", a));
    ClickRow(Row("lvHaveDown", c), Qt::ControlModifier);
    ASSERT_EQ(SelectedFinished(), (QList<int>{a, c}));

    // A download of this category finishes: its row comes, the user's rows stay chosen.
    FinishADownload(nginx, "d1.swf");
    ASSERT_TRUE(Row("lvHaveDown", JobCount));
    EXPECT_EQ(SelectedFinished(), (QList<int>{a, c}));
    EXPECT_EQ(List("lvHaveDown")->currentItem(), Row("lvHaveDown", c));
    EXPECT_TRUE(A("mnuEdit_MoveTo")->isEnabled());

    // Move To is open while another download finishes: OK moves the rows chosen at opening.
    A("mnuEdit_MoveTo")->trigger();
    QDialog* move = Shown<QDialog>("frmMoveto");
    ASSERT_TRUE(move);
    auto* tvClass = move->findChild<QTreeWidget*>("tvClass");
    tvClass->setCurrentItem(FindTreeItem(tvClass, "103k"));
    FinishADownload(nginx, "d2.swf");
    move->findChild<QPushButton*>("cmdOk")->click();
    EXPECT_EQ(Jobs[a].ClassKey, "103k");
    EXPECT_EQ(Jobs[b].ClassKey, "101k");
    EXPECT_EQ(Jobs[c].ClassKey, "103k");
    EXPECT_EQ(Jobs[JobCount].ClassKey, "101k");
    EXPECT_FALSE(Row("lvHaveDown", a));
    EXPECT_TRUE(Row("lvHaveDown", b));

    // The recycle bin's Delete is open while a download finishes: OK deletes what was chosen.
    const int old1 = Finished("Recely", "old1.swf");
    const int old2 = Finished("Recely", "old2.swf");
    const int old3 = Finished("Recely", "old3.swf");
    Show("Recely");
    ClickRow(Row("lvHaveDown", old1));
    ClickRow(Row("lvHaveDown", old3), Qt::ControlModifier);
    A("mnuEdit_Delete")->trigger();
    QDialog* ask = Shown<QDialog>("frmDelete");
    ASSERT_TRUE(ask);
    FinishADownload(nginx, "d3.swf");
    ask->findChild<QPushButton*>("cmdOk")->click();
    EXPECT_EQ(Jobs[old1].ClassKey, "Recely_Really");
    EXPECT_EQ(Jobs[old2].ClassKey, "Recely");
    EXPECT_EQ(Jobs[old3].ClassKey, "Recely_Really");
    EXPECT_TRUE(Row("lvHaveDown", old2));
    EXPECT_FALSE(Row("lvHaveDown", old1));
}

TEST_F(Background, DeletingARunningAndAWaitingJobNeverStartsTheWaitingOne) {
    NginxServer nginx("limit_rate 100k;");
    ASSERT_TRUE(nginx.Started());
    ASSERT_TRUE(nginx.Put("run.swf", TestEnv::RandomBytes(3000000, 5)));
    const QByteArray next = TestEnv::RandomBytes(50000, 6);
    ASSERT_TRUE(nginx.Put("next.swf", next));
    CountingServer deletedPeer;
    Settings.Maxjobs = 1;

    const int paused = Download(deletedPeer.Url("/paused.swf"), StatePaused);
    const int running = Download(nginx.Url("/run.swf"), StateWaiting, 4);
    const int waiting = Download(deletedPeer.Url("/waiting.swf"), StateWaiting);
    const int kept = Download(nginx.Url("/next.swf"), StateWaiting);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[running].Received > 0; }, 20000));
    ASSERT_EQ(Jobs[waiting].State, StateWaiting);

    // The user deletes the first three rows (the first is paused, so Delete is on).
    Show("NowDownLoad");
    ClickRow(Row("lvNowDown", paused));
    ClickRow(Row("lvNowDown", running), Qt::ControlModifier);
    ClickRow(Row("lvNowDown", waiting), Qt::ControlModifier);
    ASSERT_EQ(w->Manager()->SelectedJobs(), (QList<int>{paused, running, waiting}));
    ASSERT_EQ(Jobs[running].State, StateRunning) << Jobs[running].Received;
    ASSERT_TRUE(A("mnuEdit_Delete")->isEnabled());
    A("mnuEdit_Delete")->trigger();
    QDialog* ask = Shown<QDialog>("frmDelete");
    ASSERT_TRUE(ask);
    ask->findChild<QPushButton*>("cmdOk")->click();

    // The freed slot goes to the job that was not deleted; the deleted one never connects.
    ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[kept].State == StateComplete; }, 30000));
    EXPECT_EQ(TestEnv::ReadFile(Jobs[kept].LocalFile), next);
    TestEnv::NothingWithin(200);
    EXPECT_EQ(deletedPeer.connections, 0);
    for (int j : {paused, running, waiting}) {
        EXPECT_EQ(Jobs[j].ClassKey, "Recely_Really") << j;
        EXPECT_EQ(Jobs[j].State, StatePaused) << j;
        EXPECT_FALSE(w->Manager()->HasRow(j)) << j;
    }
    EXPECT_EQ(List("lvNowDown")->topLevelItemCount(), 0);
}

TEST_F(Background, AFailedJobShowsItsLogAndTellsWhy) {
    EngineTest::ScriptServer server([](QTcpSocket* s, const EngineTest::ScriptServer::Request&) {
        s->write(EngineTest::ScriptServer::Head("HTTP/1.1 500 Internal Server Error",
                                                {"Content-Length: 0"}));
        s->disconnectFromHost();
    });
    const int paused = Download(server.Url("/later.swf"), StatePaused, 3);
    const int failing = Download(server.Url("/broken.swf"), StateWaiting, 3);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[failing].State == StateError; }, 20000));
    const QString why = "Request Url Error! The server answered HTTP/1.1 500 Internal Server Error";

    // The status bar says it at once, wherever the user is.
    auto* panel = w->findChild<QLabel*>("StatusBar1_Panel1");
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->text().contains(why)) << panel->text().toStdString();
    EXPECT_TRUE(panel->text().contains("broken.swf"));

    // Its row tells why, and choosing it shows its parts and the log with the failure.
    Show("NowDownLoad");
    QTreeWidgetItem* row = Row("lvNowDown", failing);
    ASSERT_TRUE(row);
    EXPECT_TRUE(TestEnv::WaitFor([&] { return row->toolTip(1) == why; }, 2000))
        << row->toolTip(1).toStdString();
    EXPECT_TRUE(Row("lvNowDown", paused)->toolTip(1).isEmpty());
    ClickRow(row);
    auto* tvNowDown = List("tvNowDown");
    ASSERT_EQ(tvNowDown->topLevelItemCount(), 1);
    EXPECT_EQ(tvNowDown->topLevelItem(0)->childCount(), 3);
    auto* log = List("lvResponse1");
    EXPECT_EQ(w->findChild<QStackedWidget*>("picDownInfo")->currentWidget(), log);
    QStringList lines;
    for (int r = 0; r < log->topLevelItemCount(); ++r) lines << log->topLevelItem(r)->text(1);
    EXPECT_TRUE(lines.contains(why)) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains("HTTP/1.1 500 Internal Server Error"));
    EXPECT_TRUE(panel->text().contains(why));

    // A paused job shows its own parts and picture; the status bar is itself again.
    ClickRow(Row("lvNowDown", paused));
    EXPECT_EQ(tvNowDown->topLevelItemCount(), 1);
    EXPECT_EQ(w->findChild<QStackedWidget*>("picDownInfo")->currentWidget()->objectName(),
              "picDrawDot");
    EXPECT_FALSE(panel->text().contains(why));
    EXPECT_TRUE(panel->text().startsWith("Quorvanta "));
}
