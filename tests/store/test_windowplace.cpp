// A window's saved place taken back on the screens there are now.

#include <gtest/gtest.h>

#include "common/TestEnv.h"
#include "store/WindowPlace.h"

TEST(WindowPlace, FitMovesAndShrinksOntoTheScreensAndIsKept) {
    // Two screens side by side, the right one smaller and lower; their usable areas.
    const QList<QRect> screens{QRect(0, 0, 1280, 770), QRect(1280, 200, 1024, 568)};
    const std::pair<QRect, QRect> cases[] = {
        {{1300, 220, 900, 500}, {1300, 220, 900, 500}},  // inside a screen: as it is
        {{900, 100, 800, 600}, {480, 100, 800, 600}},    // across both: the one holding most
        {{3000, 100, 800, 600}, {1504, 200, 800, 568}},  // on a screen gone: the nearest
        {{200, -900, 800, 600}, {200, 0, 800, 600}},     // above everything
        {{-50, -50, 2000, 1500}, {0, 0, 1280, 770}}};    // larger than any screen
    for (const auto& [saved, fitted] : cases) EXPECT_EQ(WindowPlace::Fit(saved, screens), fitted);

    const QString path = TestEnv::NewDir("place") + "/set.ini";
    ASSERT_TRUE(TestEnv::WriteFile(path, "[Window]\nMainLeft=1\nMainTop=2\nMainWidth=x\n"));
    EXPECT_FALSE(WindowPlace::Read(path, "Main").Rect.isValid());  // a broken entry is no place
    const WindowPlace::Place main{{-20, 30, 900, 700}, true};
    ASSERT_TRUE(WindowPlace::Write(path, "Main", main));
    EXPECT_EQ(WindowPlace::Read(path, "Main"), main);
}
