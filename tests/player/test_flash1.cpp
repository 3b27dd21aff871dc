// The player control for real: Ruffle in the web view, offscreen, playing movies built here.

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <QWidget>
#include <QtGlobal>

#include "common/TestEnv.h"
#include "player/SwfBuilder.h"
#include "player/flash1.h"

using namespace SwfBuilder;

namespace {

// Before the application object: the player's scheme, and (only here) a web engine without its
// sandbox and with software drawing, as a test machine may have neither.
void PrepareWebEngine() {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    flash1::RegisterScheme();
}
Q_CONSTRUCTOR_FUNCTION(PrepareWebEngine)

// `frames` frames at 10 a second on a plain background; with `stop` the last frame stops it,
// else it loops.
QByteArray Movie(int frames, QByteArray rgb, bool stop) {
    QList<QByteArray> tags = {Tag(9, rgb)};
    for (int i = 0; i < frames; ++i) {
        if (stop && i == frames - 1) tags << Tag(12, QByteArray("\x07\x00", 2));
        tags << Tag(1, {});
    }
    tags << Tag(0, {});
    return Cws(Body(0x0a00, frames, tags));
}

// The share of the player's pixels with this colour (give or take a little).
double ShareOf(QWidget& w, QRgb want) {
    const QImage img = w.grab().toImage();
    if (img.isNull()) return 0;
    int hits = 0, all = 0;
    for (int y = 0; y < img.height(); y += 4)
        for (int x = 0; x < img.width(); x += 4, ++all) {
            const QRgb p = img.pixel(x, y);
            if (qAbs(qRed(p) - qRed(want)) < 8 && qAbs(qGreen(p) - qGreen(want)) < 8 &&
                qAbs(qBlue(p) - qBlue(want)) < 8)
                ++hits;
        }
    return all ? double(hits) / all : 0;
}

// Looks at the picture now and then until it holds `share` of the colour: a grab makes the web
// view draw at once, so grabbing at every turn of the event loop would starve its own painting.
bool PictureShows(QWidget& w, QRgb want, double share, int ms) {
    for (int waited = 0; waited <= ms; waited += 250) {
        QTest::qWait(250);
        if (ShareOf(w, want) > share) return true;
    }
    return false;
}

}  // namespace

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
        GTEST_SKIP() << "the web engine cannot start here: " << failed.toStdString();
    ASSERT_EQ(shown, 1) << failed.toStdString();
    // The picture takes the movie's background colour.
    EXPECT_TRUE(PictureShows(player, qRgb(0x20, 0x80, 0xc0), 0.5, 10000))
        << "share " << ShareOf(player, qRgb(0x20, 0x80, 0xc0));

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
    EXPECT_TRUE(PictureShows(player, qRgb(0x10, 0xa0, 0x30), 0.5, 10000));

    // An empty path unloads the movie and clears the picture.
    ASSERT_TRUE(player.LoadMovie(QString()));
    EXPECT_EQ(player.TotalFrames(), 0);
    EXPECT_EQ(player.Message(), "No movie loaded");
    EXPECT_LT(ShareOf(player, qRgb(0x10, 0xa0, 0x30)), 0.05);
    EXPECT_TRUE(failed.isEmpty()) << failed.toStdString();
}

#if defined(__SANITIZE_ADDRESS__)
// The web engine's own library frees some objects through a base of another size; that is
// Chromium's, not ours, and would end every run of the player under the address sanitizer.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
#endif
