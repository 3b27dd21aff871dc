#include "tree/TreeMirror.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "store/Icons.h"
#include "tree/TreeFill.h"

TreeMirror::TreeMirror(CategoryTree* tree, QTreeWidget* tvNa, QObject* parent)
    : QObject(parent), tree(tree), widget(tvNa) {
    widget->setObjectName(QStringLiteral("tvNa"));
    widget->setColumnCount(1);
    widget->setHeaderHidden(true);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    widget->setRootIsDecorated(true);
    connect(tree, &CategoryTree::Changed, this, &TreeMirror::Rebuild);
    connect(widget, &QTreeWidget::currentItemChanged, this, &TreeMirror::OnCurrentItemChanged);
    connect(widget, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { collapsed.insert(KeyOf(item)); });
    connect(widget, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { collapsed.remove(KeyOf(item)); });
    connect(widget, &QWidget::customContextMenuRequested, this, &TreeMirror::OnContextMenu);
    Rebuild();
}

QString TreeMirror::KeyOf(const QTreeWidgetItem* item) {
    return TreeItemKey(item);
}

QTreeWidgetItem* TreeMirror::ItemOf(const QString& key) const {
    return key.isEmpty() ? nullptr : FindTreeItem(widget, key);
}

QString TreeMirror::SelectedKey() const {
    return KeyOf(widget->currentItem());
}

void TreeMirror::SetSelectedIcon(QTreeWidgetItem* item, bool selected) {
    if (!item) return;
    const QString image =
        item->data(0, selected ? TreeRoles::SelectedImage : TreeRoles::Image).toString();
    item->setIcon(0, QvIcon(image));
}

void TreeMirror::AddItem(QTreeWidgetItem* parentItem, const QString& key) {
    const TreeNode* node = tree->Find(key);
    if (!node) return;
    auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(widget);
    item->setText(0, node->Text);
    item->setData(0, TreeRoles::Key, node->Key);
    item->setData(0, TreeRoles::Tag, node->Tag);
    item->setData(0, TreeRoles::Image, node->Image);
    item->setData(0, TreeRoles::SelectedImage, node->SelectedImage);
    item->setIcon(0, QvIcon(node->Image));
    for (const QString& childKey : node->Children) AddItem(item, childKey);
}

void TreeMirror::Rebuild() {
    const QString keepKey = currentKey;
    const QStringList keepAncestors = currentAncestors;
    {
        const QSignalBlocker blocker(widget);
        widget->clear();
        for (const QString& key : tree->TopLevel()) AddItem(nullptr, key);
        for (QTreeWidgetItemIterator it(widget); *it; ++it)
            (*it)->setExpanded(!collapsed.contains(KeyOf(*it)));
    }
    // Forget collapsed nodes that are gone.
    for (auto it = collapsed.begin(); it != collapsed.end();)
        it = tree->Exists(*it) ? std::next(it) : collapsed.erase(it);

    if (keepKey.isEmpty()) return;
    if (QTreeWidgetItem* item = ItemOf(keepKey)) {
        const QSignalBlocker blocker(widget);
        widget->setCurrentItem(item);
        SetSelectedIcon(item, true);
        RememberAncestors();
        return;
    }
    // The chosen node is gone (deleted, maybe with a category above it): choose the nearest
    // former ancestor that is left, or nothing, and say so.
    currentKey.clear();
    currentAncestors.clear();
    QString fallback;
    for (const QString& k : keepAncestors)
        if (tree->Exists(k)) {
            fallback = k;
            break;
        }
    if (!fallback.isEmpty()) {
        Select(fallback, true);
    } else {
        const QSignalBlocker blocker(widget);
        widget->setCurrentItem(nullptr);
        emit NodeSelected(QString());
    }
}

bool TreeMirror::Select(const QString& key, bool notify) {
    QTreeWidgetItem* item = ItemOf(key);
    if (!item) return false;
    QTreeWidgetItem* previous = widget->currentItem();
    {
        const QSignalBlocker blocker(widget);
        widget->setCurrentItem(item);
    }
    if (previous != item) SetSelectedIcon(previous, false);
    SetSelectedIcon(item, true);
    currentKey = key;
    RememberAncestors();
    widget->scrollToItem(item);
    if (notify) emit NodeSelected(key);
    return true;
}

void TreeMirror::RememberAncestors() {
    currentAncestors.clear();
    const TreeNode* node = tree->Find(currentKey);
    while (node && !node->ParentKey.isEmpty()) {
        currentAncestors.append(node->ParentKey);
        node = tree->Find(node->ParentKey);
    }
}

void TreeMirror::OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    SetSelectedIcon(previous, false);
    if (!current) return;
    Select(KeyOf(current), true);
}

void TreeMirror::OnContextMenu(const QPoint& pos) {
    QTreeWidgetItem* item = widget->itemAt(pos);
    if (!item) return;
    const QString key = KeyOf(item);
    // A right click first chooses the node (again), like a left click.
    Select(key, true);
    emit ContextMenuRequested(key, widget->viewport()->mapToGlobal(pos));
}
