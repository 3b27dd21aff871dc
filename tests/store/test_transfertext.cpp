// Figures as users read them, the speed over the last seconds, and the notification option.

#include <gtest/gtest.h>

#include "common/TestEnv.h"
#include "store/RateWindow.h"
#include "store/SettingsFile.h"
#include "store/TransferText.h"

TEST(TransferText, SizesSpeedsAndTimesLeft) {
    // 1048535 bytes would read 1024.0 KB: the next unit is taken.
    const std::pair<qint64, const char*> sizes[] = {
        {-5, "0 B"},         {1023, "1023 B"},      {1024, "1.0 KB"},      {1536, "1.5 KB"},
        {1048535, "1.0 MB"}, {20971520, "20.0 MB"}, {1181116006, "1.1 GB"}};
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(TransferText::Size(bytes), text) << bytes;
    const std::pair<qint64, const char*> times[] = {
        {-1, ""}, {42, "0:42"}, {725, "12:05"}, {3723, "1:02:03"}, {183659, "2d 03h"}};
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(TransferText::TimeLeft(seconds), text) << seconds;
    EXPECT_EQ(TransferText::Speed(-1), "0 B/s");
    EXPECT_EQ(TransferText::SecondsLeft(1000, 300), 4);  // rounded up
    EXPECT_EQ(TransferText::SecondsLeft(1000, 0), -1);
    EXPECT_EQ(TransferText::ProgressLine(1572864, 3774874, 524288),
              "41% 1.5 MB of 3.6 MB, 512.0 KB/s, 0:05 left");
    EXPECT_EQ(TransferText::ProgressLine(1572864, 0, 524288), "1.5 MB, 512.0 KB/s");
    EXPECT_EQ(TransferText::ProgressLine(10, 100, 0), "10% 10 B of 100 B, 0 B/s");
}

TEST(RateWindow, SpeedOverTheLastSeconds) {
    RateWindow window(5000);
    window.Add(0, 0);
    EXPECT_EQ(window.Rate(), 0);  // one sample tells no speed
    // Five seconds at 1000 B/s, then five at 100 B/s: only the last five count.
    for (int s = 1; s <= 10; ++s) window.Add(s * 1000, s <= 5 ? s * 1000 : 5000 + (s - 5) * 100);
    EXPECT_DOUBLE_EQ(window.Rate(), 100);
    window.Add(11000, 50);  // started again from zero: the old samples go
    window.Add(12000, 250);
    EXPECT_DOUBLE_EQ(window.Rate(), 200);
}

TEST(SettingsFile, NotifyIsOnUnlessTheFileTurnsItOff) {
    const QString path = TestEnv::NewDir("notify") + "/set.ini";
    for (const auto& [file, notify] : {std::pair<QByteArray, bool>{"", true},
                                       {"[Other]\nNotify=0\n", false},
                                       {"[Other]\nNotify=\n", true}}) {
        ASSERT_TRUE(TestEnv::WriteFile(path, file));
        const OptionValues v = SettingsFile::Read(path);
        EXPECT_EQ(SettingsFile::ToRecord(v).Notify, notify ? 1 : 0) << file.toStdString();
        // Written back, only "off" takes a line, at the end of "Other".
        clsIniFile ini(path);
        ASSERT_TRUE(SettingsFile::Write(ini, v));
        EXPECT_EQ(TestEnv::ReadFile(path).contains("PopMessage=1\nNotify=0\n"), !notify);
    }
}
