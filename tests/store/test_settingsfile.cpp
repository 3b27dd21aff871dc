#include <gtest/gtest.h>

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

namespace {

const QByteArray kDefaultFile =
    "[General]\nMaxjobs=5\nParts=5\nRetries=5\nCtimeout=30\nRtimeout=60\nRedelay=5\n"
    "Fileexits=False\nUseragent=Quorvanta 1.0\n\n"
    "[Proxy]\nProxynum=0\nDefault=0\n\n"
    "[Other]\nStartMin=0\nCloseMin=0\nHideMin=0\nUseQV=1\nStillDownload=0\nDoneExit=0\n"
    "DownShutDown=0\nAutoBack=0\nPopMessage=1\n"
    "\n[Advanced]\nHomePage=https://quorvanta.example.org/\nUpdateHost=quorvanta.example.org\n"
    "UpdatePort=80\nDnsServer=\nSmtpPort=25\n";

}  // namespace

TEST(SettingsFile, WriterOrder) {
    const QString path = NewIni(QByteArray());
    clsIniFile ini(path);
    ASSERT_TRUE(SettingsFile::Write(ini, OptionValues{}));
    EXPECT_EQ(TestEnv::ReadFile(path), kDefaultFile);

    OptionValues v;
    v.Maxjobs = "8";
    v.Ctimeout = "abc";
    v.Option1 = true;
    v.Useragent = "Mozilla/4.0 (Windows 95;US) Opera 3.60  [en]";
    v.Proxies = {{"a.example", "8080"}, {"", ""}, {"10.0.0.1", "3128"}};
    v.Other = {1, 1, 1, 0, 1, 1, 1, 1, 0};
    v.Style = "Fusion";
    ASSERT_TRUE(SettingsFile::Write(ini, v));
    EXPECT_EQ(
        TestEnv::ReadFile(path),
        "[General]\nMaxjobs=8\nParts=5\nRetries=5\nCtimeout=abc\nRtimeout=60\nRedelay=5\n"
        "Fileexits=True\nUseragent=Mozilla/4.0 (Windows 95;US) Opera 3.60  [en]\n\n"
        "[Proxy]\nProxynum=3\nDefault=0\n 1=a.example:8080\n 2=:\n 3=10.0.0.1:3128\n\n"
        "[Other]\nStartMin=1\nCloseMin=1\nHideMin=1\nUseQV=0\nStillDownload=1\n"
        "DoneExit=1\nDownShutDown=1\nAutoBack=1\nPopMessage=0\n\n[Skins]\nStyle=Fusion\n"
        "\n[Advanced]\nHomePage=https://quorvanta.example.org/\nUpdateHost=quorvanta.example.org\n"
        "UpdatePort=80\nDnsServer=\nSmtpPort=25\n");
    // What was written reads back the same.
    EXPECT_EQ(SettingsFile::Read(path), v);
    const SettingsRecord r = SettingsFile::ToRecord(v);
    EXPECT_EQ(r.Maxjobs, 8);
    EXPECT_EQ(r.Ctimeout, 0);
    EXPECT_EQ(r.Fileexits, 0);
    EXPECT_EQ(r.UseQV, 0);
    EXPECT_EQ(r.DownShutDown, 1);
}

TEST(SettingsFile, ReadTakesInitialValuesForWhatTheListsCannotShow) {
    const QString path = NewIni(
        "[General]\nMaxjobs=9\nParts=0\nRetries=2.5\nFileexits=maybe\nUseragent=\n"
        "[Proxy]\nProxyNum=3\n1=host.example:81\n 2=\n3=noport\n"
        "[Other]\nStartMin=yes\nCloseMin=2\nHideMin=\nUseQV=-1\n");
    const OptionValues v = SettingsFile::Read(path);
    EXPECT_EQ(v.Maxjobs, "5");
    EXPECT_EQ(v.Parts, "5");
    EXPECT_EQ(v.Retries, "5");
    EXPECT_FALSE(v.Option1);
    EXPECT_EQ(v.Useragent, "Quorvanta 1.0");
    ASSERT_EQ(v.Proxies.size(), 3);
    EXPECT_EQ(v.Proxies[0], (ProxyRow{"host.example", "81"}));
    EXPECT_EQ(v.Proxies[1], ProxyRow{});
    EXPECT_EQ(v.Proxies[2], ProxyRow{});  // no ":": empty host and port
    EXPECT_EQ(v.Other[0], 0);             // text without a number reads 0
    EXPECT_EQ(v.Other[1], 1);
    EXPECT_EQ(v.Other[2], 0);  // present but empty: initial value
    EXPECT_EQ(v.Other[3], 1);
}
