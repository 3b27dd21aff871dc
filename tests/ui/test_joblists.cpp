// Job lists and files already on disk in and out of the program, through the main window's
// menus and the dialogs' named controls: export and import of lists, Import Previous File and
// Import Previous Batch File with and without Move File, Rename, sorting, keys, and what happens
// when the downloads are done (DoneExit, DownShutDown against a stand-in logind on a private bus,
// AutoBack).

#include <gtest/gtest.h>

#include <memory>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <mutex>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "common/TestJobs.h"
#include "common/TestWidgets.h"
#include "manager/clsJobManager.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobDbSaver.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/VbDate.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryTreeUi.h"
#include "tree/CategoryView.h"
#include "tree/TreeMirror.h"
#include "ui/DoneActions.h"
#include "ui/MainMenus.h"
#include "ui/frmMain.h"
#include "widgets/DialogHooks.h"

namespace {

using TestEnv::Child;
using TestEnv::Shown;
using TestEnv::ShownBox;

// Opening a file or folder goes to the desktop; here it is only recorded.
class OpenedFiles : public QObject {
    Q_OBJECT
public:
    OpenedFiles() { QDesktopServices::setUrlHandler("file", this, "Open"); }
    ~OpenedFiles() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

// A stand-in for systemd-logind on a private bus: answers PowerOff, or refuses it.
class StandInLogind : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "PowerOff") return false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            args = message.arguments();
        }
        calls.fetch_add(1);
        connection.send(refuse ? message.createErrorReply("org.freedesktop.DBus.Error.AccessDenied",
                                                          "Permission denied")
                               : message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return QString(); }
    QVariantList Args() {
        std::lock_guard<std::mutex> lock(mutex);
        return args;
    }
    std::atomic<int> calls{0};
    std::atomic<bool> refuse{false};

private:
    std::mutex mutex;
    QVariantList args;
};

class JobLists : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
        Settings.PopMessage = 0;
        messages.clear();
        DialogHooks::SetMessageHook(
            [this](QWidget*, QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
                messages << text;
                return QMessageBox::Ok;
            });
        w = std::make_unique<frmMain>();
        w->Load();
        w->resize(1200, 800);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        category = TestEnv::NewDir("category") + "/";
        ASSERT_TRUE(w->Tree().SetTag("101k", category));
    }
    void TearDown() override {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(top); d && d->isVisible()) d->reject();
        w->Manager()->PauseAll();
        w.reset();
        DialogHooks::SetMessageHook({});
        ClearJobs();
    }

    // A download from nginx, waiting to start: it starts at once in a free slot.
    int Download(NginxServer& nginx, const QString& name) {
        EXPECT_TRUE(nginx.Put(name, TestEnv::RandomBytes(30000, name.size())));
        const int j = AddJob(TestJobs::Download("101k", nginx.Url("/" + name), category, 1));
        w->Manager()->AddToNowDownList(j);
        return j;
    }
    static int Job(const QString& key, int state, const QString& url, int size = 1000) {
        JobRecord job = TestJobs::Job(key, state, url, DefaultDownDir + url.section('/', -1));
        job.FileSize = job.Received = size;
        return AddJob(job);
    }
    void Show(const QString& key) { ASSERT_TRUE(w->Categories()->mirror()->Select(key)); }
    QAction* A(const char* name) const { return w->Menus()->Action(name); }
    QTreeWidget* List(const char* name) const { return w->findChild<QTreeWidget*>(name); }
    // Picks path in the open file dialog named name.
    static void Choose(const char* name, const QString& path) {
        auto* dialog = Shown<QFileDialog>(name);
        ASSERT_TRUE(dialog) << name;
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    }
    // Counts the background saves of the job database from now on.
    std::unique_ptr<QSignalSpy> CountSaves() {
        return std::make_unique<QSignalSpy>(w->Saver(), &JobDbSaver::Saved);
    }
    static QStringList RowTexts(QTreeWidget* list, int column) {
        QStringList out;
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            out << list->topLevelItem(r)->text(column);
        return out;
    }

    std::unique_ptr<frmMain> w;
    QString category;
    QStringList messages;
};

}  // namespace

