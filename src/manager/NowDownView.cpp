#include "manager/NowDownView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

#include "manager/RefreshThrottle.h"
#include "manager/clsJobManager.h"
#include "store/JobTable.h"
#include "widgets/Icons.h"
#include "widgets/SortableItem.h"

void SetStateIcon(QTreeWidgetItem* row, int state) {
    if (row == nullptr) return;
    QString key;
    switch (state) {
        case StateRunning:
            key = QStringLiteral("Start");
            break;
        case StatePaused:
            key = QStringLiteral("Pause");
            break;
        case StateWaiting:
            key = QStringLiteral("Waitfor");
            break;
        case StateError:
            key = QStringLiteral("Error");
            break;
        default:
            return;
    }
    row->setIcon(0, Icons::Get(key));
    row->setData(0, Qt::UserRole, state);
}

NowDownView::NowDownView(clsJobManager* mgr, QWidget* parent) : QTreeWidget(parent), manager(mgr) {
    setObjectName("lvNowDown");
    setColumnCount(clsJobManager::ColumnCount);
    setHeaderLabels(clsJobManager::ColumnTitles());
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // A click on a column header sorts the rows; sizes, figures and parts as numbers.
    SortableItem::EnableSorting(this, {clsJobManager::ColFileSize, clsJobManager::ColComplete,
                                       clsJobManager::ColPercent, clsJobManager::ColPart});
    setAlternatingRowColors(true);
    QHeaderView* head = header();
    head->setStretchLastSection(true);
    head->setSectionsMovable(false);
    const int widths[] = {48, 220, 90, 90, 64, 40, 300, 120, 90, 80};
    for (int c = 0; c < clsJobManager::ColumnCount; ++c) setColumnWidth(c, widths[c]);
    // Speed and time left are read together with the percentage: they stand right after it,
    // while their column numbers stay behind the others.
    head->moveSection(head->visualIndex(clsJobManager::ColSpeed),
                      head->visualIndex(clsJobManager::ColPercent) + 1);
    head->moveSection(head->visualIndex(clsJobManager::ColTimeLeft),
                      head->visualIndex(clsJobManager::ColSpeed) + 1);

    rowRefresh = new RefreshThrottle(
        100, [this] { FlushRows(); }, this);
    paintGate = new QTimer(this);
    paintGate->setSingleShot(true);
    paintGate->setInterval(kPaintMs);
    connect(paintGate, &QTimer::timeout, this, [this] { setUpdatesEnabled(true); });
    popup = new QMenu(this);
    popup->setObjectName("popNowDown");
    popStart = popup->addAction("Start Download Job", manager, &clsJobManager::StartDownloadJob);
    popPause =
        popup->addAction("Pause Download Job", manager, &clsJobManager::PauseDownloadJobAsked);
    popStartAll = popup->addAction("Start All Download Job", manager, &clsJobManager::StartAll);
    popPauseAll =
        popup->addAction("Pause All Download Job", manager, &clsJobManager::PauseAllAsked);
    popup->addSeparator();
    popProperties = popup->addAction("Job Properties...", this, [this] {
        const QList<int> chosen = manager->SelectedJobs();
        if (!chosen.isEmpty()) emit PropertiesRequested(chosen.first());
    });
    popDelete = popup->addAction("Delete Download Job", this, &NowDownView::DeleteRequested);
    popProperties->setObjectName("popNowDown_Properties");
    popStart->setObjectName("popNowDown_Start");
    popPause->setObjectName("popNowDown_Pause");
    popStartAll->setObjectName("popNowDown_AllStart");
    popPauseAll->setObjectName("popNowDown_AllPause");
    popDelete->setObjectName("popNowDown_Delete");

    connect(manager, &clsJobManager::RowAdded, this, &NowDownView::OnRowAdded);
    connect(manager, &clsJobManager::RowChanged, this, &NowDownView::OnRowChanged);
    connect(manager, &clsJobManager::RowRemoved, this, &NowDownView::OnRowRemoved);
    connect(manager, &clsJobManager::RowIconChanged, this, [this](int j, int state) {
        SetStateIcon(Row(j), state);
        ShowProblem(j);
    });
    connect(this, &QTreeWidget::itemSelectionChanged, this, &NowDownView::OnSelectionChanged);
    connect(this, &QTreeWidget::itemClicked, this, &NowDownView::OnItemClicked);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const int j = KeyIndex(item->data(1, Qt::UserRole).toString());
        if (manager->MayEdit(j)) emit PropertiesRequested(j);
    });
    // Rows that were there before the view was made.
    for (int j : manager->RowJobs()) {
        OnRowAdded(j);
        SetStateIcon(Row(j), manager->RowIcon(j));
        ShowProblem(j);
    }
}

