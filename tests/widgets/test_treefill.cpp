// The category copies in dialog trees and combo boxes.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTreeWidget>

#include "store/CategoryTree.h"
#include "store/JobDb.h"
#include "widgets/TreeFill.h"

namespace {

void BuildNested(CategoryTree& tree) {
    AddFixedNodes(tree, true);
    AddHistoryNodes(tree);
    tree.Add("101k", "101k1", "Short", "5", "6", "/f/short/");
    tree.Add("101k1", "101k11", "Shorter", "5", "6", "/f/shorter/");
}

}  // namespace

TEST(TreeFill, CopyClassTreeHasDownloadedAsRootWithCategoriesInOrder) {
    CategoryTree tree;
    BuildNested(tree);
    QTreeWidget target;
    new QTreeWidgetItem(&target, QStringList{"stale"});
    CopyClassTree(&target, tree);

    ASSERT_EQ(target.topLevelItemCount(), 1);
    QTreeWidgetItem* root = target.topLevelItem(0);
    EXPECT_EQ(root->text(0), "Downloaded");
    EXPECT_EQ(TreeItemKey(root), "Downloaded");
    ASSERT_EQ(root->childCount(), 4);
    EXPECT_EQ(root->child(0)->text(0), "Cartoon");
    EXPECT_EQ(root->child(3)->data(0, TreeRoles::Key).toString(), "104k");
    QTreeWidgetItem* deep = FindTreeItem(&target, "101k11");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->parent()->parent(), root->child(0));
    EXPECT_EQ(deep->data(0, TreeRoles::Tag).toString(), "/f/shorter/");
    // Fixed nodes other than "Downloaded" and the history never appear.
    EXPECT_EQ(FindTreeItem(&target, "Recely"), nullptr);
    EXPECT_EQ(FindTreeItem(&target, "Today"), nullptr);
}

TEST(TreeFill, FillClassComboIndentsByDepthInPreOrder) {
    CategoryTree tree;
    BuildNested(tree);
    QComboBox combo;
    combo.addItem("stale");
    FillClassCombo(&combo, tree);

    ASSERT_EQ(combo.count(), 7);
    const QStringList expectKeys{"Downloaded", "101k", "101k1", "101k11", "102k", "103k", "104k"};
    const QList<int> expectDepth{0, 1, 2, 3, 1, 1, 1};
    for (int i = 0; i < combo.count(); ++i) {
        EXPECT_EQ(combo.itemData(i, TreeRoles::Key).toString(), expectKeys[i]);
        EXPECT_EQ(combo.itemData(i, TreeRoles::Depth).toInt(), expectDepth[i]);
        EXPECT_FALSE(combo.itemIcon(i).isNull());
    }
    EXPECT_EQ(combo.itemText(0), "Downloaded");
    EXPECT_EQ(combo.itemText(3).trimmed(), "Shorter");
    EXPECT_GT(combo.itemText(3).size() - combo.itemText(3).trimmed().size(),
              combo.itemText(2).size() - combo.itemText(2).trimmed().size());
    EXPECT_EQ(combo.itemData(2, TreeRoles::Tag).toString(), "/f/short/");
    EXPECT_EQ(FindComboKey(&combo, "102k"), 4);
}
