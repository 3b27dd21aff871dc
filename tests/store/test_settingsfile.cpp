#include <gtest/gtest.h>

#include <QComboBox>

#include "common/TestEnv.h"
#include "store/Globals.h"
#include "store/ProxyList.h"
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

TEST(ProxyList, FillsFromFileWithDefaultSelected) {
    TestEnv::IsolateHome();
    QComboBox combo;
    FillProxyCombo(&combo);
    ASSERT_EQ(combo.count(), 1);
    EXPECT_EQ(combo.itemText(0), "Direct Connection");
    EXPECT_EQ(combo.currentIndex(), 0);

    TestEnv::WriteFile(IniFile,
                       "[Proxy]\nProxynum=4\nDefault=2\n 1=a.example:8080\n 2=b:3128\n"
                       " 4=noport\n");
    FillProxyCombo(&combo);
    ASSERT_EQ(combo.count(), 4);  // entry 3 is missing and left out
    EXPECT_EQ(combo.itemText(1), "a.example:8080");
    EXPECT_EQ(combo.itemText(2), "b:3128");
    EXPECT_EQ(combo.itemText(3), "noport");
    EXPECT_EQ(combo.currentIndex(), 2);

    // A count larger than the section's keys does not run away.
    TestEnv::WriteFile(IniFile, "[Proxy]\nProxynum=2000000000\nDefault=0\n 1=a:1\n");
    FillProxyCombo(&combo);
    EXPECT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST(ProxyList, ParseEntry) {
    QString host;
    uint16_t port = 1;
    EXPECT_TRUE(ParseProxyEntry(1, "proxy.example:3128", &host, &port));
    EXPECT_EQ(host, "proxy.example");
    EXPECT_EQ(port, 3128);
    EXPECT_FALSE(ParseProxyEntry(0, "Direct Connection", &host, &port));
    EXPECT_FALSE(ParseProxyEntry(2, "noport", &host, &port));
    EXPECT_TRUE(host.isEmpty());
    EXPECT_EQ(port, 0);
    EXPECT_FALSE(ParseProxyEntry(2, ":8080", &host, &port));
}