TEST_F(JobLists, ExportWritesQuotedUrlsAndTheListImportsBackAfterADeleteAndARestart) {
    const QStringList urls = {"http://127.0.0.1:9/run.swf",    "http://127.0.0.1:9/paused.swf",
                              "http://127.0.0.1:9/wait.swf",   "http://127.0.0.1:9/done.swf",
                              "http://127.0.0.1:9/failed.swf", "http://127.0.0.1:9/q\"uote.swf"};
    const int states[] = {StateRunning,  StatePaused, StateWaiting,
                          StateComplete, StateError,  StateComplete};
    for (int k = 0; k < urls.size(); ++k) Job("101k", states[k], urls[k]);
    Job("103k", StateComplete, "http://127.0.0.1:9/other.swf");
    Job("101k", StateComplete, "");  // a file imported without an address

    Show("101k");
    ASSERT_TRUE(A("mnuFile_ExportList")->isEnabled());
    ASSERT_TRUE(A("mnuFile_ImportList")->isEnabled());
    const QString dir = TestEnv::NewDir("lists");
    A("mnuFile_ExportList")->trigger();
    Choose("dlgSaveFile", dir + "/cartoon.lst");
    EXPECT_EQ(TestEnv::ReadFile(dir + "/cartoon.lst"),
              "\"http://127.0.0.1:9/run.swf\"\r\n\"http://127.0.0.1:9/paused.swf\"\r\n"
              "\"http://127.0.0.1:9/wait.swf\"\r\n\"http://127.0.0.1:9/done.swf\"\r\n"
              "\"http://127.0.0.1:9/failed.swf\"\r\n\"http://127.0.0.1:9/q%22uote.swf\"\r\n"
              "\"\"\r\n");
    // An empty category gives an empty file; the dialog starts in the folder chosen last.
    Show("102k");
    w->Categories()->commands()->ExportListAction()->trigger();
    auto* again = Shown<QFileDialog>("dlgSaveFile");
    ASSERT_TRUE(again);
    EXPECT_EQ(QDir(again->directory()).canonicalPath(), QDir(dir).canonicalPath());
    Choose("dlgSaveFile", dir + "/empty.txt");
    ASSERT_TRUE(QFile::exists(dir + "/empty.txt"));
    EXPECT_EQ(TestEnv::ReadFile(dir + "/empty.txt"), "");

    // The current downloads export the jobs of their rows.
    Settings.Maxjobs = 0;
    w->Manager()->AddToNowDownList(3);  // wait.swf
    w->Manager()->AddToNowDownList(2);  // paused.swf
    Show("NowDownLoad");
    A("mnuFile_ExportList")->trigger();
    Choose("dlgSaveFile", dir + "/current.lst");
    EXPECT_EQ(TestEnv::ReadFile(dir + "/current.lst"),
              "\"http://127.0.0.1:9/wait.swf\"\r\n\"http://127.0.0.1:9/paused.swf\"\r\n");

    // Everything goes; the list comes back as new downloads of the category shown, with a blank
    // line and a line that is no URL skipped (only the latter told, once). Nothing may start.
    Settings.Maxjobs = 0;
    for (int i = 1; i <= JobCount; ++i) Jobs[i].ClassKey = "Recely_Really";
    QByteArray list = TestEnv::ReadFile(dir + "/cartoon.lst");
    list += "\r\n   \r\nnot a url\r\nhttp://127.0.0.1:9/plain.swf\n";
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/back.lst", list));
    Show("101k");
    const int before = JobCount;
    A("mnuFile_ImportList")->trigger();
    Choose("dlgOpenList", dir + "/back.lst");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("1 line(s)")) << messages[0].toStdString();
    QStringList imported;
    for (int i = before + 1; i <= JobCount; ++i) {
        imported << Jobs[i].Url;
        EXPECT_EQ(Jobs[i].ClassKey, "101k");
        EXPECT_EQ(Jobs[i].State, StateWaiting);
        EXPECT_EQ(Jobs[i].LocalFile, category + Jobs[i].FileName);
        EXPECT_EQ(Jobs[i].Parts, Settings.Parts);
        EXPECT_TRUE(w->Manager()->HasRow(i));
    }
    QStringList expected = urls;
    expected[5] = "http://127.0.0.1:9/q%22uote.swf";
    expected << "http://127.0.0.1:9/plain.swf";
    EXPECT_EQ(imported, expected);

    // A second import of the same list adds nothing: every URL has its job.
    messages.clear();
    A("mnuFile_ImportList")->trigger();
    Choose("dlgOpenList", dir + "/back.lst");
    EXPECT_EQ(JobCount, before + expected.size());

    // What was saved is what a new start reads.
    w->Saver()->WaitForWrites();
    w->Saver()->SaveNow();
    ClearJobs();
    CategoryTree tree;
    ASSERT_TRUE(LoadJobDb(tree, JobDbFile).complete);
    QStringList reread;
    for (int i = 1; i <= JobCount; ++i)
        if (Jobs[i].ClassKey == "101k") reread << Jobs[i].Url;
    EXPECT_EQ(reread, expected);
}

