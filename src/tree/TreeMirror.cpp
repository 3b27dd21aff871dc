#include "tree/TreeMirror.h"

#include <QHash>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "widgets/Icons.h"
#include "widgets/TreeFill.h"

TreeMirror::TreeMirror(CategoryTree* tree, QTreeWidget* tvNa, QObject* parent)
    : QObject(parent), tree(tree), widget(tvNa) {
    widget->setObjectName(QStringLiteral("tvNa"));
    widget->setColumnCount(1);
    widget->setHeaderHidden(true);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    widget->setRootIsDecorated(true);
    // Changes come in bursts (loading adds every category one by one): rebuild once when the
    // burst is over, or earlier when someone asks the mirror.
    connect(tree, &CategoryTree::Changed, this, [this] {
        if (pending) return;
        pending = true;
        QTimer::singleShot(0, this, &TreeMirror::Flush);
    });
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

void TreeMirror::Flush() {
    if (pending) Rebuild();
}

QTreeWidgetItem* TreeMirror::ItemOf(const QString& key) {
    Flush();
    return key.isEmpty() ? nullptr : FindTreeItem(widget, key);
}

QString TreeMirror::SelectedKey() {
    Flush();
    return KeyOf(widget->currentItem());
}

void TreeMirror::SetSelectedIcon(QTreeWidgetItem* item, bool selected) {
    if (!item) return;
    const QString image =
        item->data(0, selected ? TreeRoles::SelectedImage : TreeRoles::Image).toString();
    item->setIcon(0, Icons::Get(image));
}

QTreeWidgetItem* TreeMirror::AddItem(QTreeWidgetItem* parentItem, const QString& key) {
    const TreeNode* node = tree->Find(key);
    if (!node) return nullptr;
    auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(widget);
    item->setText(0, node->Text);
    item->setData(0, TreeRoles::Key, node->Key);
    item->setData(0, TreeRoles::Tag, node->Tag);
    item->setData(0, TreeRoles::Image, node->Image);
    item->setData(0, TreeRoles::SelectedImage, node->SelectedImage);
    item->setIcon(0, Icons::Get(node->Image));
    return item;
}

void TreeMirror::Rebuild() {
    pending = false;
    const QString keepKey = currentKey;
    const QStringList keepAncestors = currentAncestors;
    {
        const QSignalBlocker blocker(widget);
        widget->clear();
        // Pre-order without recursion, so very deep trees cannot exhaust the stack.
        QHash<QString, QTreeWidgetItem*> items;
        for (const QString& top : tree->TopLevel()) {
            QTreeWidgetItem* topItem = AddItem(nullptr, top);
            if (!topItem) continue;
            items.insert(top, topItem);
            for (const QString& key : tree->Descendants(top)) {
                const TreeNode* node = tree->Find(key);
                QTreeWidgetItem* parentItem = node ? items.value(node->ParentKey) : nullptr;
                if (QTreeWidgetItem* item = parentItem ? AddItem(parentItem, key) : nullptr)
                    items.insert(key, item);
            }
        }
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
    Flush();
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
