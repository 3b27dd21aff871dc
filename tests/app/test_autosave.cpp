// The job database on disk follows the program while it runs: a job added in the window is on
// disk within a second and a half, the positions of a running download are saved every few
// seconds and never point past bytes that are not in the file, and after a SIGKILL of the real
// program the job comes back with its saved progress and finishes byte for byte.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QThread>
#include <memory>
#include <optional>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "manager/clsJobManager.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobDbFormat.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/frmMain.h"

namespace {

// The jobs of the database file as it is on disk, read without touching the program's tables.
std::vector<JobRecord> SavedJobs(const QString& path) {
    const QByteArray data = TestEnv::ReadFile(path);
    JobDbFormat::Reader reader(data);
    CategoryRecord c;
    while (reader.ReadCategory(c))
        if (c.ParentKey == "0" && c.Key == "0") break;
    std::vector<JobRecord> jobs;
    JobRecord job;
    while (reader.ReadJob(job)) jobs.push_back(job);
    return jobs;
}

// Every byte the saved ranges of the record say are stored is in its file, as the server has it.
// Returns "" when so, else what differs.
std::string CheckSavedBytes(const JobRecord& r, const QByteArray& body) {
    const QByteArray file = TestEnv::ReadFile(r.LocalFile);
    for (int i = 1; i <= std::clamp<int>(r.Parts, 1, kMaxParts); ++i) {
        const SegmentRecord& s = r.Segments[i];
        if (i > 1 && s.StartPos == 0) continue;
        const qsizetype from = s.StartPos, to = std::min(s.CurPos, s.EndPos);
        if (to <= from) continue;
        if (file.size() < to) return "range " + std::to_string(i) + " lies past the file's end";
        if (file.mid(from, to - from) != body.mid(from, to - from))
            return "range " + std::to_string(i) + " holds wrong bytes";
    }
    return {};
}

}  // namespace

