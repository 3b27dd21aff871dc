#include "widgets/LogView.h"

#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>

#include "store/JobLog.h"
#include "store/VbDate.h"
#include "widgets/Icons.h"

QString LogKindIconKey(uint8_t kind) {
    switch (kind) {
        case 3:
            return QStringLiteral("Request");
        case 4:
            return QStringLiteral("Response");
        case 10:
            return QString();
        case 1:
        case 2:
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
        case 100:
            return QStringLiteral("Info1");
        default:
            return QString();
    }
}

std::optional<QColor> LogKindBand(uint8_t kind) {
    switch (kind) {
        case 1:
        case 5:
        case 7:
        case 100:
            return QColor(152, 251, 152);
        case 2:
        case 9:
            return QColor(0, 147, 0);
        case 3:
            return QColor(175, 238, 238);
        case 4:
            return QColor(230, 230, 250);
        case 8:
            return QColor(255, 0, 0);
        default:
            return std::nullopt;
    }
}

QString LogTimeText(double logTime) {
    const QDateTime when = VbDate::ToDateTime(logTime);
    return QLocale().toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           when.time().toString(QStringLiteral("HH:mm:ss"));
}

void ScrollList(QTreeWidget* list) {
    if (list == nullptr || !list->isVisible()) return;
    const int rows = list->topLevelItemCount();
    if (rows > 0) list->scrollToItem(list->topLevelItem(rows - 1));
}

void LookSearchLogLv(QTreeWidget* list, const QString& entryList, uint8_t part, int32_t first) {
    if (list == nullptr) return;
    if (first == 0) list->clear();
    if (entryList.isEmpty()) return;
    const std::vector<int32_t> numbers = LogEntryNumbers(entryList, first);
    QList<QTreeWidgetItem*> rows;
    for (int32_t e : numbers) {
        const LogEntry& entry = JobLog[static_cast<size_t>(e)];
        if (entry.LogPart != part) continue;
        auto* row = new QTreeWidgetItem;
        row->setText(0, LogTimeText(entry.LogTime));
        row->setText(1, entry.LogText);
        if (entry.LogText.size() > 60) row->setToolTip(1, entry.LogText);
        row->setData(0, LogKindRole, entry.LogKind);
        const QString iconKey = LogKindIconKey(entry.LogKind);
        if (!iconKey.isEmpty()) row->setIcon(0, Icons::Get(iconKey));
        if (const auto band = LogKindBand(entry.LogKind)) {
            // Dark bands carry white text so every line stays readable.
            const bool dark = band->lightness() < 110;
            for (int c = 0; c < 2; ++c) {
                row->setBackground(c, *band);
                if (dark) row->setForeground(c, Qt::white);
            }
        }
        rows.append(row);
    }
    if (rows.isEmpty()) return;
    list->addTopLevelItems(rows);
    QTreeWidgetItem* last = rows.last();
    list->setCurrentItem(last, 0, QItemSelectionModel::NoUpdate);
    ScrollList(list);
    last->setSelected(false);
}

QTreeWidget* NewLogList(const QString& objectName, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(objectName);
    list->setColumnCount(2);
    list->setHeaderLabels({QStringLiteral("Date Time"), QStringLiteral("Infomation")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(true);
    // The widest time the list can show (a two-digit day, a long month name), its icon and the
    // cell's margins.
    const QString widest =
        LogTimeText(VbDate::FromDateTime(QDateTime(QDate(2026, 9, 28), QTime(23, 58, 58))));
    list->setColumnWidth(0, list->fontMetrics().horizontalAdvance(widest) + 16 + 24);
    return list;
}
