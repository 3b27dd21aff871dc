// Real downloads from nginx through the eight slots: completion with its final name and
// statistics, the next waiting job taking the freed slot, request errors, the job message window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTreeWidget>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/DownloadSlot.h"
#include "manager/BlockPicture.h"
#include "manager/DownInfoPane.h"
#include "manager/ManagerTestKit.h"
#include "manager/NowDownView.h"
#include "manager/clsJobManager.h"
#include "manager/frmJobmessage.h"
#include "store/JobLog.h"
#include "store/VbDate.h"

using namespace ManagerTestKit;

namespace {

class Completion : public ::testing::Test {
protected:
    void SetUp() override {
        ResetJobs(1);
        Settings.UseQV = 1;
        Settings.PopMessage = 1;
        InitJobLog();
        folder = TestEnv::NewDir("done") + "/";
        ASSERT_TRUE(nginx.Started());
    }
    void TearDown() override { ClearJobs(); }
    const JobRecord& Job(int j) const { return Jobs[static_cast<size_t>(j)]; }

    NginxServer nginx{"location /slow/ { limit_rate 400k; }"};
    QString folder;
};

TEST_F(Completion, JobsFinishWithTheirFinalNameStatisticsAndTheNextWaitingJobStarts) {
    const QByteArray big = TestEnv::RandomBytes(700 * 1024, 7);
    const QByteArray small = TestEnv::RandomBytes(120 * 1024 + 17, 8);
    ASSERT_TRUE(nginx.Put("/slow/a.swf", big));
    ASSERT_TRUE(nginx.Put("/b.swf", small));
    clsJobManager manager;
    NowDownView view(&manager);
    DownInfoPane pane(&manager);
    pane.resize(700, 260);
    pane.show();
    QSignalSpy completed(&manager, &clsJobManager::JobCompleted);
    QSignalSpy messages(&manager, &clsJobManager::JobMessage);
    QSignalSpy statebar(&manager, &clsJobManager::StatebarReset);

    const double before = VbDate::Now();
    const int a = AddJob(NewJob(nginx.Url("/slow/a.swf"), folder, 4, StateWaiting));
    const int b = AddJob(NewJob(nginx.Url("/b.swf"), folder, 2, StateWaiting));
    manager.AddToNowDownList(a);
    manager.AddToNowDownList(b);
    EXPECT_EQ(manager.SlotJob(1), a);
    EXPECT_EQ(Job(b).State, StateWaiting);
    EXPECT_EQ(manager.RowIcon(b), StateWaiting);

    // Watch job a: its parts, and the picture as data arrives.
    manager.ChooseJob(a);
    ASSERT_TRUE(WaitFor([&] { return Job(a).Received > 0; }));
    EXPECT_EQ(pane.DetailPane()->currentWidget(), pane.PictureArea());
    EXPECT_TRUE(WaitFor([&] { return pane.Picture()->Job() == a; }));
    int panesAtCompletion = -1;
    QObject::connect(&manager, &clsJobManager::JobCompleted, &manager, [&](int j) {
        if (j == a)
            panesAtCompletion = pane.PartTree()->topLevelItemCount() +
                                pane.ConnectionLog()->topLevelItemCount() + pane.Picture()->Job();
    });
    ASSERT_TRUE(WaitFor([&] { return completed.size() == 2; }, 30000));
    EXPECT_EQ(completed.at(0).at(0).toInt(), a);
    EXPECT_EQ(completed.at(1).at(0).toInt(), b);
    EXPECT_EQ(panesAtCompletion, 0);
    EXPECT_EQ(manager.ShownJob(), 0);
    EXPECT_EQ(manager.ShownSlot(), 0);
    // b waited for the only slot and took it when a was done.
    EXPECT_EQ(manager.SlotJob(1), b);
    EXPECT_FALSE(manager.Slot(1)->InUse());
    EXPECT_EQ(statebar.size(), 1);

    const double after = VbDate::Now();
    for (int j : {a, b}) {
        const JobRecord& job = Job(j);
        EXPECT_EQ(job.State, StateComplete);
        EXPECT_FALSE(job.LocalFile.endsWith("!qv"));
        EXPECT_EQ(job.LocalFile, folder + job.FileName);
        EXPECT_EQ(TestEnv::ReadFile(job.LocalFile), j == a ? big : small);
        EXPECT_FALSE(QFile::exists(job.LocalFile + "!qv"));
        EXPECT_GE(job.CompleteTime, before);
        EXPECT_LE(job.CompleteTime, after);
        EXPECT_GT(job.RunTime, 0);
        EXPECT_DOUBLE_EQ(job.TimeElapsed, job.RunTime);
        EXPECT_FLOAT_EQ(job.AvgSpeed, clsJobManager::AverageSpeed(job.FileSize, job.TimeElapsed));
        EXPECT_FALSE(manager.HasRow(j));
        EXPECT_EQ(view.Row(j), nullptr);
        EXPECT_EQ(job.Received, job.FileSize);
    }
    // a took about 700 KiB / (4 x 400 KiB/s): more than a second, its speed is real.
    EXPECT_GT(VbDate::DurationSeconds(Job(a).TimeElapsed), 0.3);
    EXPECT_EQ(view.topLevelItemCount(), 0);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.at(0).at(0).toString(), "Job complete." + nginx.Url("/slow/a.swf"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
}

TEST_F(Completion, ARequestErrorFailsTheJobOnceAndFreesItsSlot) {
    ASSERT_TRUE(nginx.Put("/ok.swf", TestEnv::RandomBytes(4000, 3)));
    clsJobManager manager;
    QSignalSpy completed(&manager, &clsJobManager::JobCompleted);
    const int missing = AddJob(NewJob(nginx.Url("/missing.swf"), folder, 2, StateWaiting));
    const int ok = AddJob(NewJob(nginx.Url("/ok.swf"), folder, 2, StateWaiting));
    manager.AddToNowDownList(missing);
    manager.AddToNowDownList(ok);
    ASSERT_TRUE(WaitFor([&] { return completed.size() == 1; }));
    EXPECT_EQ(Job(missing).State, StateError);
    EXPECT_EQ(manager.RowIcon(missing), StateError);
    EXPECT_TRUE(manager.HasRow(missing));
    EXPECT_EQ(Job(ok).State, StateComplete);
    int errors = 0;
    for (int32_t e : LogEntryNumbers(manager.RowTag(missing)))
        if (JobLog[static_cast<size_t>(e)].LogText == "Request Url Error! 404") ++errors;
    EXPECT_EQ(errors, 1);

    // A URL that cannot be split fails at once and the queue moves on.
    QSignalSpy again(&manager, &clsJobManager::JobCompleted);
    ASSERT_TRUE(nginx.Put("/ok2.swf", TestEnv::RandomBytes(3000, 4)));
    Settings.Maxjobs = 0;
    const int bad = AddJob(NewJob("nothing-here", folder, 1, StateWaiting));
    const int next = AddJob(NewJob(nginx.Url("/ok2.swf"), folder, 1, StateWaiting));
    manager.AddToNowDownList(bad);
    manager.AddToNowDownList(next);
    Settings.Maxjobs = 1;
    EXPECT_TRUE(manager.StartNextWaiting());
    EXPECT_EQ(Job(bad).State, StateError);
    EXPECT_EQ(manager.RowIcon(bad), StateError);
    ASSERT_TRUE(WaitFor([&] { return again.size() == 1; }));
    EXPECT_EQ(Job(next).State, StateComplete);
}

TEST_F(Completion, TheJobMessageWindowGathersOneLinePerJobWhileOpen) {
    ASSERT_TRUE(nginx.Put("/m1.swf", TestEnv::RandomBytes(1000, 5)));
    ASSERT_TRUE(nginx.Put("/m2.swf", TestEnv::RandomBytes(1000, 6)));
    clsJobManager manager;
    QWidget owner;
    frmJobmessage::ConnectTo(&manager, &owner);
    QSignalSpy completed(&manager, &clsJobManager::JobCompleted);
    Settings.Maxjobs = 2;
    manager.AddToNowDownList(AddJob(NewJob(nginx.Url("/m1.swf"), folder, 1, StateWaiting)));
    manager.AddToNowDownList(AddJob(NewJob(nginx.Url("/m2.swf"), folder, 1, StateWaiting)));
    ASSERT_TRUE(WaitFor([&] { return completed.size() == 2; }));
    auto* window = owner.findChild<frmJobmessage*>("frmJobmessage");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Job message");
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    auto* list = window->findChild<QListWidget*>("List1");
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(0)->text().startsWith("Job complete.http://127.0.0.1:"));
    auto* ok = window->findChild<QPushButton*>("cmdOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "&OK");
    ok->click();
    EXPECT_FALSE(window->isVisible());

    // Without PopMessage nothing is shown.
    Settings.PopMessage = 0;
    ASSERT_TRUE(nginx.Put("/m3.swf", TestEnv::RandomBytes(1000, 9)));
    manager.AddToNowDownList(AddJob(NewJob(nginx.Url("/m3.swf"), folder, 1, StateWaiting)));
    ASSERT_TRUE(WaitFor([&] { return completed.size() == 3; }));
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
