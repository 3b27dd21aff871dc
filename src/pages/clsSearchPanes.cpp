#include "pages/clsSearchPanes.h"

#include <QHeaderView>

#include "manager/LogView.h"
#include "pages/clsSearchQueue.h"
#include "store/Icons.h"
#include "store/JobTable.h"

clsSearchPanes::clsSearchPanes(clsSearchQueue* queue, QWidget* parentWidget, QObject* parent)
    : QObject(parent), queue(queue) {
    lvDownHtml = new QTreeWidget(parentWidget);
    lvDownHtml->setObjectName(QStringLiteral("lvDownHtml"));
    QStringList headers{QStringLiteral("Pic ")};
    headers += clsSearchQueue::ColumnCaptions();
    lvDownHtml->setColumnCount(headers.size());
    lvDownHtml->setHeaderLabels(headers);
    lvDownHtml->setRootIsDecorated(false);
    lvDownHtml->setUniformRowHeights(true);
    lvDownHtml->setAllColumnsShowFocus(true);
    lvDownHtml->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvDownHtml->setSelectionBehavior(QAbstractItemView::SelectRows);
    const int widths[] = {34, 110, 150, 70, 70, 60, 50, 70, 90, 320};
    for (int c = 0; c < headers.size(); ++c) lvDownHtml->setColumnWidth(c, widths[c]);
    lvDownHtml->header()->setStretchLastSection(true);

    lvHaveDownHtml = NewLogList(QStringLiteral("lvHaveDownHtml"), parentWidget);

    connect(queue, &clsSearchQueue::RowAdded, this, &clsSearchPanes::OnRowAdded);
    connect(queue, &clsSearchQueue::RowChanged, this, &clsSearchPanes::OnRowChanged);
    connect(queue, &clsSearchQueue::RowRemoved, this, &clsSearchPanes::OnRowRemoved);
    connect(queue, &clsSearchQueue::SearchLogChanged, this, &clsSearchPanes::OnLogChanged);
    connect(lvDownHtml, &QTreeWidget::itemClicked, this, &clsSearchPanes::OnItemClicked);
    connect(lvDownHtml, &QTreeWidget::itemActivated, this, &clsSearchPanes::OnItemClicked);

    for (const int i : queue->RowIndexes()) OnRowAdded(i);
}

clsSearchPanes::~clsSearchPanes() = default;

void clsSearchPanes::Fill(QTreeWidgetItem* item, int i) {
    const SearchRow* row = queue->Row(i);
    if (!row) return;
    item->setIcon(0, row->Icon.isEmpty() ? QIcon() : QvIcon(row->Icon));
    for (int c = 1; c < row->SubItems.size() && c < lvDownHtml->columnCount(); ++c)
        if (item->text(c) != row->SubItems[c]) item->setText(c, row->SubItems[c]);
}

void clsSearchPanes::OnRowAdded(int i) {
    if (!lvDownHtml || items.count(i)) return;
    auto* item = new QTreeWidgetItem;
    item->setData(0, KeyRole, QString::number(i) + QStringLiteral("Key"));
    Fill(item, i);
    lvDownHtml->addTopLevelItem(item);
    items.emplace(i, item);
}

void clsSearchPanes::OnRowChanged(int i) {
    if (!lvDownHtml) return;
    const auto it = items.find(i);
    if (it != items.end()) Fill(it->second, i);
}

void clsSearchPanes::OnRowRemoved(int i) {
    if (!lvDownHtml) return;
    const auto it = items.find(i);
    if (it == items.end()) return;
    QTreeWidgetItem* item = it->second;
    items.erase(it);
    delete item;
}

void clsSearchPanes::OnLogChanged(int i, int32_t first) {
    if (!lvHaveDownHtml) return;
    const SearchRow* row = queue->Row(i);
    if (!row) {
        if (first == 0) lvHaveDownHtml->clear();
        return;
    }
    LookSearchLogLv(lvHaveDownHtml, row->EntryList, 0, first);
}

void clsSearchPanes::OnItemClicked(QTreeWidgetItem* item) {
    if (!item) return;
    const int i = KeyIndex(item->data(0, KeyRole).toString());
    if (!items.count(i)) return;
    queue->ShowSearch(i);
    emit SearchShown(i);
}

int clsSearchPanes::SelectedSearch() const {
    if (!lvDownHtml) return 0;
    QTreeWidgetItem* chosen = lvDownHtml->currentItem();
    if (!chosen || !chosen->isSelected()) {
        const QList<QTreeWidgetItem*> selected = lvDownHtml->selectedItems();
        chosen = selected.isEmpty() ? nullptr : selected.first();
    }
    if (!chosen) return 0;
    return KeyIndex(chosen->data(0, KeyRole).toString());
}

QList<int> clsSearchPanes::SelectedSearches() const {
    QList<int> list;
    if (!lvDownHtml) return list;
    for (QTreeWidgetItem* item : lvDownHtml->selectedItems())
        list << KeyIndex(item->data(0, KeyRole).toString());
    return list;
}

QTreeWidgetItem* clsSearchPanes::RowItem(int i) const {
    const auto it = items.find(i);
    return it == items.end() ? nullptr : it->second;
}