TEST_F(JobLists, ImportPreviousFileWithAndWithoutMoveFile) {
    Show("101k");
    ASSERT_TRUE(A("tbMain_AddPf")->isEnabled());
    const QString src = TestEnv::NewDir("old");
    ASSERT_TRUE(TestEnv::WriteFile(src + "/keep.swf", QByteArray(1234, 'k')));
    ASSERT_TRUE(TestEnv::WriteFile(src + "/move.swf", QByteArray(777, 'm')));
    ASSERT_TRUE(TestEnv::WriteFile(src + "/move.swf_files/data/level.xml", "lv"));

    A("tbMain_AddPf")->trigger();
    QDialog* pf = Shown<QDialog>("frmAddPf");
    ASSERT_TRUE(pf);
    EXPECT_EQ(pf->windowTitle(), "Import Previous File . . .");
    EXPECT_EQ(Child<QComboBox>(pf, "cmbClass")->currentData().toString(), "101k");
    EXPECT_EQ(Child<QLineEdit>(pf, "txtDir")->text(), category);
    // The two checks, with the information icon.
    Child<QPushButton>(pf, "cmdImport")->click();
    Child<QLineEdit>(pf, "txtFileName")->setText(src + "/none.swf");
    Child<QPushButton>(pf, "cmdImport")->click();
    EXPECT_EQ(messages, (QStringList{"Please Input FileName First!", "The File Not Found!"}));
    EXPECT_TRUE(pf->isVisible());

    auto saves = CountSaves();
    Child<QLineEdit>(pf, "txtFileName")->setText(src + "/keep.swf");
    EXPECT_EQ(Child<QLineEdit>(pf, "txtFileSize")->text(), "1234");
    EXPECT_FALSE(Child<QLineEdit>(pf, "txtFileDate")->text().isEmpty());
    Child<QLineEdit>(pf, "txtRef")->setText("http://127.0.0.1:9/keep.swf");
    Child<QLineEdit>(pf, "txtComment")->setText("from the old disk");
    Child<QPushButton>(pf, "cmdImport")->click();
    EXPECT_FALSE(pf->isVisible());
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].State, StateComplete);
    EXPECT_EQ(Jobs[1].LocalFile, src + "/keep.swf");
    EXPECT_EQ(Jobs[1].FileSize, 1234);
    EXPECT_EQ(Jobs[1].Received, 1234);
    EXPECT_EQ(Jobs[1].ClassKey, "101k");
    EXPECT_EQ(Jobs[1].Url, "http://127.0.0.1:9/keep.swf");
    EXPECT_EQ(Jobs[1].Comment, "from the old disk");
    EXPECT_TRUE(Jobs[1].FileName.isEmpty());
    EXPECT_TRUE(QFile::exists(src + "/keep.swf"));
    EXPECT_TRUE(TestEnv::WaitFor([&] { return saves->size() == 1; }));

    // Moved, with its files: in the category's folder and no longer where it was; the row shows.
    w->Categories()->commands()->ImportFileAction()->trigger();
    pf = Shown<QDialog>("frmAddPf");
    ASSERT_TRUE(pf);
    Child<QLineEdit>(pf, "txtFileName")->setText(src + "/move.swf");
    Child<QCheckBox>(pf, "chkMoveFile")->setChecked(true);
    Child<QPushButton>(pf, "cmdImport")->click();
    ASSERT_EQ(JobCount, 2);
    EXPECT_EQ(Jobs[2].LocalFile, category + "move.swf");
    EXPECT_EQ(TestEnv::ReadFile(category + "move.swf"), QByteArray(777, 'm'));
    EXPECT_FALSE(QFile::exists(src + "/move.swf"));
    EXPECT_EQ(TestEnv::ReadFile(category + "move.swf_files/data/level.xml"), "lv");
    EXPECT_FALSE(QFileInfo::exists(src + "/move.swf_files"));
    EXPECT_EQ(RowTexts(List("lvHaveDown"), 0), (QStringList{"keep.swf", "move.swf"}));
    EXPECT_EQ(messages.size(), 2);  // nothing more to tell
}