void NowDownView::ShowProblem(int j) {
    QTreeWidgetItem* row = Row(j);
    if (row == nullptr) return;
    // A failed job's row tells why on every column; any other row has no tool tip.
    const QString why = manager->ErrorText(j);
    if (row->toolTip(0) == why) return;
    for (int c = 0; c < clsJobManager::ColumnCount; ++c) row->setToolTip(c, why);
}

void NowDownView::OnRowAdded(int j) {
    if (items.contains(j)) return;
    HoldPaint();
    auto* row = new SortableItem;
    row->setData(1, Qt::UserRole, clsJobManager::RowKey(j));
    row->setTextAlignment(clsJobManager::ColFileSize, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(clsJobManager::ColComplete, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(clsJobManager::ColPercent, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(clsJobManager::ColPart, Qt::AlignCenter);
    row->setTextAlignment(clsJobManager::ColSpeed, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(clsJobManager::ColTimeLeft, Qt::AlignRight | Qt::AlignVCenter);
    const QStringList texts = manager->RowTexts(j);
    for (int c = 1; c < texts.size(); ++c) row->setText(c, texts[c]);
    SetSortValues(row, j);
    items.insert(j, row);
    addTopLevelItem(row);
}

void NowDownView::OnRowChanged(int j) {
    changed.insert(j);
    rowRefresh->Request();
}

void NowDownView::FlushRows() {
    HoldPaint();
    for (int j : std::as_const(changed)) {
        QTreeWidgetItem* row = Row(j);
        if (row == nullptr) continue;
        const QStringList texts = manager->RowTexts(j);
        for (int c = 1; c < texts.size(); ++c)
            if (row->text(c) != texts[c]) row->setText(c, texts[c]);
        SetSortValues(row, j);
        ShowProblem(j);
    }
    changed.clear();
}

void NowDownView::SetSortValues(QTreeWidgetItem* row, int j) {
    // Speeds and times left sort by what they stand for; rows without one come first.
    row->setData(clsJobManager::ColSpeed, SortableItem::SortRole, manager->RowSpeed(j));
    row->setData(clsJobManager::ColTimeLeft, SortableItem::SortRole,
                 static_cast<double>(manager->RowSecondsLeft(j)));
}

void NowDownView::HoldPaint() {
    if (paintGate->isActive() || !isVisible()) return;
    setUpdatesEnabled(false);
    paintGate->start();
}

void NowDownView::OnRowRemoved(int j) {
    HoldPaint();
    changed.remove(j);
    QTreeWidgetItem* row = items.take(j);
    delete row;
}

void NowDownView::OnSelectionChanged() {
    QList<int> jobs;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        if (row->isSelected()) jobs.append(KeyIndex(row->data(1, Qt::UserRole).toString()));
    }
    manager->SetSelectedJobs(jobs);
    if (jobs.size() >= 2 && manager->ShownJob() != 0) manager->ChooseJob(0);
}

void NowDownView::OnItemClicked(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    const int j = KeyIndex(item->data(1, Qt::UserRole).toString());
    if (manager->SelectedJobs().size() >= 2)
        manager->ChooseJob(0);
    else
        manager->ChooseJob(j);
}

void NowDownView::ChooseRow(int j) {
    QTreeWidgetItem* row = Row(j);
    if (row == nullptr) return;
    setCurrentItem(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollToItem(row);
    OnItemClicked(row);
}

void NowDownView::EnablePopup() {
    const clsJobManager::JobsMenuState state = manager->JobsMenuEnabling(2);
    popStart->setEnabled(state.StartJob);
    popPause->setEnabled(state.PauseJob);
    popStartAll->setEnabled(state.StartAll);
    popPauseAll->setEnabled(state.PauseAll);
    popDelete->setEnabled(manager->CanDeleteSelected());
    const QList<int> chosen = manager->SelectedJobs();
    popProperties->setEnabled(chosen.size() == 1 && manager->MayEdit(chosen.first()));
}

void NowDownView::contextMenuEvent(QContextMenuEvent* event) {
    // The right button chooses the row under it like a click does, so the pop-up's flags and
    // its commands concern the same job.
    if (event->reason() == QContextMenuEvent::Mouse)
        if (QTreeWidgetItem* item = itemAt(event->pos())) OnItemClicked(item);
    EnablePopup();
    popup->popup(event->globalPos());
}

void NowDownView::keyPressEvent(QKeyEvent* event) {
    // Moving through the rows with the keyboard chooses the row like a click does.
    QTreeWidgetItem* before = currentItem();
    QTreeWidget::keyPressEvent(event);
    if (currentItem() != nullptr && currentItem() != before) OnItemClicked(currentItem());
}

void NowDownView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    emit ListClicked();
}
