// The per-user registry store and the browser context-menu keys.

#include <gtest/gtest.h>

#include <QFile>

#include "StoreTestSupport.h"
#include "common/TestEnv.h"
#include "store/Regist.h"
#include "store/clsIniFile.h"

namespace {

class RegistTest : public ::testing::Test {
protected:
    void SetUp() override { home = TestEnv::IsolateHome(); }
    QString home;
};

}  // namespace

TEST_F(RegistTest, StoreLivesInTheConfigFolder) {
    EXPECT_EQ(Regist::StoreFile(), home + "/.config/quorvanta/registry.ini");
}

TEST_F(RegistTest, ParseKeySplitsAtTheFirstBackslash) {
    uint32_t root = 1;
    QString sub;
    MessageCatcher messages;
    EXPECT_TRUE(Regist::ParseKey("HKEY_CURRENT_USER\\Software\\A\\B", &root, &sub));
    EXPECT_EQ(root, Regist::kCurrentUser);
    EXPECT_EQ(sub, "Software\\A\\B");
    EXPECT_TRUE(Regist::ParseKey("HKEY_DYN_DATA", &root, &sub));
    EXPECT_EQ(root, Regist::kDynData);
    EXPECT_EQ(sub, "");
    EXPECT_TRUE(Regist::ParseKey("HKEY_NOWHERE\\x", &root, &sub));
    EXPECT_EQ(root, 0u);
    EXPECT_TRUE(Regist::ParseKey("HKEY_current_user\\x", &root, &sub));
    EXPECT_EQ(root, 0u);  // names compare exactly
    EXPECT_TRUE(messages.texts.isEmpty());

    EXPECT_FALSE(Regist::ParseKey("Software\\A", &root, &sub));
    EXPECT_FALSE(Regist::ParseKey("HKEY_CURRENT_USER\\Software\\", &root, &sub));
    EXPECT_EQ(messages.texts, (QStringList{"Incorrect Format:\n\nSoftware\\A",
                                           "Incorrect Format:\n\nHKEY_CURRENT_USER\\Software\\"}));
}

TEST_F(RegistTest, ValuesNeedAnExistingKey) {
    const QString key = "HKEY_CURRENT_USER\\Software\\Test\\Key";
    Regist::SetStringValue(key, "", "text");
    EXPECT_EQ(Regist::LastStatus, Regist::kFileNotFound);
    EXPECT_FALSE(QFile::exists(Regist::StoreFile()));

    Regist::CreateKey(key);
    EXPECT_EQ(Regist::LastStatus, Regist::kSuccess);
    clsIniFile store(Regist::StoreFile());
    EXPECT_TRUE(store.SectionExists("HKEY_CURRENT_USER\\Software"));
    EXPECT_TRUE(store.SectionExists("HKEY_CURRENT_USER\\Software\\Test"));
    EXPECT_TRUE(store.SectionExists(key));

    Regist::SetStringValue(key, "", "default text");
    Regist::SetStringValue(key, "Name", "a=b");
    Regist::SetDwordValue(key, "Count", 0xF3);
    QString text;
    uint32_t number = 0;
    EXPECT_TRUE(Regist::QueryStringValue(key, "", &text));
    EXPECT_EQ(text, "default text");
    EXPECT_TRUE(Regist::QueryStringValue(key, "name", &text));
    EXPECT_EQ(text, "a=b");
    EXPECT_TRUE(Regist::QueryDwordValue(key, "Count", &number));
    EXPECT_EQ(number, 0xF3u);
    EXPECT_FALSE(Regist::QueryDwordValue(key, "Name", &number));

    // Creating it again changes nothing.
    const QByteArray before = TestEnv::ReadFile(Regist::StoreFile());
    Regist::CreateKey(key);
    EXPECT_EQ(TestEnv::ReadFile(Regist::StoreFile()), before);
}

TEST_F(RegistTest, MalformedPathsAndUnknownRootsWriteNothing) {
    MessageCatcher messages;
    Regist::CreateKey("Software\\X");
    Regist::SetStringValue("HKEY_CURRENT_USER\\X\\", "", "v");
    EXPECT_EQ(messages.texts.size(), 2);
    Regist::CreateKey("HKEY_NOWHERE\\X");
    EXPECT_EQ(Regist::LastStatus, Regist::kInvalidHandle);
    Regist::CreateKey("HKEY_CURRENT_USER\\a\\\\b");
    EXPECT_EQ(Regist::LastStatus, Regist::kInvalidParameter);
    Regist::CreateKey("HKEY_CURRENT_USER\\a]b");
    EXPECT_EQ(Regist::LastStatus, Regist::kInvalidParameter);
    EXPECT_EQ(messages.texts.size(), 2);
    EXPECT_FALSE(QFile::exists(Regist::StoreFile()));
}

TEST_F(RegistTest, ContextMenuKeysFollowTheProgramFolder) {
    Regist::WriteContextMenuKeys("/opt/quorvanta");
    Regist::WriteContextMenuKeys("/home/ann/apps/quorvanta");
    QString text;
    uint32_t contexts = 0;
    ASSERT_TRUE(Regist::QueryStringValue(Regist::DownloadMenuKey, "", &text));
    EXPECT_EQ(text, "/home/ann/apps/quorvanta/qv_url.htm");
    ASSERT_TRUE(Regist::QueryDwordValue(Regist::DownloadMenuKey, "Contexts", &contexts));
    EXPECT_EQ(contexts, 34u);
    ASSERT_TRUE(Regist::QueryStringValue(Regist::SearchMenuKey, "", &text));
    EXPECT_EQ(text, "/home/ann/apps/quorvanta/qv_search.htm");
    ASSERT_TRUE(Regist::QueryDwordValue(Regist::SearchMenuKey, "Contexts", &contexts));
    EXPECT_EQ(contexts, 243u);
    const QByteArray file = TestEnv::ReadFile(Regist::StoreFile());
    EXPECT_TRUE(
        file.contains("[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt"
                      "\\Using Quorvanta to download]\n@=sz:/home/ann/apps/quorvanta/"
                      "qv_url.htm\nContexts=dword:00000022\n"))
        << file.toStdString();
    EXPECT_EQ(file.count("Using Quorvanta to search]"), 1);
}
