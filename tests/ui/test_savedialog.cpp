// "Save Flash" in the real main window, its cache answered from real files: the name check, the
// copy and its complete job (twice under two names), a target that exists (asked, No keeps it),
// a copy that fails (no job, the reason told), the hand-off to the new-job dialog on Yes, a new
// scan's list taken by the open dialog, rows out of the cache told under the preview, a movie
// downloaded before asked about, the folder dialog's title, and the finder without the browser
// extension.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>

#include "browser/FoundMovies.h"
#include "browser/HandoffReceiver.h"
#include "common/TestEnv.h"
#include "common/TestJobs.h"
#include "common/TestWidgets.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "player/SwfBuilder.h"
#include "player/flash1.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/FloatingTools.h"
#include "ui/frmDragMessage.h"
#include "ui/frmMain.h"
#include "ui/frmSaveSwfto.h"
#include "ui/frmTop.h"
#include "widgets/TreeFill.h"

namespace {

using TestEnv::ShownBox;

class SaveDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
        cache = TestEnv::NewDir("cache");
        ASSERT_TRUE(TestEnv::WriteFile(cache + "/a.swf", movie));
        window = std::make_unique<frmMain>();
        window->Load();
        window->show();
        // The browser's cache: a.swf is in it, everything else is not.
        window->Floating()->SetCacheLookup(
            [this](const QString& url, std::function<void(bool, const QString&)> done) {
                ++lookups;
                if (url.endsWith("/a.swf"))
                    done(true, cache + "/a.swf");
                else
                    done(false, QString());
            });
    }
    void TearDown() override {
        if (frmNewDown1* d = window->NewJobs()->Loaded()) d->reject();
        if (frmSaveSwfto* d = window->Floating()->SaveDialog()) d->close();
        TestEnv::Settle();
        window.reset();
        ClearJobs();
        FoundMovies.clear();
        FoundCount = 0;
    }
    frmSaveSwfto* OpenWith(const QStringList& movies) {
        FoundMovies = movies;
        FoundCount = static_cast<int16_t>(movies.size());
        window->Handoff()->RequestDialog();
        frmSaveSwfto* d = nullptr;
        TestEnv::WaitFor(
            [&] {
                d = window->Floating()->SaveDialog();
                return d && d->isVisible() && FoundCount == 0;
            },
            5000);
        return d;
    }
    void Choose(frmSaveSwfto* d, int row) {
        d->ListView1->setCurrentItem(d->ListView1->topLevelItem(row));
    }

    std::unique_ptr<frmMain> window;
    QString cache;
    // A movie of five frames.
    QByteArray movie = SwfBuilder::Fws(
        SwfBuilder::Body(12 * 256, 5,
                         {SwfBuilder::Tag(1, {}), SwfBuilder::Tag(1, {}), SwfBuilder::Tag(1, {}),
                          SwfBuilder::Tag(1, {}), SwfBuilder::Tag(1, {}), SwfBuilder::Tag(0, {})}));
    int lookups = 0;
};

