// Scheduling: which job runs in which slot, when waiting jobs start, what the commands and the
// start-up and exit steps do to the states and the rows.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "common/TestEnv.h"
#include "engine/DownloadSlot.h"
#include "manager/ManagerTestKit.h"
#include "manager/clsJobManager.h"

using namespace ManagerTestKit;

namespace {

class Scheduler : public ::testing::Test {
protected:
    void SetUp() override {
        ResetJobs(2);
        folder = TestEnv::NewDir("sched") + "/";
    }
    void TearDown() override {
        manager.PauseAll();
        ClearJobs();
    }
    int Add(int state, const QString& name = QString()) {
        const int n = JobCount + 1;
        return AddJob(NewJob(server.Url("/" + (name.isEmpty() ? QString("f%1.swf").arg(n) : name)),
                             folder, 1, state));
    }
    int State(int j) const { return Jobs[static_cast<size_t>(j)].State; }
    bool Running(int j) const { return manager.RunningSlot(j) != nullptr; }

    SilentServer server;
    QString folder;
    clsJobManager manager;
};

TEST_F(Scheduler, StartAllFillsTheAllowedSlotsInListOrderAndTheLowestWaitingIndexGoesNext) {
    for (int i = 0; i < 5; ++i) Add(StatePaused);
    // List order differs from index order: 5, 4, 3, 2, 1.
    for (int j = 5; j >= 1; --j) manager.AddToNowDownList(j);
    EXPECT_EQ(manager.RowJobs(), (QList<int>{5, 4, 3, 2, 1}));
    for (int j = 1; j <= 5; ++j) EXPECT_EQ(manager.RowIcon(j), StatePaused);

    manager.StartAll();
    EXPECT_EQ(manager.SlotJob(1), 5);
    EXPECT_EQ(manager.SlotJob(2), 4);
    EXPECT_TRUE(Running(5));
    EXPECT_TRUE(Running(4));
    for (int j : {1, 2, 3}) {
        EXPECT_EQ(State(j), StateWaiting) << j;
        EXPECT_EQ(manager.RowIcon(j), StateWaiting) << j;
        EXPECT_FALSE(Running(j));
    }
    for (int k = 3; k <= 8; ++k) EXPECT_FALSE(manager.Slot(k)->InUse()) << k;

    // Job 5 gives its slot back: the waiting job with the lowest index (1), not the next row (3).
    manager.PauseJob(5);
    EXPECT_EQ(State(5), StatePaused);
    EXPECT_EQ(manager.RowIcon(5), StatePaused);
    EXPECT_TRUE(Running(1));
    EXPECT_EQ(manager.FindSelectClsId(1), 1);
    EXPECT_EQ(State(3), StateWaiting);

    // Start all again: running jobs keep their slots, nothing runs twice.
    manager.StartAll();
    EXPECT_EQ(manager.SlotJob(1), 1);
    EXPECT_EQ(manager.SlotJob(2), 4);
    EXPECT_EQ(State(5), StateWaiting);
    // Starting a running job once more does not bind it a second time.
    Settings.Maxjobs = 8;
    manager.StartJob(1);
    int slotsOfJob1 = 0;
    for (int k = 1; k <= 8; ++k)
        if (manager.Slot(k)->InUse() && manager.Slot(k)->JobIndex() == 1) ++slotsOfJob1;
    EXPECT_EQ(slotsOfJob1, 1);
}

TEST_F(Scheduler, MaxjobsZeroLeavesEveryJobWaitingAndAboveEightActsAsEight) {
    Settings.Maxjobs = 0;
    const int j = Add(StateWaiting);
    manager.AddToNowDownList(j);
    EXPECT_EQ(State(j), StateWaiting);
    EXPECT_EQ(manager.FindOneCls(), nullptr);
    EXPECT_EQ(manager.FreeSlot(), 0);

    Settings.Maxjobs = 20;
    for (int i = 0; i < 9; ++i) manager.AddToNowDownList(Add(StateWaiting));
    int busy = 0;
    for (int k = 1; k <= 8; ++k) busy += manager.Slot(k)->InUse() ? 1 : 0;
    EXPECT_EQ(busy, 8);
    // The first waiting job was listed before any slot was allowed; it still waits, as does the
    // ninth new one.
    EXPECT_EQ(State(j), StateWaiting);
    EXPECT_EQ(State(JobCount), StateWaiting);
}

TEST_F(Scheduler, AddedWaitingStartsAtOnceAddedPausedIsOnlyListed) {
    const int paused = Add(StatePaused);
    manager.AddToNowDownList(paused);
    EXPECT_FALSE(Running(paused));
    EXPECT_EQ(State(paused), StatePaused);
    const int waiting = Add(StateWaiting);
    manager.AddToNowDownList(waiting);
    EXPECT_TRUE(Running(waiting));
    EXPECT_EQ(manager.SlotJob(1), waiting);
    EXPECT_EQ(State(waiting), StateRunning);
    EXPECT_TRUE(WaitFor([&] { return server.Connections() == 1; }));
    EXPECT_EQ(manager.RowIcon(waiting), StateRunning);
}

TEST_F(Scheduler, PausingAJobNoSlotServesPausesItAndStartsTheNextWaiting) {
    Settings.Maxjobs = 0;
    const int a = Add(StateWaiting);
    const int b = Add(StateWaiting);
    manager.AddToNowDownList(a);
    manager.AddToNowDownList(b);
    Settings.Maxjobs = 1;
    manager.SetSelectedJobs({b});
    manager.PauseDownloadJob();
    EXPECT_EQ(State(b), StatePaused);
    EXPECT_EQ(manager.RowIcon(b), StatePaused);
    EXPECT_TRUE(Running(a));

    // A waiting job whose last slot is free again (it ran once, was paused, then queued) is
    // paused too.
    manager.PauseJob(a);
    EXPECT_EQ(State(a), StatePaused);
    Settings.Maxjobs = 0;
    manager.StartJob(a);
    EXPECT_EQ(State(a), StateWaiting);
    EXPECT_EQ(manager.FindSelectClsId(a), 1);
    manager.PauseJob(a);
    EXPECT_EQ(State(a), StatePaused);
}

TEST_F(Scheduler, TheStatusBarCountOfRunningJobsFollowsAtOnce) {
    const int a = Add(StateWaiting);
    const int b = Add(StateWaiting);
    QSignalSpy rates(&manager, &clsJobManager::TransferRate);
    manager.AddToNowDownList(a);
    manager.AddToNowDownList(b);
    ASSERT_TRUE(Running(a) && Running(b));
    // The first whole second gives the first rate; from then on the count follows the slots
    // at once, not a second later at the next tick.
    auto last = [&] { return rates.isEmpty() ? -1 : rates.last()[1].toInt(); };
    TestEnv::NothingWithin(300);
    EXPECT_TRUE(rates.isEmpty());  // no "2 running, 0.0 KB/s" before anything was measured
    EXPECT_TRUE(WaitFor([&] { return last() == 2; }, 1500));
    manager.PauseJob(a);
    EXPECT_TRUE(WaitFor([&] { return last() == 1; }, 300));
    // The last one stops: no rate, nothing running.
    manager.PauseJob(b);
    EXPECT_TRUE(WaitFor([&] { return last() == 0; }, 300));
    EXPECT_EQ(rates.last()[0].toLongLong(), 0);
    const qsizetype told = rates.size();
    TestEnv::NothingWithin(1100);
    EXPECT_EQ(rates.size(), told);  // and then quiet
}

TEST_F(Scheduler, ADeletedJobGivesItsSlotToTheNextAndADeletedWaitingJobNeverStarts) {
    Settings.Maxjobs = 1;
    const int a = Add(StateWaiting), b = Add(StateWaiting), c = Add(StateWaiting);
    for (int j : {a, b, c}) manager.AddToNowDownList(j);
    ASSERT_TRUE(Running(a));
    // b is deleted while it waits: it keeps state 3 in the table but loses its row.
    Jobs[static_cast<size_t>(b)].ClassKey = "Recely_Really";
    manager.RemoveRow(b);
    EXPECT_FALSE(manager.HasRow(b));
    // a is deleted while it runs: paused, and its slot goes to c, not to the deleted b.
    Jobs[static_cast<size_t>(a)].ClassKey = "Recely_Really";
    manager.RemoveRow(a);
    EXPECT_EQ(State(a), StatePaused);
    EXPECT_FALSE(Running(b));
    EXPECT_TRUE(Running(c));
    EXPECT_EQ(manager.RowJobs(), QList<int>{c});
}

TEST_F(Scheduler, PauseAllPausesRunningAndWaitingAndStartsNothing) {
    Settings.Maxjobs = 1;
    const int a = Add(StateWaiting), b = Add(StateWaiting), c = Add(StateError);
    for (int j : {a, b, c}) manager.AddToNowDownList(j);
    EXPECT_TRUE(Running(a));
    manager.PauseAll();
    EXPECT_EQ(State(a), StatePaused);
    EXPECT_EQ(State(b), StatePaused);
    EXPECT_EQ(State(c), StateError);
    EXPECT_EQ(manager.RowIcon(b), StatePaused);
    for (int k = 1; k <= 8; ++k) EXPECT_FALSE(manager.Slot(k)->InUse());
}

TEST_F(Scheduler, StartUpListsUnfinishedJobsAndShowsACutOffRunAsPaused) {
    const int cut = Add(StateRunning);
    const int done = Add(StateComplete);
    const int failed = Add(StateError);
    const int deleted = Add(StatePaused);
    Jobs[static_cast<size_t>(deleted)].ClassKey = "Recely_Really";
    const int waiting = Add(StateWaiting);
    QSignalSpy told(&manager, &clsJobManager::JobStatesChanged);
    manager.LoadUnfinishedJobs();
    EXPECT_EQ(told.size(), 1);  // once for the whole start-up, not once per row
    EXPECT_EQ(manager.RowJobs(), (QList<int>{cut, failed, waiting}));
    EXPECT_EQ(State(cut), StatePaused);
    EXPECT_EQ(manager.RowIcon(cut), StatePaused);
    EXPECT_EQ(manager.RowIcon(failed), StateError);
    EXPECT_FALSE(manager.HasRow(done));
    // A waiting job listed while a slot is free starts, like any waiting job that is added.
    EXPECT_TRUE(Running(waiting));
    EXPECT_FALSE(Running(cut));
}

TEST_F(Scheduler, JobsMenuEnablingFollowsTheShownJobAndTheWholeTable) {
    Settings.Maxjobs = 1;
    const int a = Add(StatePaused), b = Add(StateError);
    manager.AddToNowDownList(a);
    manager.AddToNowDownList(b);
    using M = clsJobManager::JobsMenuState;
    EXPECT_EQ(manager.JobsMenuEnabling(3), M{});
    EXPECT_EQ(manager.JobsMenuEnabling(2), (M{false, false, true, false}));
    manager.ChooseJob(a);
    EXPECT_EQ(manager.JobsMenuEnabling(2), (M{true, false, true, false}));
    manager.ChooseJob(b);  // a failed job is started again like a paused one
    EXPECT_EQ(manager.JobsMenuEnabling(2).StartJob, true);
    manager.StartJob(a);
    manager.ChooseJob(a);
    EXPECT_EQ(manager.JobsMenuEnabling(2), (M{false, true, true, true}));
    // A paused job that has no row still enables "Start Download All".
    Add(StatePaused);
    EXPECT_TRUE(manager.JobsMenuEnabling(2).StartAll);
    // Waiting jobs can be paused.
    Settings.Maxjobs = 0;
    manager.StartJob(b);
    manager.ChooseJob(b);
    EXPECT_EQ(State(b), StateWaiting);
    EXPECT_TRUE(manager.JobsMenuEnabling(2).PauseJob);
    EXPECT_FALSE(manager.JobsMenuEnabling(2).StartJob);
    // Two selected rows: no shown job.
    manager.SetSelectedJobs({a, b});
    manager.ChooseJob(a);
    EXPECT_EQ(manager.ShownJob(), 0);
    EXPECT_FALSE(manager.CanCopyUrl());
}

}  // namespace
