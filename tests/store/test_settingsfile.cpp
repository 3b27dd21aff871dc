#include <gtest/gtest.h>

#include "common/TestEnv.h"
#include "store/Settings.h"
#include "store/SettingsFile.h"

namespace {

QString NewIni(const QByteArray& text) {
    const QString path = TestEnv::NewDir("ini") + "/set.ini";
    if (!text.isNull()) TestEnv::WriteFile(path, text);
    return path;
}

}  // namespace

TEST(SettingsFile, MissingFileGivesInitialValues) {
    Settings = SettingsRecord{};
    Settings.Maxjobs = 1;
    Settings.PopMessage = 0;
    LoadSettingsFromFile(NewIni(QByteArray()));
    EXPECT_EQ(Settings.Maxjobs, 5);
    EXPECT_EQ(Settings.Parts, 5);
    EXPECT_EQ(Settings.Retries, 5);
    EXPECT_EQ(Settings.Ctimeout, 30);
    EXPECT_EQ(Settings.Rtimeout, 60);
    EXPECT_EQ(Settings.Redelay, 5);
    EXPECT_EQ(Settings.Fileexits, -1);
    EXPECT_EQ(Settings.Useragent, "Quorvanta 1.0");
    EXPECT_EQ(Settings.StartMin, 0);
    EXPECT_EQ(Settings.CloseMin, 0);
    EXPECT_EQ(Settings.HideMin, 0);
    EXPECT_EQ(Settings.UseQV, 1);
    EXPECT_EQ(Settings.StillDownload, 0);
    EXPECT_EQ(Settings.DoneExit, 0);
    EXPECT_EQ(Settings.DownShutDown, 0);
    EXPECT_EQ(Settings.AutoBack, 0);
    EXPECT_EQ(Settings.PopMessage, 1);
}

TEST(SettingsFile, ValuesFromFile) {
    LoadSettingsFromFile(
        NewIni("[general]\n Maxjobs = 3 \nParts=10\nRetries=2\nCtimeout=12abc\n"
               "Rtimeout=x\nRedelay=\nFileexits=True\nUseragent=Agent X\n"
               "[OTHER]\nstartmin=1\nUseQV=0\nPopMessage=0\nAutoBack=1\n"));
    EXPECT_EQ(Settings.Maxjobs, 3);
    EXPECT_EQ(Settings.Parts, 10);
    EXPECT_EQ(Settings.Retries, 2);
    EXPECT_EQ(Settings.Ctimeout, 12);
    EXPECT_EQ(Settings.Rtimeout, 0);   // non-numeric text reads 0
    EXPECT_EQ(Settings.Redelay, 5);    // present but empty: initial value
    EXPECT_EQ(Settings.Fileexits, 0);  // "Overwrite"
    EXPECT_EQ(Settings.Useragent, "Agent X");
    EXPECT_EQ(Settings.StartMin, 1);
    EXPECT_EQ(Settings.UseQV, 0);
    EXPECT_EQ(Settings.PopMessage, 0);
    EXPECT_EQ(Settings.AutoBack, 1);
    EXPECT_EQ(Settings.CloseMin, 0);
}
