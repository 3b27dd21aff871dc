#pragma once
// What the tests of the real player share: the web engine prepared before the application object,
// movies of a plain colour, and a look at the picture. Include it in one file of a test program
// only (it registers the preparation and the sanitizer options of that program).

#include <QImage>
#include <QWidget>
#include <QtGlobal>

#include "common/TestEnv.h"
#include "player/SwfBuilder.h"
#include "player/flash1.h"

namespace PlayerTestSupport {

// Before the application object: the player's scheme, and (only in tests) a web engine without
// its sandbox and with software drawing, as a test machine may have neither.
inline void PrepareWebEngine() {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    flash1::RegisterScheme();
}

// `frames` frames at 10 a second on a plain background (zlib); with `stop` the last frame stops
// the movie.
inline QByteArray Movie(int frames, const QByteArray& rgb, bool stop = false) {
    using namespace SwfBuilder;
    QList<QByteArray> tags = {Tag(9, rgb)};
    for (int i = 0; i < frames; ++i) {
        if (stop && i == frames - 1) tags << Tag(12, QByteArray("\x07\x00", 2));
        tags << Tag(1, {});
    }
    tags << Tag(0, {});
    return Cws(Body(0x0a00, frames, tags));
}

inline bool Near(QRgb p, QRgb want) {
    return qAbs(qRed(p) - qRed(want)) < 8 && qAbs(qGreen(p) - qGreen(want)) < 8 &&
           qAbs(qBlue(p) - qBlue(want)) < 8;
}

// The share of the widget's pixels with this colour (give or take a little).
inline double ShareOf(QWidget* w, QRgb want) {
    const QImage img = w->grab().toImage();
    int hits = 0, all = 0;
    for (int y = 0; y < img.height(); y += 4)
        for (int x = 0; x < img.width(); x += 4, ++all)
            if (Near(img.pixel(x, y), want)) ++hits;
    return all ? double(hits) / all : 0;
}

// The movie, letterboxed into the player, holds the middle and at least `share` of the picture.
inline bool Shows(QWidget* w, QRgb want, double share) {
    const QImage img = w->grab().toImage();
    return !img.isNull() && Near(img.pixel(img.width() / 2, img.height() / 2), want) &&
           ShareOf(w, want) > share;
}

// Looks at the picture now and then until it shows the colour: a grab makes the web view draw
// at once, so grabbing at every turn of the event loop would starve its own painting.
inline bool PictureShows(QWidget* w, QRgb want, double share, int ms) {
    return TestEnv::WaitFor([&] { return Shows(w, want, share); }, ms, 250);
}

}  // namespace PlayerTestSupport

namespace {
void PreparePlayerTests() {
    PlayerTestSupport::PrepareWebEngine();
}
Q_CONSTRUCTOR_FUNCTION(PreparePlayerTests)
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The web engine's own library frees some objects through a base of another size; that is
// Chromium's, not ours, and would end every run of the player under the address sanitizer.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
#endif
