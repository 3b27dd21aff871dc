// The real program as a user starts it: first start, second start, ending by signal.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include "common/TestEnv.h"

namespace {

struct Program {
    QString home;
    QProcessEnvironment env;
    QProcess process;

    explicit Program(QString dir = TestEnv::NewDir("prog")) : home(std::move(dir)) {
        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
    }
    QString Db() const { return home + "/data/quorvanta/default.qvb"; }
    QString Ini() const { return home + "/data/quorvanta/set.ini"; }
    bool Start() {
        process.start(QV_PROGRAM, {});
        return process.waitForStarted(10000);
    }
    // Waits until the program has written its database on first start.
    bool WaitForFile(const QString& path, int ms = 20000) {
        for (int waited = 0; waited < ms; waited += 50) {
            if (QFile::exists(path)) return true;
            QThread::msleep(50);
        }
        return false;
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

}  // namespace

TEST(Program, FirstStartCreatesFilesAndSigtermSavesAndEnds) {
    Program p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitForFile(p.Db()));
    EXPECT_TRUE(QDir(p.home + "/mydown").exists());
    ASSERT_TRUE(p.WaitForFile(p.home + "/config/quorvanta/registry.ini"));
    QThread::msleep(500);
    // The settings file is rewritten in the writer's order on every start.
    const QString ini = QString::fromUtf8(TestEnv::ReadFile(p.Ini()));
    const qsizetype general = ini.indexOf("[General]"), proxy = ini.indexOf("[Proxy]"),
                    other = ini.indexOf("[Other]");
    EXPECT_TRUE(general >= 0 && general < proxy && proxy < other) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Useragent=Quorvanta 1.0")) << ini.toStdString();
    // The browser context-menu keys point at the program's folder.
    const QString reg =
        QString::fromUtf8(TestEnv::ReadFile(p.home + "/config/quorvanta/registry.ini"));
    EXPECT_TRUE(reg.contains("Using Quorvanta to download")) << reg.toStdString();
    EXPECT_TRUE(reg.contains("Using Quorvanta to search")) << reg.toStdString();
    EXPECT_TRUE(reg.contains("/qv_url.htm")) << reg.toStdString();
    const QByteArray first = TestEnv::ReadFile(p.Db());

    // A second start hands over to the first one and ends at once without touching any file.
    QFile::remove(p.Db());
    QProcess second;
    second.setProcessEnvironment(p.env);
    second.start(QV_PROGRAM, {});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(p.Db()));

    // SIGTERM runs the close step: the database is written again, the program ends.
    p.process.terminate();
    ASSERT_TRUE(p.process.waitForFinished(15000));
    EXPECT_EQ(p.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.process.exitCode(), 0);
    ASSERT_TRUE(QFile::exists(p.Db()));
    EXPECT_EQ(TestEnv::ReadFile(p.Db()), first);

    // A restart loads and, ended the same way, writes the same bytes.
    Program again(p.home);
    ASSERT_TRUE(again.Start());
    QThread::msleep(1500);
    again.process.terminate();
    ASSERT_TRUE(again.process.waitForFinished(15000));
    EXPECT_EQ(TestEnv::ReadFile(p.Db()), first);
}
