// The profile file layer: lookups, limits, key listing, edits that keep the rest of the file.

#include <gtest/gtest.h>

#include <QDir>

#include "StoreTestSupport.h"
#include "common/TestEnv.h"
#include "store/clsIniFile.h"

namespace {

QString IniWith(const QByteArray& text) {
    const QString path = TestEnv::NewDir("ini") + "/set.ini";
    EXPECT_TRUE(TestEnv::WriteFile(path, text));
    return path;
}

}  // namespace

TEST(IniFile, MissingAndEmptyKeysReadTheirStandInTexts) {
    clsIniFile none(TestEnv::NewDir("ini") + "/absent.ini");
    EXPECT_EQ(none.GetSetting("General", "Maxjobs"), "unknown value");
    QStringList names{"stale"};
    EXPECT_EQ(none.GetSection("General", names), 0);
    EXPECT_TRUE(names.isEmpty());

    clsIniFile ini(IniWith("[General]\nEmpty=\nBlank =   \nMaxjobs=3\n"));
    EXPECT_EQ(ini.GetSetting("General", "Empty"), "Unknown section or key");
    EXPECT_EQ(ini.GetSetting("General", "Blank"), "Unknown section or key");
    EXPECT_EQ(ini.GetSetting("General", "Nothere"), "unknown value");
    EXPECT_EQ(ini.GetSetting("Other", "Maxjobs"), "unknown value");
    EXPECT_EQ(ini.GetSetting("General", "Maxjobs"), "3");
}

TEST(IniFile, NamesMatchWithoutCaseOrBlanksAndTheFirstMatchWins) {
    clsIniFile ini(
        IniWith("; comment line\r\n[ proxy ]\r\n  Proxynum  =  2  \r\n 1=a.example:80\r\n"
                "proxynum=9\r\n[PROXY]\r\nDefault=5\r\n"));
    EXPECT_EQ(ini.GetSetting("Proxy", "ProxyNum"), "2");
    EXPECT_EQ(ini.GetSetting("  PROXY ", " 1 "), "a.example:80");
    EXPECT_EQ(ini.GetSetting("Proxy", "1"), "a.example:80");
    // Only the first section of a name counts.
    EXPECT_EQ(ini.GetSetting("Proxy", "Default"), "unknown value");
}

TEST(IniFile, ValuesAreCutTo254Characters) {
    const QString longValue = QString(250, u'x') + QString::fromUtf8("äöüßend");
    clsIniFile ini(IniWith("[General]\nUseragent=" + longValue.toUtf8() + "\n"));
    const QString read = ini.GetSetting("General", "Useragent");
    EXPECT_EQ(read.size(), 254);
    EXPECT_EQ(read, longValue.left(254));
    QString whole;
    EXPECT_TRUE(ini.ReadValue("General", "Useragent", &whole));
    EXPECT_EQ(whole, longValue);
}

TEST(IniFile, GetSectionListsKeysInFileOrderThroughA2000CharacterBuffer) {
    clsIniFile ini(
        IniWith("[Other]\nZeta=1\n; note\n\nalpha=2\nno equals sign\nMid = 3\n[Next]\nx=1\n"));
    QStringList names;
    EXPECT_EQ(ini.GetSection("other", names), 3);
    EXPECT_EQ(names, (QStringList{"Zeta", "alpha", "Mid"}));

    // 300 names of 9 characters take 10 each with their zero; 1998 characters fit, so 199 whole
    // names and the first 8 characters of the 200th come back.
    QByteArray text = "[Big]\n";
    QStringList all;
    for (int i = 1; i <= 300; ++i) {
        all.append(QString("key%1").arg(i, 6, 10, QChar('0')));
        text += all.last().toUtf8() + "=v\n";
    }
    clsIniFile big(IniWith(text));
    EXPECT_EQ(big.GetSection("Big", names), 200);
    EXPECT_EQ(names.mid(0, 199), all.mid(0, 199));
    EXPECT_EQ(names.at(199), all.at(199).left(8));
    EXPECT_EQ(big.KeyNames("Big"), all);

    // 199 names (1990 characters with their zeros, 1991 with the list's end) all fit.
    text = "[Fits]\n";
    for (int i = 1; i <= 199; ++i) text += all.at(i - 1).toUtf8() + "=v\n";
    clsIniFile fits(IniWith(text));
    EXPECT_EQ(fits.GetSection("Fits", names), 199);
    EXPECT_EQ(names, all.mid(0, 199));
}