TEST_F(JobLists, ImportPreviousBatchFileTicksSelectsAndMovesWhatItCan) {
    const QString src = TestEnv::NewDir("batch");
    for (const char* name : {"a.swf", "b.swf", "c.SWF", "d.zip"})
        ASSERT_TRUE(TestEnv::WriteFile(src + "/" + name, QByteArray(qstrlen(name) * 100, 'x')));
    Show("101k");
    A("mnuFile_AddPbf")->trigger();
    QDialog* pbf = Shown<QDialog>("frmAddPbf");
    ASSERT_TRUE(pbf);
    EXPECT_EQ(pbf->windowTitle(), "Import Previous Batch File . . .");
    Child<QPushButton>(pbf, "cmdImport")->click();
    Child<QLineEdit>(pbf, "txtDirName")->setText(src + "/missing");
    Child<QPushButton>(pbf, "cmdImport")->click();
    EXPECT_EQ(messages, (QStringList{"Please Select Folder First!", "The folder Not Found!"}));

    // Typing an existing folder lists it for the pattern.
    Child<QLineEdit>(pbf, "txtDirName")->setText(src + "/");
    auto* lvFile = Child<QTreeWidget>(pbf, "lvFile");
    EXPECT_EQ(RowTexts(lvFile, 0), (QStringList{"a.swf", "b.swf", "c.SWF"}));
    EXPECT_EQ(RowTexts(lvFile, 1), (QStringList{"500", "500", "500"}));
    Child<QComboBox>(pbf, "Combo1")->setCurrentText("*.zip");
    EXPECT_EQ(RowTexts(lvFile, 0), (QStringList{"d.zip"}));
    Child<QComboBox>(pbf, "Combo1")->setCurrentText("*.swf");

    // Select All, Invert, Check All Selection, Uncheck All Selection, Check All.
    auto checked = [&] {
        QStringList out;
        for (int r = 0; r < lvFile->topLevelItemCount(); ++r)
            if (lvFile->topLevelItem(r)->checkState(0) == Qt::Checked)
                out << lvFile->topLevelItem(r)->text(0);
        return out;
    };
    lvFile->topLevelItem(1)->setSelected(true);
    Child<QPushButton>(pbf, "cmdInvert")->click();
    Child<QPushButton>(pbf, "cmdCheckSelection")->click();
    EXPECT_EQ(checked(), (QStringList{"a.swf", "c.SWF"}));
    Child<QPushButton>(pbf, "cmdSelectAll")->click();
    Child<QPushButton>(pbf, "cmdUncheckSelection")->click();
    EXPECT_EQ(checked(), QStringList());

    // Nothing ticked: no job, and still one save.
    auto saves = CountSaves();
    Child<QPushButton>(pbf, "cmdImport")->click();
    EXPECT_EQ(JobCount, 0);
    EXPECT_TRUE(TestEnv::WaitFor([&] { return saves->size() == 1; }));
    TestEnv::NothingWithin(1500);
    EXPECT_EQ(saves->size(), 1);

    // All three moved into the category folder, where b.swf and c.SWF_files exist already: a
    // moves (with its files), b and c are imported from where they are, the user is told once.
    ASSERT_TRUE(TestEnv::WriteFile(category + "b.swf", "someone else's"));
    ASSERT_TRUE(TestEnv::WriteFile(src + "/a.swf_files/part2.swf", "a2"));
    ASSERT_TRUE(TestEnv::WriteFile(src + "/c.SWF_files/part2.swf", "c2"));
    ASSERT_TRUE(TestEnv::WriteFile(category + "c.SWF_files/part2.swf", "theirs"));
    messages.clear();
    A("mnuFile_AddPbf")->trigger();
    pbf = Shown<QDialog>("frmAddPbf");
    Child<QLineEdit>(pbf, "txtDirName")->setText(src);
    Child<QCheckBox>(pbf, "chkMoveFile")->setChecked(true);
    Child<QPushButton>(pbf, "cmdCheckAll")->click();
    Child<QPushButton>(pbf, "cmdImport")->click();
    ASSERT_EQ(JobCount, 3);
    EXPECT_EQ(Jobs[1].LocalFile, category + "a.swf");
    EXPECT_EQ(Jobs[2].LocalFile, src + "/b.swf");
    EXPECT_EQ(Jobs[3].LocalFile, src + "/c.SWF");
    EXPECT_EQ(Jobs[2].FileSize, 500);
    EXPECT_FALSE(QFile::exists(src + "/a.swf"));
    EXPECT_EQ(TestEnv::ReadFile(category + "a.swf_files/part2.swf"), "a2");
    EXPECT_EQ(TestEnv::ReadFile(src + "/c.SWF_files/part2.swf"), "c2");
    EXPECT_EQ(TestEnv::ReadFile(category + "c.SWF_files/part2.swf"), "theirs");
    EXPECT_TRUE(QFile::exists(src + "/b.swf"));
    EXPECT_EQ(TestEnv::ReadFile(category + "b.swf"), "someone else's");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(src + "/b.swf")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(src + "/c.SWF"));
    EXPECT_FALSE(messages[0].contains("a.swf"));

    // A move onto the folder the files are in leaves them as they are, untold.
    ASSERT_TRUE(w->Tree().SetTag("102k", src + "/"));
    messages.clear();
    Show("102k");
    A("mnuFile_AddPbf")->trigger();
    pbf = Shown<QDialog>("frmAddPbf");
    Child<QLineEdit>(pbf, "txtDirName")->setText(src);
    Child<QCheckBox>(pbf, "chkMoveFile")->setChecked(true);
    Child<QPushButton>(pbf, "cmdCheckAll")->click();
    Child<QPushButton>(pbf, "cmdImport")->click();
    ASSERT_EQ(JobCount, 5);
    EXPECT_EQ(Jobs[4].LocalFile, src + "/b.swf");
    EXPECT_EQ(TestEnv::ReadFile(src + "/b.swf"), QByteArray(500, 'x'));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(JobLists, RenameSortingAndKeys) {
    const QString dir = DefaultDownDir;
    const int big = Job("101k", StateComplete, "http://127.0.0.1:9/big.swf", 100);
    const int small = Job("101k", StateComplete, "http://127.0.0.1:9/small.swf", 9);
    const int mid = Job("101k", StateComplete, "http://127.0.0.1:9/mid.swf", 20);
    for (int j : {big, small, mid}) ASSERT_TRUE(TestEnv::WriteFile(Jobs[j].LocalFile, "swf"));
    ASSERT_TRUE(TestEnv::WriteFile(dir + "taken.swf", "other"));
    Show("101k");
    QTreeWidget* lv = List("lvHaveDown");

    // Sizes sort as numbers, both ways; a click on the name sorts by name.
    QHeaderView* head = lv->header();
    auto clickHeader = [&](int section) {
        QTest::mouseClick(head->viewport(), Qt::LeftButton, {},
                          QPoint(head->sectionViewportPosition(section) + 5, 5));
    };
    clickHeader(1);
    EXPECT_EQ(RowTexts(lv, 1), (QStringList{"9", "20", "100"}));
    clickHeader(1);
    EXPECT_EQ(RowTexts(lv, 1), (QStringList{"100", "20", "9"}));
    clickHeader(0);
    EXPECT_EQ(RowTexts(lv, 0), (QStringList{"big.swf", "mid.swf", "small.swf"}));
    // A refill (a download finished) keeps the sorted order and the row the user chose.
    lv->setCurrentItem(lv->topLevelItem(1));
    w->Categories()->view()->Refill();
    EXPECT_EQ(RowTexts(lv, 0), (QStringList{"big.swf", "mid.swf", "small.swf"}));
    ASSERT_EQ(lv->selectedItems().size(), 1);
    EXPECT_EQ(lv->selectedItems()[0]->text(0), "mid.swf");

    // Ctrl+A selects all rows; with two chosen Rename is off, with one on.
    lv->setFocus();
    QTest::keyClick(lv, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(lv->selectedItems().size(), 3);
    EXPECT_FALSE(A("mnuEdit_Rename")->isEnabled());
    lv->clearSelection();
    lv->setCurrentItem(lv->topLevelItem(2));  // small.swf
    EXPECT_TRUE(A("mnuEdit_Rename")->isEnabled());

    // Ctrl+C copies its URL; Enter opens its file.
    QTest::keyClick(lv, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "http://127.0.0.1:9/small.swf");
    {
        OpenedFiles opened;
        QTest::keyClick(lv, Qt::Key_Return);
        EXPECT_EQ(opened.urls, (QList<QUrl>{QUrl::fromLocalFile(dir + "small.swf")}));
    }

    // Rename refuses an empty name, a "/" and an existing name, then renames.
    auto rename = [&](const QString& name) {
        A("mnuEdit_Rename")->trigger();
        auto* ask = Shown<QInputDialog>("dlgRename");
        ASSERT_TRUE(ask);
        EXPECT_EQ(ask->textValue(), QFileInfo(Jobs[small].LocalFile).fileName());
        ask->setTextValue(name);
        ask->accept();
    };
    for (const QString& name : {QString(""), QString("sub/x.swf"), QString("taken.swf")})
        rename(name);
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[0], "Please input a file name.");
    EXPECT_TRUE(messages[1].contains("\"/\""));
    EXPECT_TRUE(messages[2].contains("exists already"));
    EXPECT_EQ(Jobs[small].LocalFile, dir + "small.swf");
    EXPECT_EQ(TestEnv::ReadFile(dir + "taken.swf"), "other");
    rename("tiny.swf");
    EXPECT_EQ(Jobs[small].LocalFile, dir + "tiny.swf");
    EXPECT_TRUE(QFile::exists(dir + "tiny.swf"));
    EXPECT_FALSE(QFile::exists(dir + "small.swf"));
    EXPECT_TRUE(RowTexts(lv, 0).contains("tiny.swf"));

    // Delete sends the chosen job to the recycle bin.
    lv->clearSelection();
    lv->setCurrentItem(lv->topLevelItem(0));
    w->EnabledTb();
    QTest::keyClick(lv, Qt::Key_Delete);
    EXPECT_EQ(Jobs[big].ClassKey, "Recely");

    // Ctrl+N, Ctrl+B and Ctrl+F open the new-job dialog in its modes; the menus show the keys.
    EXPECT_EQ(A("mnuJob_AddNew")->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(A("mnuJob_AddBatch")->shortcut(), QKeySequence("Ctrl+B"));
    EXPECT_EQ(A("mnuJob_AddSearch")->shortcut(), QKeySequence("Ctrl+F"));
    EXPECT_EQ(A("mnuHelp_Topic")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(A("mnuFile_Exit")->shortcut(), QKeySequence("Ctrl+Q"));
    QTest::keyClick(lv, Qt::Key_N, Qt::ControlModifier);
    QDialog* job = Shown<QDialog>("frmNewDown1");
    ASSERT_TRUE(job);
    job->reject();
    {
        OpenedFiles opened;
        QTest::keyClick(lv, Qt::Key_F1);
        EXPECT_EQ(opened.urls, (QList<QUrl>{QUrl::fromLocalFile(AppDir + "/help.htm")}));
    }
}

TEST_F(JobLists, DoneExitEndsTheProgramAfterItsMessageAndCancelKeepsIt) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.Started());
    Settings.DoneExit = 1;
    Settings.Maxjobs = 8;
    w->Done()->SetSeconds(1, 1);

    // Cancel: the program stays.
    const int first = Download(nginx, "first.swf");
    auto* box = ShownBox("msgDoneExit", 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(Jobs[first].State, StateComplete);
    EXPECT_TRUE(box->text().contains("exit in 1 seconds")) << box->text().toStdString();
    box->button(QMessageBox::Cancel)->click();
    TestEnv::NothingWithin(2000);
    EXPECT_FALSE(w->CloseStepDone());
    EXPECT_TRUE(w->isVisible());

    // A pause of the last running job is no end of the downloads.
    Settings.DoneExit = 1;
    const int paused = Download(nginx, "paused.swf");
    w->Manager()->PauseJob(paused);
    TestEnv::NothingWithin(300);
    EXPECT_FALSE(Shown<QMessageBox>("msgDoneExit"));

    // Left to count down: the program ends as File > Exit does, and the jobs are saved.
    const int second = Download(nginx, "second.swf");
    EXPECT_EQ(TestEnv::RunUntilQuit(20000), 0);
    EXPECT_EQ(Jobs[second].State, StateComplete);
    EXPECT_TRUE(w->CloseStepDone());
    ClearJobs();
    CategoryTree tree;
    ASSERT_TRUE(LoadJobDb(tree, JobDbFile).complete);
    ASSERT_GE(JobCount, second);
    EXPECT_EQ(Jobs[second].State, StateComplete);
}

TEST_F(JobLists, DownShutDownAsksLogindToPowerOffAndSaysWhenItIsRefused) {
    // A private bus stands in for the system bus.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                                 "--address=unix:dir=" + TestEnv::NewDir("bus")});
    ASSERT_TRUE(daemon.waitForStarted(5000));
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QByteArray address = daemon.readLine().trimmed();
    ASSERT_FALSE(address.isEmpty());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    QDBusConnection standIn = QDBusConnection::connectToBus(QString::fromUtf8(address), "logind");
    ASSERT_TRUE(standIn.isConnected());
    ASSERT_TRUE(standIn.registerService("org.freedesktop.login1"));
    StandInLogind logind;
    ASSERT_TRUE(standIn.registerVirtualObject("/org/freedesktop/login1", &logind));

    NginxServer nginx;
    ASSERT_TRUE(nginx.Started());
    Settings.DownShutDown = 1;
    Settings.Maxjobs = 8;
    w->Done()->SetSeconds(1, 1);
    Download(nginx, "last.swf");
    ASSERT_TRUE(ShownBox("msgDoneShutDown", 10000));
    EXPECT_TRUE(Shown<QMessageBox>("msgDoneShutDown")->text().contains("shut down"));
    ASSERT_TRUE(TestEnv::WaitFor([&] { return logind.calls.load() == 1; }));
    EXPECT_EQ(logind.Args(), QVariantList{false});
    TestEnv::NothingWithin(300);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(w->CloseStepDone());  // DoneExit is not ticked

    // Cancel: nothing is asked.
    w->Done()->DownloadsDone();
    ASSERT_TRUE(Shown<QMessageBox>("msgDoneShutDown"));
    Shown<QMessageBox>("msgDoneShutDown")->button(QMessageBox::Cancel)->click();
    TestEnv::NothingWithin(1800);
    EXPECT_EQ(logind.calls.load(), 1);

    // Refused: the user is told.
    logind.refuse = true;
    w->Done()->DownloadsDone();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return !messages.isEmpty(); }));
    EXPECT_EQ(logind.calls.load(), 2);
    EXPECT_TRUE(messages[0].startsWith("The computer could not be shut down: Permission denied"))
        << messages[0].toStdString();
    standIn.unregisterObject("/org/freedesktop/login1");
    QDBusConnection::disconnectFromBus("logind");
    daemon.terminate();
    daemon.waitForFinished(3000);
}

