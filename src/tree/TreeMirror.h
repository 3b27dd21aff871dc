#pragma once
// Keeps the main window's tree widget tvNa in step with the headless CategoryTree: changes are
// gathered and the widget is rebuilt once from the event loop (at once when the mirror is
// asked: SelectedKey, Select, ItemOf, Flush), keeping the chosen node and which nodes the user
// collapsed.
// Choosing a node (click, keyboard, right click) is reported as NodeSelected(key).

#include <QObject>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QStringList>

#include "store/CategoryTree.h"

class QTreeWidget;
class QTreeWidgetItem;

class TreeMirror : public QObject {
    Q_OBJECT
public:
    // Fills tvNa at once. tvNa gets the object name "tvNa", one column, no header, and a custom
    // context menu policy.
    TreeMirror(CategoryTree* tree, QTreeWidget* tvNa, QObject* parent = nullptr);

    QTreeWidget* Widget() const { return widget; }
    // Key of the chosen node; empty when none.
    QString SelectedKey();
    // Chooses the node of key; NodeSelected(key) follows when notify is true. False when the
    // key is unknown.
    bool Select(const QString& key, bool notify = true);
    QTreeWidgetItem* ItemOf(const QString& key);
    static QString KeyOf(const QTreeWidgetItem* item);

    // Rebuilds the widget from the tree now.
    void Rebuild();
    // Rebuilds when the tree changed since the last rebuild.
    void Flush();

signals:
    void NodeSelected(const QString& key);
    // A right click on a node: the node was chosen (NodeSelected came first), the menu is due.
    void ContextMenuRequested(const QString& key, const QPoint& globalPos);

private:
    void OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void OnContextMenu(const QPoint& pos);
    void SetSelectedIcon(QTreeWidgetItem* item, bool selected);
    void RememberAncestors();
    QTreeWidgetItem* AddItem(QTreeWidgetItem* parentItem, const QString& key);

    CategoryTree* tree;
    QTreeWidget* widget;
    QSet<QString> collapsed;
    bool pending = false;
    QString currentKey;
    QStringList currentAncestors;  // nearest first
};
