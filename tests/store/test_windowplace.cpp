// A window's saved place taken back on the screens there are now.

#include <gtest/gtest.h>

#include "common/TestEnv.h"
#include "store/WindowPlace.h"

TEST(WindowPlace, FitMovesAndShrinksOntoTheScreens) {
    // Two screens side by side, the right one smaller and lower; their usable areas.
    const QList<QRect> screens{QRect(0, 0, 1280, 770), QRect(1280, 200, 1024, 568)};
    struct Case {
        const char* what;
        QRect saved;
        QRect fitted;
    };
    for (const Case& c : {
             Case{"inside the left screen", {100, 100, 800, 600}, {100, 100, 800, 600}},
             Case{"inside the right screen", {1300, 220, 900, 500}, {1300, 220, 900, 500}},
             Case{"across both: onto the one holding most",
                  {900, 100, 800, 600},
                  {480, 100, 800, 600}},
             Case{"on a screen that is gone", {3000, 100, 800, 600}, {1504, 200, 800, 568}},
             Case{"above everything", {200, -900, 800, 600}, {200, 0, 800, 600}},
             Case{"larger than any screen", {-50, -50, 2000, 1500}, {0, 0, 1280, 770}},
         })
        EXPECT_EQ(WindowPlace::Fit(c.saved, screens), c.fitted) << c.what;
    EXPECT_EQ(WindowPlace::Fit({5, 5, 10, 10}, {}), QRect(5, 5, 10, 10));
}

TEST(WindowPlace, KeptInTheSettingsFileBesideTheOtherSections) {
    const QString path = TestEnv::NewDir("place") + "/set.ini";
    ASSERT_TRUE(TestEnv::WriteFile(path, "[Other]\nPopMessage=0\n"));
    EXPECT_FALSE(WindowPlace::Read(path, "Main").Rect.isValid());
    const WindowPlace::Place main{{-20, 30, 900, 700}, true};
    const WindowPlace::Place floating{{1200, 700, 44, 40}, false};
    ASSERT_TRUE(WindowPlace::Write(path, "Main", main));
    ASSERT_TRUE(WindowPlace::Write(path, "Float", floating));
    EXPECT_EQ(WindowPlace::Read(path, "Main"), main);
    EXPECT_EQ(WindowPlace::Read(path, "Float"), floating);
    EXPECT_TRUE(TestEnv::ReadFile(path).startsWith("[Other]\nPopMessage=0\n"));
    // A broken entry is no place.
    ASSERT_TRUE(TestEnv::WriteFile(path,
                                   "[Window]\nMainLeft=1\nMainTop=2\nMainWidth=x\n"
                                   "MainHeight=4\n"));
    EXPECT_FALSE(WindowPlace::Read(path, "Main").Rect.isValid());
}
