// The browser hand-off into the real main window: the library (called from another thread, as
// the host calls it) delivers over the real socket, the window's mailbox, Timer1 and parser fill
// the new-job dialog and open it, one message at a time.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <future>

#include "browser/BrowserTestKit.h"
#include "browser/FoundMovies.h"
#include "browser/HandoffMessage.h"
#include "browser/HandoffReceiver.h"
#include "browser/HandoffServer.h"
#include "browser/SocketPlace.h"
#include "common/TestEnv.h"
#include "handoff_lib/NetApi.h"
#include "handoff_lib/quorvanta.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/FloatingTools.h"
#include "ui/MainMenus.h"
#include "ui/frmMain.h"
#include "ui/frmSaveSwfto.h"

namespace {

using namespace BrowserTestKit;

const std::string kSep = "||**KVDRMB**||";

// The main window with its socket, as the program starts them; every message the socket takes is
// also recorded.
class HandoffTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
        window = std::make_unique<frmMain>();
        window->Load();
        window->show();
        ASSERT_TRUE(server.Listen(SocketPlace::Path())) << server.ErrorString().toStdString();
        ASSERT_TRUE(server.KeepQueueIn(DataDir + "/handoff.qvq"));
        QObject::connect(window->Handoff(), &HandoffReceiver::Answered, &server,
                         &HandoffServer::Forget);
        server.SetReceiver([this](const QString& m, qint64 id) {
            received << m;
            window->Handoff()->Enqueue(m, id);
        });
    }
    void TearDown() override {
        if (frmNewDown1* d = window->NewJobs()->Loaded()) d->reject();
        TestEnv::Settle();
        window.reset();
        ClearJobs();
    }

    // Runs a library call on its own thread while the window's event loop goes on.
    static int Call(std::function<int()> call) {
        auto result = std::async(std::launch::async, std::move(call));
        EXPECT_TRUE(TestEnv::WaitFor(
            [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            20000));
        return result.get();
    }
    static QString TabKey(frmNewDown1* d) {
        return d->TabStrip1->tabData(d->TabStrip1->currentIndex()).toString();
    }

    std::unique_ptr<frmMain> window;
    HandoffServer server;
    QStringList received;
};

}  // namespace