TEST_F(SaveDialogTest, CachedMovieIsCopiedIntoCompleteJobsAndTargetsAreNeverLostSilently) {
    const QString a = "http://127.0.0.1:9/m/a.swf";
    frmSaveSwfto* d = OpenWith({a, "  http://127.0.0.1:9/m/b.swf  "});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->windowTitle(), "Save Flash");
    EXPECT_EQ(d->lblCount->text(), "Quorvanta total have found 2 Flash files in Ie window.");
    EXPECT_EQ(d->ListView1->topLevelItem(1)->text(0), "http://127.0.0.1:9/m/b.swf");
    // Choosing a category puts its folder into "Save To:"; the job is filed under it.
    ASSERT_GT(d->cmbClass1->count(), 1);
    d->cmbClass1->setCurrentIndex(1);
    EXPECT_EQ(d->txtSaveAs1->text(), d->cmbClass1->itemData(1, TreeRoles::Tag).toString());
    const QString key = d->cmbClass1->itemData(1, TreeRoles::Key).toString();
    const QString folder = TestEnv::NewDir("saved");
    d->txtSaveAs1->setText(folder + "/");

    // No name: told, the focus in the name box, nothing saved, the row stays.
    Choose(d, 0);
    d->txtRename->clear();
    QTest::mouseClick(d->cmdSave, Qt::LeftButton);
    QMessageBox* box = ShownBox("msgSave");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Please Input FileName First!");
    box->button(QMessageBox::Ok)->click();
    EXPECT_EQ(JobCount, 0);
    EXPECT_EQ(d->ListView1->topLevelItemCount(), 2);

    // A click on the cached movie's row previews it, the slider set to its frames.
    QTreeWidgetItem* first = d->ListView1->topLevelItem(0);
    QTest::mouseClick(d->ListView1->viewport(), Qt::LeftButton, {},
                      d->ListView1->visualItemRect(first).center());
    EXPECT_EQ(d->txtRename->text(), "a.swf");
    EXPECT_TRUE(TestEnv::WaitFor([&] { return d->myFlash1->Movie() == cache + "/a.swf"; }, 5000));
    EXPECT_EQ(d->Slider1->maximum(), 5);
    // "<=" takes the row's file name; the copy becomes a complete job.
    d->txtRename->clear();
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    EXPECT_EQ(d->txtRename->text(), "a.swf");
    QTest::mouseClick(d->cmdSave, Qt::LeftButton);
    box = ShownBox("msgSave");
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->text().endsWith("\r\nsucceed .")) << box->text().toStdString();
    box->button(QMessageBox::Ok)->click();
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].State, 4);
    EXPECT_EQ(Jobs[1].LocalFile, folder + "/a.swf");
    EXPECT_EQ(Jobs[1].Url, a);
    EXPECT_EQ(Jobs[1].ClassKey, key);
    EXPECT_EQ(Jobs[1].FileSize, movie.size());
    EXPECT_EQ(TestEnv::ReadFile(folder + "/a.swf"), movie);
    EXPECT_EQ(d->ListView1->topLevelItemCount(), 1);

    // A new scan while the dialog is open: its list replaces the rows.
    d = OpenWith({a});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(FoundCount, 0);

    // The same movie under the same name: asked first; No keeps the file and adds no job.
    ASSERT_TRUE(TestEnv::WriteFile(folder + "/a.swf", "kept"));
    Choose(d, 0);
    d->txtRename->setText("a.swf");
    QTest::mouseClick(d->cmdSave, Qt::LeftButton);
    box = ShownBox("msgOverwrite");
    ASSERT_TRUE(box);
    box->button(QMessageBox::No)->click();
    TestEnv::NothingWithin(50);
    EXPECT_EQ(TestEnv::ReadFile(folder + "/a.swf"), "kept");
    EXPECT_EQ(JobCount, 1);

    // Under a second name: a second complete job.
    d->txtRename->setText("again.swf");
    QTest::mouseClick(d->cmdSave, Qt::LeftButton);
    box = ShownBox("msgSave");
    ASSERT_TRUE(box);
    box->button(QMessageBox::Ok)->click();
    EXPECT_EQ(JobCount, 2);
    EXPECT_EQ(TestEnv::ReadFile(folder + "/again.swf"), movie);

    // A copy that cannot be made (no such folder): the reason told, no job, the row stays.
    d = OpenWith({a});
    Choose(d, 0);
    d->txtSaveAs1->setText(folder + "/missing/");
    d->txtRename->setText("x.swf");
    QTest::mouseClick(d->cmdSave, Qt::LeftButton);
    box = ShownBox("msgSave");
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->text().startsWith("Could not save " + folder + "/missing/x.swf"))
        << box->text().toStdString();
    box->button(QMessageBox::Ok)->click();
    EXPECT_EQ(JobCount, 2);
    EXPECT_EQ(d->ListView1->topLevelItemCount(), 1);
}

TEST_F(SaveDialogTest, UncachedMovieAsksAndYesOpensTheNewJobDialogWithIt) {
    frmSaveSwfto* d = OpenWith({"http://127.0.0.1:9/m/b.swf", "http://127.0.0.1:9/m/c.swf"});
    ASSERT_TRUE(d);
    d->txtComment->setText("later");
    // No: the row goes, nothing else happens.
    Choose(d, 0);
    QTest::mouseClick(d->cmdSave, Qt::LeftButton);
    QMessageBox* ask = ShownBox("msgDownload");
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->icon(), QMessageBox::Information);
    ask->button(QMessageBox::No)->click();
    EXPECT_TRUE(TestEnv::WaitFor([&] { return d->ListView1->topLevelItemCount() == 1; }, 2000));
    TestEnv::NothingWithin(250);
    EXPECT_EQ(window->NewJobs()->Loaded(), nullptr);
    // Yes: the new-job dialog for one file with the address and the comment.
    Choose(d, 0);
    QTest::mouseClick(d->cmdSave, Qt::LeftButton);
    ask = ShownBox("msgDownload");
    ASSERT_TRUE(ask);
    ask->button(QMessageBox::Yes)->click();
    frmNewDown1* job = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            job = window->NewJobs()->Loaded();
            return job && job->isVisible();
        },
        5000));
    EXPECT_EQ(window->NewJobs()->Memory().Mode, 1);
    EXPECT_EQ(job->txtUrl->text(), "http://127.0.0.1:9/m/c.swf");
    EXPECT_EQ(job->txtComment->text(), "later");
    EXPECT_EQ(d->ListView1->topLevelItemCount(), 0);
    EXPECT_EQ(JobCount, 0);
}