TEST(Autosave, JobsAndProgressReachTheDiskAsTheyChangeAndSurviveAKill) {
    TestEnv::IsolateHome();
    ClearJobs();
    // Slow until the file "fast" appears in the document root.
    NginxServer nginx(
        "set $rate 100k; if (-f $document_root/fast) { set $rate 0; } limit_rate $rate;");
    ASSERT_TRUE(nginx.Started());
    const QByteArray body = TestEnv::RandomBytes(3000000, 11);
    ASSERT_TRUE(nginx.Put("clip.swf", body));
    const QString folder = TestEnv::NewDir("movies") + "/";
    const QString db = JobDbFile;

    // A window whose slots are all taken: a job added through the dialog waits. It is on disk
    // within a second and a half, while the window stays open.
    {
        auto w = std::make_unique<frmMain>();
        w->Load();
        Settings.PopMessage = 0;
        Settings.Maxjobs = 0;
        ASSERT_TRUE(SavedJobs(db).empty());
        frmNewDown1* dialog = w->NewJobs()->Open(ModeSingleFile);
        ASSERT_TRUE(dialog);
        dialog->findChild<QLineEdit*>("txtUrl")->setText(nginx.Url("/clip.swf"));
        dialog->findChild<QLineEdit*>("txtSaveAs1")->setText(folder);
        dialog->findChild<QComboBox*>("cmbNum1")->setCurrentText("2");
        dialog->findChild<QPushButton*>("cmdNewJobOk")->click();
        ASSERT_EQ(JobCount, 1);
        ASSERT_EQ(Jobs[1].State, StateWaiting);
        QElapsedTimer added;
        added.start();
        ASSERT_TRUE(TestEnv::WaitFor(
            [&] {
                const std::vector<JobRecord> saved = SavedJobs(db);
                return saved.size() == 1 && saved[0].Url == nginx.Url("/clip.swf") &&
                       saved[0].State == StateWaiting;
            },
            1500))
            << "not saved after " << added.elapsed() << " ms";
        // The window goes without its close step, as a killed program does.
    }
    ClearJobs();

    // The real program starts the waiting job. Its saved positions advance while it runs, and
    // whatever they say is stored is in the file.
    const QProcessEnvironment env = TestEnv::ProgramEnvironment();
    QProcess program;
    struct KillAtEnd {
        QProcess& p;
        ~KillAtEnd() {
            if (p.state() == QProcess::NotRunning) return;
            p.kill();
            p.waitForFinished(5000);
        }
    } killAtEnd{program};
    program.setProcessEnvironment(env);
    program.start(QV_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    std::optional<JobRecord> last;
    qint64 lastChange = 0;
    int progressSaves = 0;
    while (progressSaves < 2 && clock.elapsed() < 12000) {
        QThread::msleep(100);
        const std::vector<JobRecord> saved = SavedJobs(db);
        ASSERT_EQ(saved.size(), 1u);
        const JobRecord& r = saved[0];
        if (r.State != StateRunning || (last && last->Received == r.Received)) continue;
        ASSERT_EQ(CheckSavedBytes(r, body), "") << "after " << clock.elapsed() << " ms";
        if (last) {
            EXPECT_GT(r.Received, last->Received);
            EXPECT_LE(clock.elapsed() - lastChange, 10000) << "progress not saved for too long";
        }
        last = r;
        lastChange = clock.elapsed();
        ++progressSaves;
    }
    ASSERT_GE(progressSaves, 2) << "the running download's positions were not saved";
    ASSERT_GT(last->Received, 0);
    ASSERT_LT(last->Received, body.size());

    // Killed: what the last save says is there is in the file.
    program.kill();
    ASSERT_TRUE(program.waitForFinished(5000));
    const std::vector<JobRecord> afterKill = SavedJobs(db);
    ASSERT_EQ(afterKill.size(), 1u);
    EXPECT_GE(afterKill[0].Received, last->Received);
    EXPECT_EQ(CheckSavedBytes(afterKill[0], body), "");

    // Started again: the job is there with its saved progress and goes on by itself (no click),
    // shown in the download list; it resumes from its bytes and finishes with the server's; the
    // finished state is on disk without closing the window.
    ASSERT_TRUE(nginx.Put("fast", "1"));
    {
        frmMain w;
        w.Load();
        Settings.PopMessage = 0;
        ASSERT_EQ(JobCount, 1);
        EXPECT_EQ(Jobs[1].State, StateRunning);
        EXPECT_EQ(w.ActiveList(), 2);
        EXPECT_EQ(Jobs[1].Received, afterKill[0].Received);
        int32_t least = Jobs[1].Received;
        ASSERT_TRUE(TestEnv::WaitFor(
            [&] {
                least = std::min(least, Jobs[1].Received);
                return Jobs[1].State == StateComplete;
            },
            20000));
        EXPECT_GE(least, afterKill[0].Received) << "the download started again from zero";
        EXPECT_EQ(TestEnv::ReadFile(Jobs[1].LocalFile), body);
        EXPECT_TRUE(TestEnv::WaitFor(
            [&] {
                const std::vector<JobRecord> saved = SavedJobs(db);
                return saved.size() == 1 && saved[0].State == StateComplete &&
                       saved[0].LocalFile == Jobs[1].LocalFile;
            },
            1500));
        w.ExitProgram();
    }

    // A job started at once from the dialog is in the database on disk before its file is made:
    // a kill right after leaves no file that no job knows.
    ClearJobs();
    ASSERT_TRUE(nginx.Put("clip2.swf", body));
    {
        frmMain w;
        w.Load();
        Settings.PopMessage = 0;
        frmNewDown1* dialog = w.NewJobs()->Open(ModeSingleFile);
        ASSERT_TRUE(dialog);
        dialog->findChild<QLineEdit*>("txtUrl")->setText(nginx.Url("/clip2.swf"));
        dialog->findChild<QLineEdit*>("txtSaveAs1")->setText(folder);
        dialog->findChild<QPushButton*>("cmdNewJobOk")->click();
        ASSERT_TRUE(TestEnv::WaitFor(
            [&] { return !QDir(folder).entryList({"clip2.swf*"}, QDir::Files).isEmpty(); }));
        bool held = false;
        for (const JobRecord& r : SavedJobs(db))
            held = held || (r.Url == nginx.Url("/clip2.swf") &&
                            r.LocalFile.startsWith(folder + "clip2.swf"));
        EXPECT_TRUE(held) << "the file was made before the database held its job";
        w.ExitProgram();
    }
    ClearJobs();
}
