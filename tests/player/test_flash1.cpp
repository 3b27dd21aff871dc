// The player control for real: Ruffle in the web view, offscreen, playing movies built here.

#include <gtest/gtest.h>

#include "common/TestEnv.h"
#include "player/PlayerTestSupport.h"

using namespace SwfBuilder;

using namespace PlayerTestSupport;

TEST(Flash1, PlaysCountsSeeksAndRefusesInTheWebView) {
    flash1::SetWebFolder(QStringLiteral(QV_WEB_FOLDER));
    const QString dir = TestEnv::NewDir("movies");
    const QString blue = dir + "/blue.swf";
    const QString green = dir + "/green.swf";
    ASSERT_TRUE(TestEnv::WriteFile(blue, Movie(50, QByteArray("\x20\x80\xc0", 3), true)));
    ASSERT_TRUE(TestEnv::WriteFile(
        green,
        Zws(Body(0x0a00, 1, {Tag(9, QByteArray("\x10\xa0\x30", 3)), Tag(1, {}), Tag(0, {})}))));
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/text.swf", "<html>not a movie</html>"));

    flash1 player;
    player.resize(440, 320);
    player.show();
    EXPECT_EQ(player.Message(), "No movie loaded");
    int shown = 0;
    QString failed;
    QObject::connect(&player, &flash1::MovieShown, [&] { ++shown; });
    QObject::connect(&player, &flash1::PlayFailed, [&](const QString& why) { failed = why; });

    ASSERT_TRUE(player.LoadMovie(blue));
    EXPECT_EQ(player.TotalFrames(), 50);
    EXPECT_EQ(player.CurrentFrame(), 1);  // the clock waits for the picture
    TestEnv::WaitFor([&] { return shown > 0 || !failed.isEmpty(); }, 60000);
    if (failed.contains("cannot start"))
        QV_SKIP_OR_FAIL("the web engine cannot start here: " << failed.toStdString());
    ASSERT_EQ(shown, 1) << failed.toStdString();
    // The picture takes the movie's background colour.
    EXPECT_TRUE(PictureShows(&player, qRgb(0x20, 0x80, 0xc0), 0.5, 10000))
        << "share " << ShareOf(&player, qRgb(0x20, 0x80, 0xc0));

    // Frames count upward at the movie's rate while playing and stand still when stopped.
    TestEnv::WaitFor([] { return false; }, 700);
    const int played = player.CurrentFrame();
    EXPECT_GE(played, 6);
    EXPECT_LE(played, 50);
    player.StopPlay();
    const int held = player.CurrentFrame();
    TestEnv::WaitFor([] { return false; }, 400);
    EXPECT_EQ(player.CurrentFrame(), held);

    // Seeking shows the frame asked for, then plays on from there.
    player.GotoFrame(40);
    EXPECT_EQ(player.CurrentFrame(), 40);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown == 2; }, 20000)) << failed.toStdString();
    TestEnv::WaitFor([] { return false; }, 300);
    EXPECT_GE(player.CurrentFrame(), 41);
    EXPECT_TRUE(player.IsPlaying());
    TestEnv::WaitFor([] { return false; }, 1500);
    EXPECT_EQ(player.CurrentFrame(), 50);  // never past the end

    // A file named .swf that is not a movie is refused; the movie playing stays.
    EXPECT_FALSE(player.LoadMovie(dir + "/text.swf"));
    EXPECT_EQ(player.LastError(), "The file is not a Flash movie.");
    EXPECT_EQ(player.Movie(), blue);

    // An LZMA movie replaces it, and its colour shows.
    ASSERT_TRUE(player.LoadMovie(green));
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown == 3; }, 20000)) << failed.toStdString();
    EXPECT_TRUE(PictureShows(&player, qRgb(0x10, 0xa0, 0x30), 0.5, 10000));

    // A looping movie sought near its end: at the end the movie itself plays again from frame 1
    // (the sought copy would start its next pass at the sought frame).
    const QString loop = dir + "/loop.swf";
    ASSERT_TRUE(TestEnv::WriteFile(loop, Movie(20, QByteArray("\x20\x80\xc0", 3))));
    ASSERT_TRUE(player.LoadMovie(loop));
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown == 4; }, 20000)) << failed.toStdString();
    player.GotoFrame(17);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown == 5; }, 20000)) << failed.toStdString();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown == 6; }, 20000)) << "no new pass";
    EXPECT_LE(player.CurrentFrame(), 10);
    EXPECT_TRUE(player.IsPlaying());

    // An empty path unloads the movie and clears the picture.
    ASSERT_TRUE(player.LoadMovie(QString()));
    EXPECT_EQ(player.TotalFrames(), 0);
    EXPECT_EQ(player.Message(), "No movie loaded");
    EXPECT_LT(ShareOf(&player, qRgb(0x10, 0xa0, 0x30)), 0.05);
    EXPECT_TRUE(failed.isEmpty()) << failed.toStdString();
}
