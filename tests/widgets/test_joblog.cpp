// The job log: growth, entry lists, and listing a connection's entries with their look.

#include <gtest/gtest.h>

#include <QTreeWidget>

#include "store/JobLog.h"
#include "widgets/LogView.h"

namespace {

TEST(JobLog, GrowsByThousandWheneverFewerThanThousandAreLeft) {
    InitJobLog();
    EXPECT_EQ(LogCapacity, 1000);
    QString tag;
    EXPECT_EQ(AddLog(tag, "one", 1, 1), 1);
    EXPECT_EQ(LogCapacity, 2000);
    for (int i = 2; i <= 999; ++i) AddLog(tag, "x", 100, 1);
    EXPECT_EQ(LogCapacity, 2000);
    AddLog(tag, "x", 100, 1);
    AddLog(tag, "1001", 100, 1);
    EXPECT_EQ(LogCapacity, 3000);
    EXPECT_EQ(static_cast<int>(JobLog.size()), LogCapacity + 1);
    EXPECT_EQ(JobLog[1].LogText, "one");
    EXPECT_EQ(JobLog[1001].LogText, "1001");
    EXPECT_TRUE(tag.startsWith("1,2,3,"));
    EXPECT_TRUE(tag.endsWith("1000,1001,"));
}

TEST(JobLog, ListsOnlyTheRowsEntriesOfThePartOldestFirst) {
    InitJobLog();
    QString mine, other;
    for (int i = 1; i <= 12; ++i) {
        QString& tag = (i == 3 || i == 7 || i == 12) ? mine : other;
        AddLog(tag, QString("entry %1").arg(i), i == 7 ? 8 : 1, i == 12 ? 3 : 2);
    }
    EXPECT_EQ(mine, "3,7,12,");
    QTreeWidget* list = NewLogList("lvResponse1");
    LookSearchLogLv(list, mine, 2, 0);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "entry 3");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "entry 7");
    EXPECT_EQ(list->topLevelItem(1)->data(0, LogKindRole).toInt(), 8);
    EXPECT_EQ(list->topLevelItem(1)->background(1).color(), QColor(255, 0, 0));
    EXPECT_TRUE(list->selectedItems().isEmpty());

    // A full refresh replaces, an incremental one appends only the new tail.
    LookSearchLogLv(list, mine, 2, 0);
    EXPECT_EQ(list->topLevelItemCount(), 2);
    const int n = AddLog(mine, "entry 13", 4, 2);
    AddLog(mine, "entry 14", 10, 2);
    LookSearchLogLv(list, mine, 2, n);
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(list->topLevelItem(2)->text(1), "entry 13");
    QTreeWidgetItem* link = list->topLevelItem(3);
    EXPECT_TRUE(link->icon(0).isNull());
    EXPECT_EQ(link->background(0).style(), Qt::NoBrush);

    // Empty lists and numbers that name no entry are harmless.
    LookSearchLogLv(list, "", 2, 0);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    LookSearchLogLv(list, "0,99999,abc,3,", 2, 0);
    EXPECT_EQ(list->topLevelItemCount(), 1);
    delete list;
}

TEST(JobLog, EntryNumbersOfATail) {
    InitJobLog();
    QString tag;
    for (int i = 0; i < 20; ++i) AddLog(tag, "x", 1, 1);
    EXPECT_EQ(LogEntryNumbers(tag, 18), (std::vector<int32_t>{18, 19, 20}));
    EXPECT_EQ(LogEntryNumbers(tag, 21), std::vector<int32_t>{});
    EXPECT_EQ(LogEntryNumbers(tag, 1).size(), 20u);
    EXPECT_EQ(LogEntryNumbers("5", 0), std::vector<int32_t>{});  // no comma: no entry
}

}  // namespace