TEST(IniFile, WritesKeepEveryOtherLine) {
    const QString path =
        IniWith("; my settings\n[General]\nMaxjobs=3\n; keep me\nParts=4\n\n[Mine]\nx = 1\n");
    clsIniFile ini(path);
    ASSERT_TRUE(ini.SaveSetting("general", "MAXJOBS", "6"));
    ASSERT_TRUE(ini.SaveSetting("General", "Retries", "2"));
    ASSERT_TRUE(ini.SaveSetting("New", "Key", "  spaced  "));
    EXPECT_EQ(TestEnv::ReadFile(path),
              "; my settings\n[General]\nMAXJOBS=6\n; keep me\nParts=4\nRetries=2\n\n[Mine]\n"
              "x = 1\n\n[New]\nKey=  spaced  \n");
    EXPECT_EQ(ini.GetSetting("New", "key"), "spaced");

    ASSERT_TRUE(ini.DeleteSection("GENERAL"));
    EXPECT_EQ(TestEnv::ReadFile(path), "; my settings\n[Mine]\nx = 1\n\n[New]\nKey=  spaced  \n");
    EXPECT_EQ(ini.GetSetting("General", "Parts"), "unknown value");
    EXPECT_TRUE(ini.DeleteSection("Absent"));
}

TEST(IniFile, UnsafeNamesAndLineBreaksCannotInjectLines) {
    const QString path = IniWith("[General]\n");
    clsIniFile ini(path);
    ASSERT_TRUE(ini.SaveSetting("General", "Useragent", "evil\n[Other]\r\nStartMin=1"));
    EXPECT_EQ(ini.GetSetting("Other", "StartMin"), "unknown value");
    EXPECT_EQ(ini.GetSetting("General", "Useragent"), "evil [Other]  StartMin=1");
    EXPECT_FALSE(ini.SaveSetting("General", "a=b", "1"));
    EXPECT_FALSE(ini.SaveSetting("General", "a\nb", "1"));
    EXPECT_FALSE(ini.SaveSetting("Gen]eral", "a", "1"));
    EXPECT_FALSE(ini.SaveSetting("General", "  ", "1"));
    EXPECT_EQ(ini.KeyNames("General"), QStringList{"Useragent"});
    // Names that make a comment or a header line: the writer reads the file as a new reader does.
    const QString odd = IniWith("[General]\n[Other]\nk=1\n");
    clsIniFile writer(odd);
    for (const char* key : {";note", "[Extra", "[Extra", "after"})
        ASSERT_TRUE(writer.SaveSetting("General", key, "1"));
    ASSERT_TRUE(writer.SaveSetting("Other", "k2", "2"));
    clsIniFile fresh(odd);
    for (const QString section : {"General", "Other", "Extra=1"}) {
        EXPECT_EQ(writer.KeyNames(section), fresh.KeyNames(section)) << section.toStdString();
        for (const QString key : {"k", "k2", "after", ";note", "[Extra"})
            EXPECT_EQ(writer.GetSetting(section, key), fresh.GetSetting(section, key))
                << section.toStdString() << " " << key.toStdString();
    }
}

TEST(IniFile, SeesWritesOfOtherInstancesAndBatchesItsOwn) {
    const QString path = IniWith("[A]\nk=1\n");
    clsIniFile reader(path), writer(path);
    EXPECT_EQ(reader.GetSetting("A", "k"), "1");
    ASSERT_TRUE(writer.SaveSetting("A", "k", "2"));
    EXPECT_EQ(reader.GetSetting("A", "k"), "2");

    writer.BeginUpdate();
    writer.DeleteSection("A");
    writer.SaveSetting("A", "k", "3");
    EXPECT_EQ(writer.GetSetting("A", "k"), "3");
    EXPECT_EQ(TestEnv::ReadFile(path), "[A]\nk=2\n");  // nothing written yet
    ASSERT_TRUE(writer.EndUpdate());
    EXPECT_EQ(TestEnv::ReadFile(path), "[A]\nk=3\n");
    EXPECT_EQ(reader.GetSetting("A", "k"), "3");
}

TEST(IniFile, AFailedWriteLeavesTheFileAsItWas) {
    const QString dir = TestEnv::NewDir("locked");
    const QString path = dir + "/set.ini";
    ASSERT_TRUE(TestEnv::WriteFile(path, "[General]\nMaxjobs=3\n"));
    clsIniFile ini(path);
    {
        LockedFolder locked(dir);
        if (!locked.ok()) GTEST_SKIP() << "cannot make a folder refuse files here";
        EXPECT_FALSE(ini.SaveSetting("General", "Maxjobs", "7"));
        EXPECT_FALSE(ini.LastError().isEmpty());
        EXPECT_EQ(ini.GetSetting("General", "Maxjobs"), "3");
    }
    EXPECT_EQ(TestEnv::ReadFile(path), "[General]\nMaxjobs=3\n");
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"set.ini"});
    EXPECT_TRUE(ini.SaveSetting("General", "Maxjobs", "7"));
    EXPECT_EQ(TestEnv::ReadFile(path), "[General]\nMaxjobs=7\n");
}