TEST_F(HandoffTest, LibraryCallsReachTheDialogInOrderAndNoneIsLost) {
    // The window keeps its caption; its only text box is the hidden mailbox.
    EXPECT_EQ(window->windowTitle(), "Quorvanta");
    QList<QWidget*> boxes;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->window() == window.get() &&
            (qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
             qobject_cast<QPlainTextEdit*>(w)))
            boxes << w;
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->objectName(), "Text1");
    EXPECT_FALSE(boxes[0]->isVisible());
    auto* timer = window->Handoff()->Timer1();
    EXPECT_EQ(timer->objectName(), "Timer1");
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_FALSE(timer->isActive());

    // The socket's folder is private to the user.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(SocketPlace::Folder()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // AddURL: the dialog opens on the single-file tab with URL, referrer and comment.
    const std::string url = "http://127.0.0.1:8080/movies/cl\xC3\xAFp.swf?x=1";
    NetApi api;
    ASSERT_EQ(Call([&] {
                  return api.AddURL(url, "A clip\xC2\xA0\xF0\x9F\x8E\xAC",
                                    "http://127.0.0.1:8080/");
              }),
              0)
        << api.LastError();
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].toStdString(), "downmy_kvd_Url:=" + url + kSep +
                                             "my_kvd_Info:=A clip\xC2\xA0\xF0\x9F\x8E\xAC" + kSep +
                                             "my_kvd_Ref:=http://127.0.0.1:8080/" + kSep);
    frmNewDown1* d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(window->NewJobs()->Memory().Mode, 1);
    EXPECT_EQ(TabKey(d), "OneFile");
    EXPECT_EQ(d->txtUrl->text().toStdString(), url);
    EXPECT_EQ(d->txtRef->text(), "http://127.0.0.1:8080/");
    EXPECT_EQ(d->txtComment->text(), QString::fromUtf8("A clip\xC2\xA0\xF0\x9F\x8E\xAC"));
    EXPECT_EQ(window->NewJobs()->Memory().SharedUrl.toStdString(), url);
    EXPECT_EQ(window->Handoff()->Waiting(), 0);
    EXPECT_FALSE(timer->isActive());

    // Two messages within 100 ms while the dialog is open: both are taken at once, wait, and
    // are shown one after the other in order; the open dialog is left as it is.
    ASSERT_EQ(Call([] {
                  const int a =
                      quorvanta_add_all("http://127.0.0.1/one.swf", "one", "http://127.0.0.1/1");
                  const int b = quorvanta_add_search("http://127.0.0.1/two.html");
                  return a != 0 ? a : b;
              }),
              0)
        << quorvanta_last_error();
    ASSERT_EQ(received.size(), 3);
    // AddAll sends exactly the message of AddURL.
    EXPECT_EQ(received[1].toStdString(),
              NetApi::DownMessage("http://127.0.0.1/one.swf", "one", "http://127.0.0.1/1"));
    EXPECT_EQ(received[2].toStdString(), "searchmy_kvd_Url:=http://127.0.0.1/two.html" + kSep +
                                             "my_kvd_Info:= " + kSep + "my_kvd_Ref:= " + kSep);
    TestEnv::NothingWithin(400);
    EXPECT_EQ(window->NewJobs()->Loaded(), d);
    EXPECT_EQ(d->txtUrl->text().toStdString(), url);
    EXPECT_EQ(window->Handoff()->Waiting(), 2);
    // All three stay on disk until their dialogs are answered, OK or Cancel.
    EXPECT_EQ(server.Queue().Entries().size(), 3);

    // OK makes the job of the first message; then the second opens a new dialog ...
    QTest::mouseClick(d->cmdNewJobOk, Qt::LeftButton);
    EXPECT_EQ(server.Queue().Entries().size(), 2);
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].Url.toStdString(), url);
    EXPECT_EQ(Jobs[1].Referer, "http://127.0.0.1:8080/");
    EXPECT_EQ(Jobs[1].Comment, QString::fromUtf8("A clip\xC2\xA0\xF0\x9F\x8E\xAC"));
    TestEnv::WaitFor([&] { return window->NewJobs()->Loaded() != d; }, 5000);
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(TabKey(d), "OneFile");
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1/one.swf");
    EXPECT_EQ(d->txtComment->text(), "one");
    CancelNewJob(*window->NewJobs(), d);
    // ... and the third opens on the search tab, referrer and comment one blank each.
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(window->NewJobs()->Memory().Mode, 2);
    EXPECT_EQ(TabKey(d), "Search");
    EXPECT_EQ(window->NewJobs()->Memory().SharedUrl, "http://127.0.0.1/two.html");
    EXPECT_EQ(d->txtRef->text(), " ");
    EXPECT_EQ(d->txtComment->text(), " ");
    CancelNewJob(*window->NewJobs(), d);
    EXPECT_EQ(window->Handoff()->Waiting(), 0);
    EXPECT_TRUE(server.Queue().Entries().isEmpty());

    // A message while the user has the dialog open from the menu: it waits for that dialog.
    window->Menus()->Action("mnuJob_AddNew")->trigger();
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    d->txtUrl->setText("http://127.0.0.1/typed.swf");
    ASSERT_EQ(Call([] { return quorvanta_add_url("http://127.0.0.1/later.swf", "", ""); }), 0);
    TestEnv::NothingWithin(300);
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1/typed.swf");
    CancelNewJob(*window->NewJobs(), d);
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1/later.swf");
    CancelNewJob(*window->NewJobs(), d);

    // A message longer than 64 KiB is refused by the library and never sent; 64 KiB goes.
    const std::string head = NetApi::DownMessage("", "", "");
    const std::string longUrl(30000, 'u'), longInfo(30000, 'i');
    const std::string ref(65536 - head.size() - longUrl.size() - longInfo.size(), 'r');
    std::string error;
    EXPECT_EQ(Call([&] {
                  const int rc =
                      quorvanta_add_url(longUrl.c_str(), longInfo.c_str(), (ref + "r").c_str());
                  error = quorvanta_last_error();
                  return rc;
              }),
              QUORVANTA_E_TOO_LONG);
    EXPECT_NE(error.find("65536"), std::string::npos) << error;
    EXPECT_EQ(received.size(), 4);
    EXPECT_EQ(Call([&] {
                  const int rc = quorvanta_add_url(longUrl.c_str(), longInfo.c_str(), ref.c_str());
                  error = quorvanta_last_error();
                  return rc;
              }),
              0)
        << error;
    ASSERT_EQ(received.size(), 5);
    EXPECT_EQ(received[4].toUtf8().size(), 65536);
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->txtUrl->text().toStdString(), longUrl);
    EXPECT_EQ(d->txtComment->text().toStdString(), longInfo);
    EXPECT_EQ(d->txtRef->text().toStdString(), ref);
    EXPECT_EQ(quorvanta_add_url("\xC3\x28", "", ""), QUORVANTA_E_ARGUMENT);
}

