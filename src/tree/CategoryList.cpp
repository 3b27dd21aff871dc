#include "tree/CategoryList.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSet>
#include <QTreeWidget>

#include "store/JobTable.h"
#include "store/LocalPath.h"
#include "tree/CategoryView.h"
#include "widgets/Icons.h"
#include "widgets/KeyboardChoice.h"
#include "widgets/SortableItem.h"

CategoryList::CategoryList(CategoryView* view, QTreeWidget* lvHaveDown, QObject* parent)
    : QObject(parent), view(view), list(lvHaveDown) {
    SetUpList(list);
    connect(view, &CategoryView::CategoryListChanged, this, &CategoryList::Fill);
    connect(list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { emit JobChosen(JobOf(item)); });
    KeyboardChoice::Follow(list, [this](QTreeWidgetItem* item) { emit JobChosen(JobOf(item)); });
    connect(list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { emit JobDoubleClicked(JobOf(item)); });
    list->installEventFilter(this);
    Fill();
}

bool CategoryList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QTreeWidgetItem* current = list->currentItem();
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && current &&
            current->isSelected()) {
            emit JobActivated(JobOf(current));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CategoryList::SetUpList(QTreeWidget* target) {
    target->setObjectName(QStringLiteral("lvHaveDown"));
    target->setColumnCount(4);
    target->setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Size"),
                             QStringLiteral("Local File"), QStringLiteral("Url")});
    target->setRootIsDecorated(false);
    target->setUniformRowHeights(true);
    target->setSelectionMode(QAbstractItemView::ExtendedSelection);
    target->setContextMenuPolicy(Qt::CustomContextMenu);
    target->header()->resizeSection(0, 200);
    target->header()->resizeSection(1, 80);
    target->header()->resizeSection(2, 260);
    // A click on a column header sorts the rows, the size as a number.
    SortableItem::EnableSorting(target, {1});
}

QTreeWidget* CategoryList::CreateList(QWidget* parent) {
    auto* target = new QTreeWidget(parent);
    SetUpList(target);
    return target;
}

QTreeWidget* CategoryList::CreateInfoList(QWidget* parent) {
    auto* info = new QTreeWidget(parent);
    info->setObjectName(QStringLiteral("lvHaveDownInfo"));
    info->setColumnCount(2);
    info->setHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Value")});
    info->setRootIsDecorated(false);
    info->setUniformRowHeights(true);
    info->header()->setSectionsClickable(false);
    info->header()->setHighlightSections(false);
    info->header()->resizeSection(0, 110);
    // Flat headers: the sections are drawn as plain captions, not as buttons.
    info->header()->setStyleSheet(
        QStringLiteral("QHeaderView::section { border: none; border-bottom: 1px solid palette(mid);"
                       " padding: 2px 4px; background: palette(window); }"));
    return info;
}

void CategoryList::Fill() {
    // A refill of the same listing (a download finished meanwhile) keeps what the user chose:
    // the selected rows and the current row, by their keys.
    const bool sameListing =
        view->CurrentKey() == filledKey && view->HistoryFilter() == filledFilter;
    QSet<QString> keepSelected;
    QString keepCurrent;
    int keepScroll = 0;
    if (sameListing) {
        for (QTreeWidgetItem* item : SelectedRows()) keepSelected.insert(RowKey(item));
        keepCurrent = RowKey(list->currentItem());
        keepScroll = list->verticalScrollBar()->value();
    }
    filledKey = view->CurrentKey();
    filledFilter = view->HistoryFilter();
    list->clear();
    QList<QTreeWidgetItem*> rows;
    for (int i : view->ListedJobs()) {
        if (i < 1 || i > JobCount) continue;
        const JobRecord& job = Jobs[i];
        auto* item = new SortableItem;
        item->setText(0, LocalPath::FileNamePart(job.LocalFile));
        item->setIcon(0, Icons::Get(QStringLiteral("Ok")));
        item->setText(1, QString::number(job.FileSize));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, job.LocalFile);
        item->setText(3, job.Url);
        item->setData(0, ListRoles::Key, QString::number(i) + QStringLiteral("Key"));
        item->setData(0, ListRoles::Tag, i);
        rows.append(item);
    }
    list->addTopLevelItems(rows);
    if (keepSelected.isEmpty() && keepCurrent.isEmpty()) return;
    QItemSelection selection;
    QTreeWidgetItem* current = nullptr;
    const QAbstractItemModel* model = list->model();
    // In the list's own order: a sorted list has placed the rows by its sort column.
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
        QTreeWidgetItem* row = list->topLevelItem(r);
        const QString key = RowKey(row);
        if (key == keepCurrent) current = row;
        if (keepSelected.contains(key))
            selection.select(model->index(r, 0), model->index(r, list->columnCount() - 1));
    }
    // One selection change for all the rows, and the current row without touching it.
    if (current) list->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    if (!selection.isEmpty())
        list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    list->verticalScrollBar()->setValue(keepScroll);
}

QString CategoryList::RowKey(const QTreeWidgetItem* item) {
    return item ? item->data(0, ListRoles::Key).toString() : QString();
}

int CategoryList::JobOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, ListRoles::Tag).toInt() : 0;
}

QList<QTreeWidgetItem*> CategoryList::SelectedRows() const {
    QList<QTreeWidgetItem*> out;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        if (list->topLevelItem(r)->isSelected()) out.append(list->topLevelItem(r));
    return out;
}

QList<int> CategoryList::SelectedJobs() const {
    QList<int> out;
    for (QTreeWidgetItem* item : SelectedRows()) out.append(JobOf(item));
    return out;
}

QTreeWidgetItem* CategoryList::RowOf(int job) const {
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        if (JobOf(list->topLevelItem(r)) == job) return list->topLevelItem(r);
    return nullptr;
}

void CategoryList::RemoveRow(int job) {
    delete RowOf(job);
    view->Unlist(job);
}

int CategoryList::RowCount() const {
    return list->topLevelItemCount();
}
