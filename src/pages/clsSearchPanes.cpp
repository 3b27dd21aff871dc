#include "pages/clsSearchPanes.h"

#include <QHash>
#include <QHeaderView>

#include "pages/clsSearchQueue.h"
#include "store/JobTable.h"
#include "widgets/Icons.h"
#include "widgets/KeyboardChoice.h"
#include "widgets/LogView.h"

namespace {
// How long changes are gathered before the lists show them.
constexpr int kFlushMs = 25;
// Rows (and log lines) shown per pass, so that no pass keeps the window busy for long.
constexpr size_t kRowsPerPass = 400;

// Offset of the element holding entry number `entry` in an entry list ("1,5,9,"), searched from
// the end (where the newest entries are); -1 when it is not there.
// State icons by key, looked up once.
QIcon StateIcon(const QString& key) {
    static QHash<QString, QIcon> icons;
    if (key.isEmpty()) return QIcon();
    auto it = icons.find(key);
    if (it == icons.end()) it = icons.insert(key, Icons::Get(key));
    return it.value();
}

qsizetype EntryOffset(const QString& entryList, int32_t entry) {
    qsizetype end = entryList.size() - 1;  // the comma closing the last element
    while (end > 0) {
        const qsizetype from = entryList.lastIndexOf(u',', end - 1) + 1;
        const int32_t e = entryList.mid(from, end - from).toInt();
        if (e == entry) return from;
        if (e < entry) return -1;
        end = from - 1;
    }
    return -1;
}
}  // namespace

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
    KeyboardChoice::Follow(lvDownHtml, [this](QTreeWidgetItem* item) { OnItemClicked(item); });

    flushTimer.setSingleShot(true);
    flushTimer.setInterval(kFlushMs);
    connect(&flushTimer, &QTimer::timeout, this, [this] {
        if (!FlushSome(kRowsPerPass)) flushTimer.start();
    });

    for (const int i : queue->RowIndexes()) OnRowAdded(i);
    Flush();
}

clsSearchPanes::~clsSearchPanes() = default;

void clsSearchPanes::Fill(QTreeWidgetItem* item, int i) {
    const SearchRow* row = queue->Row(i);
    if (!row) return;
    if (item->data(0, IconKeyRole).toString() != row->Icon) {
        item->setData(0, IconKeyRole, row->Icon);
        item->setIcon(0, StateIcon(row->Icon));
    }
    for (int c = 1; c < row->SubItems.size() && c < lvDownHtml->columnCount(); ++c)
        if (item->text(c) != row->SubItems[c]) item->setText(c, row->SubItems[c]);
}

void clsSearchPanes::ScheduleFlush() {
    if (!flushTimer.isActive()) flushTimer.start();
}

void clsSearchPanes::OnRowAdded(int i) {
    pendingAdds.push_back(i);
    ScheduleFlush();
}

void clsSearchPanes::OnRowChanged(int i) {
    pendingChanges.insert(i);
    ScheduleFlush();
}

void clsSearchPanes::OnRowRemoved(int i) {
    std::erase(pendingAdds, i);
    pendingChanges.erase(i);
    if (pendingLogSearch == i) pendingLogSearch = 0;
    const auto it = items.find(i);
    if (it == items.end()) return;
    QTreeWidgetItem* item = it->second;
    items.erase(it);
    if (lvDownHtml) delete item;
}

void clsSearchPanes::OnLogChanged(int i, int32_t first) {
    const SearchRow* row = queue->Row(i);
    if (first == 0) {
        // A job is chosen: list its whole log at once.
        pendingLogSearch = 0;
        if (!lvHaveDownHtml) return;
        if (row)
            LookSearchLogLv(lvHaveDownHtml, row->EntryList, 0, 0);
        else
            lvHaveDownHtml->clear();
        return;
    }
    if (!row || pendingLogSearch == i) return;  // already waiting from an earlier entry on
    const qsizetype pos = EntryOffset(row->EntryList, first);
    if (pos < 0) return;
    pendingLogSearch = i;
    pendingLogPos = pos;
    ScheduleFlush();
}

void clsSearchPanes::Flush() {
    flushTimer.stop();
    while (!FlushSome(kRowsPerPass)) {
    }
}

bool clsSearchPanes::FlushSome(size_t limit) {
    if (lvDownHtml) {
        QList<QTreeWidgetItem*> added;
        while (!pendingAdds.empty() && static_cast<size_t>(added.size()) < limit) {
            const int i = pendingAdds.front();
            pendingAdds.pop_front();
            if (items.count(i) || !queue->HasRow(i)) continue;
            auto* item = new QTreeWidgetItem;
            item->setData(0, KeyRole, QString::number(i) + QStringLiteral("Key"));
            Fill(item, i);
            items.emplace(i, item);
            added << item;
        }
        if (!added.isEmpty()) lvDownHtml->addTopLevelItems(added);
        for (const int i : pendingChanges) {
            const auto it = items.find(i);
            if (it != items.end()) Fill(it->second, i);
        }
    } else {
        pendingAdds.clear();
    }
    pendingChanges.clear();

    const SearchRow* row = pendingLogSearch != 0 ? queue->Row(pendingLogSearch) : nullptr;
    if (row && lvHaveDownHtml) {
        // The next `limit` entries from pendingLogPos on.
        const QString& entries = row->EntryList;
        qsizetype end = pendingLogPos;
        for (size_t n = 0; n < limit && end < entries.size(); ++n) {
            const qsizetype comma = entries.indexOf(u',', end);
            if (comma < 0) break;
            end = comma + 1;
        }
        const qsizetype firstComma = entries.indexOf(u',', pendingLogPos);
        const int32_t first =
            firstComma < 0
                ? 0
                : QStringView(entries).mid(pendingLogPos, firstComma - pendingLogPos).toInt();
        if (first > 0) LookSearchLogLv(lvHaveDownHtml, entries.left(end), 0, first);
        pendingLogPos = end;
        if (end >= entries.size()) pendingLogSearch = 0;
    } else {
        pendingLogSearch = 0;
    }
    return pendingAdds.empty() && pendingLogSearch == 0;
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