TEST_F(SaveDialogTest, RowsOutOfTheCacheSaySoAndMoviesDownloadedBeforeAreAskedAbout) {
    const QString a = "http://127.0.0.1:9/m/a.swf", b = "http://127.0.0.1:9/m/b.swf",
                  c = "http://127.0.0.1:9/m/c.swf";
    for (const QString& url : {b, c})
        AddJob(TestJobs::Job("101k", StateComplete, url, "/downloads/" + url.section('/', -1)));
    frmSaveSwfto* d = OpenWith({a, b, c});
    ASSERT_TRUE(d);
    // Under the preview: nothing for the cached movie, the reason for the others (whose row
    // also takes the cached movie out of the preview).
    const QString notCached = "Not in the browser's cache: it will be downloaded";
    for (const auto& [row, text, movie] :
         {std::tuple{0, QString(), cache + "/a.swf"}, std::tuple{1, notCached, QString()}}) {
        QTreeWidgetItem* item = d->ListView1->topLevelItem(row);
        QTest::mouseClick(d->ListView1->viewport(), Qt::LeftButton, {},
                          d->ListView1->visualItemRect(item).center());
        EXPECT_EQ(d->lblCache->text(), text) << row;
        EXPECT_EQ(d->myFlash1->Movie(), movie) << row;
    }
    QTest::keyClick(d->ListView1, Qt::Key_Up);  // the keys choose a row as the mouse does
    EXPECT_EQ(d->txtRename->text(), "a.swf");
    EXPECT_EQ(d->myFlash1->Movie(), cache + "/a.swf");

    // Downloaded before: asked first; No skips the movie, Yes hands it to the new-job dialog.
    for (const auto& [url, answer] :
         {std::pair{b, QMessageBox::No}, std::pair{c, QMessageBox::Yes}}) {
        Choose(d, 1);
        ASSERT_EQ(d->ListView1->currentItem()->text(0), url);
        QTest::mouseClick(d->cmdSave, Qt::LeftButton);
        QMessageBox* ask = ShownBox("msgSavedBefore");
        ASSERT_TRUE(ask) << url.toStdString();
        EXPECT_TRUE(ask->text().contains(url + "\nto /downloads/")) << ask->text().toStdString();
        ask->button(answer)->click();
        const int left = answer == QMessageBox::No ? 2 : 1;
        EXPECT_TRUE(TestEnv::WaitFor([&] { return d->ListView1->topLevelItemCount() == left; }));
        if (answer == QMessageBox::No) {
            TestEnv::NothingWithin(250);
            EXPECT_EQ(window->NewJobs()->Loaded(), nullptr);
        }
    }
    frmNewDown1* job = nullptr;
    ASSERT_TRUE(
        TestEnv::WaitFor([&] { return (job = window->NewJobs()->Loaded()) && job->isVisible(); }));
    EXPECT_EQ(job->txtUrl->text(), c);
    EXPECT_EQ(JobCount, 2);

    // The folder dialog of "&Browse".
    QTest::mouseClick(d->cmdDlg1, Qt::LeftButton);
    QFileDialog* folder = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] { return (folder = d->findChild<QFileDialog*>("dlgBrowseFolder")) != nullptr; }, 2000));
    EXPECT_EQ(folder->windowTitle(), "Browsing");
    folder->reject();
}

TEST_F(SaveDialogTest, FinderWithoutTheBrowserExtensionSaysSo) {
    window->Floating()->ShowTop();
    frmTop* top = window->Floating()->Top();
    ASSERT_TRUE(top);
    QLabel* finder = top->Image2;
    const QPointF at = finder->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, finder->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(finder, &press);
    EXPECT_EQ(finder->pixmap().toImage(), top->Image4.toImage());
    const QPointF away = at + QPointF(300, 200);
    QMouseEvent move(QEvent::MouseMove, away, finder->mapToGlobal(away), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(finder, &move);
    frmDragMessage* message = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* m = qobject_cast<frmDragMessage*>(w); m && m->isVisible()) message = m;
            return message != nullptr;
        },
        3000));
    EXPECT_EQ(message->Label1->text(), "Browser extension not connected");
    QMouseEvent release(QEvent::MouseButtonRelease, away, finder->mapToGlobal(away), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(finder, &release);
    EXPECT_FALSE(message->isVisible());
    EXPECT_EQ(finder->pixmap().toImage(), top->Image3.toImage());
    TestEnv::NothingWithin(250);
    EXPECT_EQ(window->Floating()->SaveDialog(), nullptr);
}

}  // namespace
