// Where the files a movie loads are kept: their place on the site below the movie's folder, and
// never outside the movie's files folder, whatever the name.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "common/TestEnv.h"
#include "store/MovieFilesFolder.h"

TEST(MovieFilesFolder, EveryNameStaysInsideTheFolder) {
    const QString movie = TestEnv::NewDir("mf") + "/game.swf";
    const QString files = movie + "_files/";
    const QString at = "http://site.example:8080/games/m/game.swf";
    const struct {
        const char* address;
        QString kept;  // "" for none
    } cases[] = {
        {"http://site.example:8080/games/m/part2.swf", files + "part2.swf"},
        {"http://SITE.example:8080/games/m/data/level.xml?x=1#y", files + "data/level.xml"},
        {"http://site.example:8080/games/up.swf", files + "_site/games/up.swf"},
        {"http://site.example:8080/games/m/%2e%2e/%2E%2E/etc/passwd", files + "etc/passwd"},
        {"http://site.example:8080/games/m/a%2f..%2f..%2fb.txt", files + "a/b.txt"},
        {"http://site.example:8080/games/m/C:%5Cwin%5Cx.txt", files + "C_/win/x.txt"},
        {"http://site.example:8080//abs/x.txt", files + "_site/abs/x.txt"},
        {"http://site.example:8080/games/m/data/", ""},
        {"http://site.example/games/m/part2.swf", ""},  // another port: another site
        {"https://site.example:8080/games/m/part2.swf", ""},
        {"file:///etc/passwd", ""},
        {"ftp://site.example:8080/games/m/part2.swf", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MovieFilesFolder::KeptPath(movie, at, c.address, false), c.kept) << c.address;
    }
    EXPECT_EQ(MovieFilesFolder::KeptPath(movie, at, "http://other.example/../x/y.png", true),
              files + "_other/other.example/x/y.png");
    // A link inside the folder does not carry a kept file out of it.
    const QString outside = TestEnv::NewDir("elsewhere");
    ASSERT_TRUE(QDir().mkpath(files));
    ASSERT_TRUE(QFile::link(outside, files + "data"));
    QString why;
    EXPECT_FALSE(MovieFilesFolder::Keep(movie, files + "data/level.xml", "x", &why));
    EXPECT_FALSE(QFileInfo::exists(outside + "/level.xml")) << why.toStdString();
    // A path that leaves the folder makes nothing on its way.
    EXPECT_FALSE(MovieFilesFolder::Keep(movie, files + "../beside/x.txt", "x", &why));
    EXPECT_FALSE(QFileInfo::exists(files + "../beside"));
    EXPECT_TRUE(MovieFilesFolder::Keep(movie, files + "part2.swf", "p", &why));
    EXPECT_EQ(MovieFilesFolder::CountKept(movie), 1);
}
