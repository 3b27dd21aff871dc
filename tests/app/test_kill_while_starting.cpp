// The real program killed with SIGKILL again and again while it starts new downloads: every file
// in the download folder belongs to a job of the database on disk, so no partial file is ever
// left that no job knows (and that would push later downloads of the same name aside).

#include <signal.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <random>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "store/CategoryTree.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobTable.h"

TEST(KillWhileStarting, NoFileIsLeftThatNoJobKnows) {
    TestEnv::IsolateHome();
    const QByteArray fixedSeed = qgetenv("QV_KILL_SEED");
    const quint32 seed = fixedSeed.isEmpty() ? std::random_device{}() : fixedSeed.toUInt();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (QV_KILL_SEED repeats it)");
    std::mt19937 rng(seed);
    NginxServer nginx("sendfile off; limit_rate 200k;");
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    ASSERT_TRUE(nginx.Put("clip.swf", TestEnv::RandomBytes(2000000, 81)));
    const QString folder = TestEnv::NewDir("movies");

    const QProcessEnvironment env = TestEnv::ProgramEnvironment();

    // A first start makes the database with its categories; SIGTERM saves and ends.
    {
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QV_PROGRAM, {});
        ASSERT_TRUE(first.waitForStarted(10000));
        ASSERT_TRUE(TestEnv::WaitFor([] { return QFile::exists(JobDbFile); }, 15000));
        ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
        ASSERT_TRUE(first.waitForFinished(15000));
    }

    constexpr int kRounds = 10;
    for (int round = 1; round <= kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Two more waiting jobs of the same name on disk, as the window leaves them.
        ClearJobs();
        CategoryTree tree;
        ASSERT_TRUE(LoadJobDb(tree, JobDbFile).complete);
        for (int n = 0; n < 2; ++n) {
            JobRecord r;
            r.ClassKey = QStringLiteral("Downloaded");
            r.State = StateWaiting;
            r.IsNew = VbTrue;
            r.Parts = 3;
            r.Url = nginx.Url("/clip.swf");
            r.UserAgent = QStringLiteral("Quorvanta 1.0");
            r.LocalFile = folder + "/clip.swf";
            r.FileName = QStringLiteral("clip.swf");
            ASSERT_GT(AddJob(r), 0);
        }
        ASSERT_TRUE(SaveJobDb(tree, JobDbFile));
        ClearJobs();

        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QV_PROGRAM, {});
        ASSERT_TRUE(program.waitForStarted(10000));
        // Killed while the jobs are being started and their files made.
        const int ms = std::uniform_int_distribution<int>(150, 1500)(rng);
        QThread::msleep(static_cast<unsigned long>(ms));
        ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
        ASSERT_TRUE(program.waitForFinished(5000));

        CategoryTree saved;
        ASSERT_TRUE(LoadJobDb(saved, JobDbFile).complete);
        QStringList known;
        for (int j = 1; j <= JobCount; ++j) known << QFileInfo(Jobs[j].LocalFile).fileName();
        for (const QString& f : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            EXPECT_TRUE(known.contains(f))
                << f.toStdString() << " is on disk but no job knows it (killed after " << ms
                << " ms; jobs: " << known.join(", ").toStdString() << ")";
        // The data folder, and what the kill left in it (the names journal too), are its owner's.
        for (const QFileInfo& f : QDir(QFileInfo(JobDbFile).path())
                                      .entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotDot))
            EXPECT_FALSE(f.permissions() & (QFile::ReadGroup | QFile::ReadOther))
                << f.fileName().toStdString();
        ClearJobs();
        if (HasFailure()) break;
    }
}
