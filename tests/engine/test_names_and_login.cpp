// What a job sends besides the range (the page it was found on, the login) and what its file is
// called, against a real nginx: a server that refuses hot-linking and unknown users, a redirect
// to another server that must not see the login, names without a dot, names too long for the
// file system.

#include <gtest/gtest.h>

#include <QDir>

#include "common/NginxServer.h"
#include "engine/EngineTestSupport.h"

using namespace EngineTest;

namespace {

class NamesAndLogin : public SlotTest {
protected:
    // Runs job j to its end; true when it completed.
    bool Run(int j) {
        watch.Clear();
        if (!slot.BindAndStart(j)) return false;
        return watch.WaitDone() && watch.completed == 1;
    }
};

}  // namespace

TEST_F(NamesAndLogin, RefererAndLoginReachTheJobsServerOnly) {
    const QByteArray data = TestEnv::RandomBytes(300000, 71);
    // "user:secret" in Basic; the other server ("localhost") refuses any login it is sent.
    NginxServer nginx(QStringLiteral(
        "location /hot/ { if ($http_referer != \"http://pages.example/movies.html\") "
        "{ return 403; } }\n"
        "location /private/ { if ($http_authorization != \"Basic dXNlcjpzZWNyZXQ=\") "
        "{ return 401; } }\n"
        "location /moved/ { if ($http_authorization != \"Basic dXNlcjpzZWNyZXQ=\") "
        "{ return 401; } return 302 http://localhost:$server_port/open/f.bin; }\n"
        "location /open/ { if ($http_authorization) { return 400; } }\n"));
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    for (const char* folder : {"hot", "private", "open"})
        ASSERT_TRUE(nginx.Put(QStringLiteral("%1/f.bin").arg(folder), data));

    struct Case {
        const char* path;
        bool referer, login;
        bool completes;
        const char* reason;  // of a failure
    };
    const Case cases[] = {
        {"/hot/f.bin", false, false, false, "403"},     {"/hot/f.bin", true, false, true, ""},
        {"/private/f.bin", false, false, false, "401"}, {"/private/f.bin", true, true, true, ""},
        {"/moved/f.bin", false, true, true, ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.referer ? " +referer" : "") +
                     (c.login ? " +login" : ""));
        const int j = AddTestJob(nginx.Url(c.path), dir, 3, QStringLiteral("f%1.bin").arg(++n));
        if (c.referer) Jobs[j].Referer = QStringLiteral("http://pages.example/movies.html");
        if (c.login) {
            Jobs[j].UseLogin = VbTrue;
            Jobs[j].UserName = QStringLiteral("user");
            Jobs[j].Password = QStringLiteral("secret");
        }
        EXPECT_EQ(Run(j), c.completes) << watch.endReason.toStdString();
        if (!c.completes) {
            EXPECT_TRUE(watch.endReason.contains(c.reason)) << watch.endReason.toStdString();
            continue;
        }
        EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
        for (const QString& r : Requests()) {
            const bool toOther = r.contains("Host: localhost");
            EXPECT_EQ(r.contains("Referer: http://pages.example/movies.html"), c.referer)
                << r.toStdString();
            EXPECT_EQ(r.contains("Authorization: Basic dXNlcjpzZWNyZXQ="), c.login && !toOther)
                << r.toStdString();
        }
    }
}

TEST_F(NamesAndLogin, FinalNamesAreNumberedBeforeTheWorkingSuffixAndFitTheFileSystem) {
    const QByteArray data = TestEnv::RandomBytes(2000, 72);
    NginxServer nginx;
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    ASSERT_TRUE(nginx.Put("f.bin", data));
    Settings.UseQV = 1;
    Settings.Fileexits = 1;
    const QString longBase(300, QLatin1Char('m'));
    const QString longExt = QLatin1Char('.') + QString(300, QLatin1Char('e'));
    struct Case {
        QString name;      // asked for, in dir
        QString expected;  // the complete file's name ("" : the job fails)
    };
    const Case cases[] = {
        {"movie", "movie"},
        {"movie", "movie0"},  // not "movie!qv0"
        {"clip.swf", "clip.swf"},
        {"clip.swf", "clip0.swf"},
        // Room for the longest suffix: + ".qvjob.XXXXXX" is 255 bytes.
        {longBase + ".swf", QString(238, QLatin1Char('m')) + ".swf"},
        {longBase + ".swf", QString(237, QLatin1Char('m')) + "0.swf"},
        {"x" + longExt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.left(20).toStdString() + " -> " + c.expected.left(20).toStdString());
        const int j = AddTestJob(nginx.Url("/f.bin"), dir, 1, c.name);
        const bool done = Run(j);
        ASSERT_EQ(done, !c.expected.isEmpty()) << watch.endReason.toStdString();
        if (!done) {
            EXPECT_TRUE(watch.endReason.contains("too long")) << watch.endReason.toStdString();
            continue;
        }
        EXPECT_EQ(Jobs[j].LocalFile, dir + "/" + c.expected);
        EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    }
    for (const QString& e : QDir(dir).entryList(QDir::Files))
        EXPECT_FALSE(e.contains("!qv")) << e.toStdString();
}