TEST_F(JobLists, AutoBackKeepsTheTenNewestCopiesOfTheDatabaseOnExit) {
    const QString backup = DataDir + "/backup/";
    ASSERT_TRUE(QDir().mkpath(backup));
    for (int k = 10; k < 22; ++k)
        ASSERT_TRUE(
            TestEnv::WriteFile(backup + QString("default-20200101-0000%1.qvb").arg(k), "old"));
    Job("101k", StateComplete, "http://127.0.0.1:9/kept.swf");
    Settings.AutoBack = 1;
    A("mnuFile_Exit")->trigger();
    ASSERT_TRUE(w->CloseStepDone());
    const QStringList copies = QDir(backup).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(copies.size(), 10);
    EXPECT_EQ(copies.first(), "default-20200101-000013.qvb");
    const QString newest = copies.last();
    EXPECT_TRUE(newest.startsWith("default-" + QDate::currentDate().toString("yyyyMMdd") + "-"))
        << newest.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(backup + newest), TestEnv::ReadFile(JobDbFile));
    EXPECT_TRUE(TestEnv::ReadFile(backup + newest).contains("kept.swf"));
}

TEST_F(JobLists, PausingAJobWhoseServerCannotResumeAsksUnlessStillDownload) {
    // This server ignores ranges: the range test fails and the job cannot resume.
    NginxServer nginx("max_ranges 0; limit_rate 40k;");
    ASSERT_TRUE(nginx.Started());
    Settings.Maxjobs = 8;
    ASSERT_TRUE(nginx.Put("long.swf", TestEnv::RandomBytes(400000, 7)));
    const int j = AddJob(TestJobs::Download("101k", nginx.Url("/long.swf"), category, 2));
    Show("NowDownLoad");
    w->Manager()->AddToNowDownList(j);
    QTreeWidget* lv = List("lvNowDown");
    ASSERT_EQ(lv->topLevelItemCount(), 1);
    TestEnv::ClickRow(lv->topLevelItem(0));
    ASSERT_EQ(w->Manager()->SelectedJobs(), QList<int>{j});
    ASSERT_TRUE(TestEnv::WaitFor([&] { return w->Manager()->PauseRestartsFromZero(j); }));
    w->EnabledTb();
    ASSERT_TRUE(A("mnuJob_Pause")->isEnabled());

    // Asked, and No keeps it running; Yes pauses it.
    // Looks for the question every 50 ms for a while (a loaded machine may be slow to show it)
    // and answers it once.
    auto answer = [this](QMessageBox::StandardButton button, QString* text) {
        auto* poll = new QTimer(w.get());
        auto tries = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, button, text] {
            auto* box = Shown<QMessageBox>("msgPauseNoResume");
            if (box) {
                *text = box->text();
                box->button(button)->click();
            }
            if (box || ++*tries > 40) poll->deleteLater();
        });
        poll->start(50);
    };
    QString asked;
    answer(QMessageBox::No, &asked);
    A("mnuJob_Pause")->trigger();
    EXPECT_TRUE(asked.contains("long.swf")) << asked.toStdString();
    EXPECT_EQ(Jobs[j].State, StateRunning);
    EXPECT_TRUE(A("mnuJob_Pause")->isEnabled());
    asked.clear();
    answer(QMessageBox::Yes, &asked);
    ASSERT_EQ(w->Manager()->SelectedJobs(), QList<int>{j});
    A("mnuJob_Pause")->trigger();
    EXPECT_FALSE(asked.isEmpty());
    EXPECT_EQ(Jobs[j].State, StatePaused);

    // With StillDownload nothing is asked.
    Settings.StillDownload = 1;
    w->Manager()->StartJob(j);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return w->Manager()->PauseRestartsFromZero(j); }));
    w->EnabledTb();
    asked.clear();
    answer(QMessageBox::No, &asked);
    A("mnuJob_Pause")->trigger();
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(Jobs[j].State, StatePaused);
    // Nor later: the question does not come late, and the job stays paused.
    TestEnv::NothingWithin(200);
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(Jobs[j].State, StatePaused);
}

#include "test_joblists.moc"
