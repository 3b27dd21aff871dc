// Figures as users read them (sizes, speeds, time left, the progress line), the speed over the
// last seconds, and the notification option in the settings file.

#include <gtest/gtest.h>

#include "common/TestEnv.h"
#include "store/RateWindow.h"
#include "store/SettingsFile.h"
#include "store/TransferText.h"

TEST(TransferText, SizesSpeedsAndTimesLeft) {
    struct Case {
        qint64 bytes;
        const char* size;
    };
    for (const Case& c :
         {Case{-5, "0 B"}, Case{0, "0 B"}, Case{1023, "1023 B"}, Case{1024, "1.0 KB"},
          Case{1536, "1.5 KB"},
          // 1023.96 KB would read 1024.0 KB: the next unit is taken.
          Case{1048535, "1.0 MB"}, Case{1048576 * 20, "20.0 MB"}, Case{1181116006, "1.1 GB"},
          Case{1024LL * 1024 * 1024 * 3000, "3000.0 GB"}})
        EXPECT_EQ(TransferText::Size(c.bytes), c.size) << c.bytes;
    EXPECT_EQ(TransferText::Speed(0), "0 B/s");
    EXPECT_EQ(TransferText::Speed(-1), "0 B/s");
    EXPECT_EQ(TransferText::Speed(12595.2), "12.3 KB/s");

    struct Left {
        qint64 seconds;
        const char* text;
    };
    for (const Left& c : {Left{-1, ""}, Left{0, "0:00"}, Left{42, "0:42"}, Left{725, "12:05"},
                          Left{3723, "1:02:03"}, Left{2 * 86400 + 3 * 3600 + 59, "2d 03h"}})
        EXPECT_EQ(TransferText::TimeLeft(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(TransferText::SecondsLeft(1000, 300), 4);  // rounded up
    EXPECT_EQ(TransferText::SecondsLeft(1000, 0), -1);
    EXPECT_EQ(TransferText::SecondsLeft(1LL << 50, 1), -1);  // beyond telling

    EXPECT_EQ(TransferText::ProgressLine(1572864, 3774874, 524288),
              "41% 1.5 MB of 3.6 MB, 512.0 KB/s, 0:05 left");
    EXPECT_EQ(TransferText::ProgressLine(1572864, 0, 524288), "1.5 MB, 512.0 KB/s");
    EXPECT_EQ(TransferText::ProgressLine(10, 100, 0), "10% 10 B of 100 B, 0 B/s");
}

TEST(RateWindow, SpeedOverTheLastSeconds) {
    RateWindow window(5000);
    EXPECT_EQ(window.Rate(), 0);
    window.Add(0, 0);
    EXPECT_EQ(window.Rate(), 0);  // one sample tells no speed
    for (int s = 1; s <= 10; ++s) window.Add(s * 1000, s <= 5 ? s * 1000 : 5000 + (s - 5) * 100);
    // The first five seconds ran at 1000 B/s, the last five at 100 B/s: only those count.
    EXPECT_DOUBLE_EQ(window.Rate(), 100);
    // Started again from zero: the old samples go.
    window.Add(11000, 50);
    window.Add(12000, 250);
    EXPECT_DOUBLE_EQ(window.Rate(), 200);
}

TEST(SettingsFile, NotifyIsOnUnlessTheFileTurnsItOff) {
    const QString path = TestEnv::NewDir("notify") + "/set.ini";
    struct Case {
        QByteArray file;
        bool notify;
    };
    for (const Case& c : {Case{"", true}, Case{"[Other]\nNotify=0\n", false},
                          Case{"[Other]\nNotify=1\n", true}, Case{"[Other]\nNotify=\n", true}}) {
        ASSERT_TRUE(TestEnv::WriteFile(path, c.file));
        const OptionValues v = SettingsFile::Read(path);
        EXPECT_EQ(v.Notify, c.notify) << c.file.toStdString();
        EXPECT_EQ(SettingsFile::ToRecord(v).Notify, c.notify ? 1 : 0);
        // Written back, only "off" takes a line, at the end of "Other".
        clsIniFile ini(path);
        ASSERT_TRUE(SettingsFile::Write(ini, v));
        const QByteArray written = TestEnv::ReadFile(path);
        EXPECT_EQ(written.contains("PopMessage=1\nNotify=0\n"), !c.notify) << written.toStdString();
        EXPECT_EQ(SettingsFile::Read(path).Notify, c.notify);
    }
}
