#include "widgets/TreeFill.h"

#include <QComboBox>
#include <QHash>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "widgets/Icons.h"

namespace {

void SetNodeData(QTreeWidgetItem* item, const TreeNode& node) {
    item->setText(0, node.Text);
    item->setIcon(0, Icons::Get(node.Image));
    item->setData(0, TreeRoles::Key, node.Key);
    item->setData(0, TreeRoles::Tag, node.Tag);
    item->setData(0, TreeRoles::Image, node.Image);
    item->setData(0, TreeRoles::SelectedImage, node.SelectedImage);
}

}  // namespace

void CopyClassTree(QTreeWidget* target, const CategoryTree& tree) {
    if (!target) return;
    target->clear();
    const TreeNode* downloaded = tree.Find(TreeKeys::Downloaded);
    if (!downloaded) return;
    auto* root = new QTreeWidgetItem(target);
    SetNodeData(root, *downloaded);
    // Pre-order, so every parent item exists before its children (no recursion: a damaged
    // database may nest categories very deeply).
    QHash<QString, QTreeWidgetItem*> items{{TreeKeys::Downloaded, root}};
    for (const QString& key : tree.Descendants(TreeKeys::Downloaded)) {
        const TreeNode* node = tree.Find(key);
        QTreeWidgetItem* parentItem = node ? items.value(node->ParentKey) : nullptr;
        if (!parentItem) continue;
        auto* item = new QTreeWidgetItem(parentItem);
        SetNodeData(item, *node);
        items.insert(key, item);
    }
    target->expandAll();
}

void FillClassCombo(QComboBox* combo, const CategoryTree& tree) {
    if (!combo) return;
    combo->clear();
    const TreeNode* downloaded = tree.Find(TreeKeys::Downloaded);
    if (!downloaded) return;
    QStringList keys{TreeKeys::Downloaded};
    keys.append(tree.Descendants(TreeKeys::Downloaded));
    // Pre-order: a parent's depth is known before its children's, so no walk up per category.
    QHash<QString, int> depths;
    for (const QString& key : keys) {
        const TreeNode* node = tree.Find(key);
        if (!node) continue;
        const int depth = key == TreeKeys::Downloaded ? 0 : depths.value(node->ParentKey) + 1;
        depths.insert(key, depth);
        const QString indent(depth * 4, QLatin1Char(' '));
        combo->addItem(Icons::Get(node->Image), indent + node->Text);
        const int index = combo->count() - 1;
        combo->setItemData(index, node->Key, TreeRoles::Key);
        combo->setItemData(index, node->Tag, TreeRoles::Tag);
        combo->setItemData(index, depth, TreeRoles::Depth);
    }
}

QTreeWidgetItem* FindTreeItem(QTreeWidget* target, const QString& key) {
    if (!target) return nullptr;
    for (QTreeWidgetItemIterator it(target); *it; ++it)
        if ((*it)->data(0, TreeRoles::Key).toString() == key) return *it;
    return nullptr;
}

QString TreeItemKey(const QTreeWidgetItem* item) {
    return item ? item->data(0, TreeRoles::Key).toString() : QString();
}

int FindComboKey(const QComboBox* combo, const QString& key) {
    return combo ? combo->findData(key, TreeRoles::Key) : -1;
}
