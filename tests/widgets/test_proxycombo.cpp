// The proxy combo filled from the settings file.

#include <gtest/gtest.h>

#include <QComboBox>

#include "common/TestEnv.h"
#include "store/Globals.h"
#include "widgets/ProxyCombo.h"

namespace {

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

}  // namespace