TEST_F(HandoffTest, ParserCaseRulesKeyOrderAndFieldCutting) {
    struct Case {
        QString message;
        int mode;
        QString tab, url, info, ref;
    };
    const QList<Case> cases = {
        // Capital command word, keys in other letter cases, only the URL field.
        {"DOWNMY_KVD_URL:=http://127.0.0.1/a.swf||**kvdrmb**||", 1, "OneFile",
         "http://127.0.0.1/a.swf", "", ""},
        // Keys in another order, each search from the start; the first occurrence counts.
        {"Downmy_kvd_Ref:=http://127.0.0.1/r||**KVDRMB**||my_kvd_Info:=Info "
         "text||**KVDRMB**||my_kvd_Url:=http://127.0.0.1/"
         "b.swf||**KVDRMB**||my_kvd_Url:=x||**KVDRMB**||",
         1, "OneFile", "http://127.0.0.1/b.swf", "Info text", "http://127.0.0.1/r"},
        // A field without its closing separator stays empty; the word still selects the mode.
        {"SEARCHmy_kvd_Info:=i||**KVDRMB**||my_kvd_Url:=http://127.0.0.1/no-end", 2, "Search", "",
         "i", ""},
        // The word "all" alone: page links, every field empty.
        {"all", 4, "FromIe", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        window->Handoff()->Enqueue(c.message);
        frmNewDown1* d = ShownNewJob(*window->NewJobs(), 5000);
        ASSERT_TRUE(d);
        EXPECT_EQ(window->NewJobs()->Memory().Mode, c.mode);
        EXPECT_EQ(TabKey(d), c.tab);
        EXPECT_EQ(window->NewJobs()->Memory().SharedUrl, c.url);
        EXPECT_EQ(d->txtUrl->text(), c.url);
        EXPECT_EQ(d->txtComment->text(), c.info);
        EXPECT_EQ(d->txtRef->text(), c.ref);
        CancelNewJob(*window->NewJobs(), d);
    }

    // No known word: the dialog still opens, in the mode last set, with its boxes unchanged.
    window->NewJobs()->Memory().Mode = ModeSingleFile;
    window->Handoff()->Enqueue("fetchmy_kvd_Url:=http://127.0.0.1/c.swf||**KVDRMB**||");
    frmNewDown1* d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(TabKey(d), "OneFile");
    EXPECT_EQ(d->txtUrl->text(), "");
    CancelNewJob(*window->NewJobs(), d);

    // Field cutting: a value stops at the first separator after its key; the mailbox keeps a
    // value's characters (line feed, no-break space, a character beyond the basic plane).
    const HandoffMessage m = HandoffMessage::Parse(
        "downmy_kvd_Url:=u1||**KVDRMB**||u2||**KVDRMB**||my_kvd_Info:=a\nb\u00A0c\U0001F3AC||**"
        "KVDRMB**||");
    EXPECT_EQ(m.Url, "u1");
    EXPECT_EQ(m.Info, QString::fromUtf8("a\nb\u00A0c\U0001F3AC"));
    EXPECT_EQ(m.Ref, "");
    window->Handoff()->Enqueue(
        "downmy_kvd_Url:=u||**KVDRMB**||my_kvd_Info:=a\nb\u00A0c\U0001F3AC||**KVDRMB**||");
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->txtComment->text(), QString::fromUtf8("a\nb\u00A0c\U0001F3AC"));
    CancelNewJob(*window->NewJobs(), d);
    // While the browser scanner's movies are due (FoundCount not 0) a tick opens "Save Flash"
    // with them instead; the message is taken at the next tick.
    FoundMovies = QStringList{"http://127.0.0.1/m1.swf", "http://127.0.0.1/m2.swf"};
    FoundCount = 2;
    window->Handoff()->Enqueue("downmy_kvd_Url:=http://127.0.0.1/f.swf||**KVDRMB**||");
    ASSERT_TRUE(
        TestEnv::WaitFor([&] { return window->Floating()->SaveDialog() != nullptr; }, 3000));
    EXPECT_EQ(window->Floating()->SaveDialog()->ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(FoundCount, 0);
    EXPECT_TRUE(FoundMovies.isEmpty());
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1/f.swf");
    CancelNewJob(*window->NewJobs(), d);

    // A minimized window runs its "Top Window" command before the dialog opens.
    window->showMinimized();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return window->isMinimized(); }, 3000));
    QAction* top = window->Menus()->Action("popMain_Pop");
    top->setEnabled(true);  // as the floating window's part makes it
    const bool topBefore = top->isChecked();
    window->Handoff()->Enqueue("downmy_kvd_Url:=http://127.0.0.1/g.swf||**KVDRMB**||");
    d = ShownNewJob(*window->NewJobs(), 5000);
    ASSERT_TRUE(d);
    EXPECT_EQ(top->isChecked(), !topBefore);
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1/g.swf");
    CancelNewJob(*window->NewJobs(), d);

    // An empty message does nothing: no dialog opens.
    window->Handoff()->Enqueue("");
    QTest::qWait(300);
    EXPECT_EQ(window->NewJobs()->Loaded(), nullptr);

    // A key at the very end, a separator alone, nothing: nothing is read outside the text.
    EXPECT_EQ(HandoffMessage::Parse("downmy_kvd_Url:=").Url, "");
    EXPECT_EQ(HandoffMessage::Parse("||**KVDRMB**||my_kvd_Url:=").Mode, 0);
    EXPECT_EQ(HandoffMessage::Parse("").Mode, 0);
}
