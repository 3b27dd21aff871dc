#pragma once
// Copies of the category part of the tree into dialog controls: a tree widget with "Downloaded"
// as its root, and a combo box with one indented item per category.

#include <Qt>

#include "store/CategoryTree.h"

class QTreeWidget;
class QTreeWidgetItem;
class QComboBox;

namespace TreeRoles {
// Column 0 of a tree item and every combo item carry the node key and the folder (tag).
constexpr int Key = Qt::UserRole;
constexpr int Tag = Qt::UserRole + 1;
// Combo items also carry their depth below "Downloaded" (0 for "Downloaded" itself).
constexpr int Depth = Qt::UserRole + 2;
// Tree items carry the image keys (normal and selected) so a selection can switch the icon.
constexpr int Image = Qt::UserRole + 3;
constexpr int SelectedImage = Qt::UserRole + 4;
}  // namespace TreeRoles

// Clears target and fills it with "Downloaded" as its only top-level item and every category
// below it in order (key, caption, images, tag). All items are expanded.
void CopyClassTree(QTreeWidget* target, const CategoryTree& tree);

// Clears combo and adds "Downloaded" (depth 0), then every category in pre-order with its depth
// shown as indentation. Each item has the node's key, folder and depth as data.
void FillClassCombo(QComboBox* combo, const CategoryTree& tree);

// The item of a tree widget whose key is key, or nullptr.
QTreeWidgetItem* FindTreeItem(QTreeWidget* target, const QString& key);
// The key of a tree widget item (empty for nullptr).
QString TreeItemKey(const QTreeWidgetItem* item);
// The combo index of key, or -1.
int FindComboKey(const QComboBox* combo, const QString& key);
