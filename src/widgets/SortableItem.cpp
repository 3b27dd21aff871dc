#include "widgets/SortableItem.h"

#include <QHeaderView>

#include "store/NumberRule.h"

namespace {
const char* kNumeric = "qvNumericColumns";
}

void SortableItem::EnableSorting(QTreeWidget* list, const QList<int>& numericColumns) {
    list->setProperty(kNumeric, QVariant::fromValue(numericColumns));
    QHeaderView* header = list->header();
    header->setSectionsClickable(true);
    // Unsorted until the first click; from then on the header flips the order itself.
    QObject::connect(header, &QHeaderView::sectionClicked, list, [list](int section) {
        if (list->isSortingEnabled()) return;
        list->header()->setSortIndicator(section, Qt::AscendingOrder);
        list->setSortingEnabled(true);
    });
}

bool SortableItem::operator<(const QTreeWidgetItem& other) const {
    const QTreeWidget* list = treeWidget();
    const int column = list ? list->sortColumn() : 0;
    const QVariant mine = data(column, SortRole);
    const QVariant theirs = other.data(column, SortRole);
    if (mine.isValid() && theirs.isValid()) return mine.toDouble() < theirs.toDouble();
    if (list && list->property(kNumeric).value<QList<int>>().contains(column))
        return NumberRule::Val(text(column)) < NumberRule::Val(other.text(column));
    return text(column).localeAwareCompare(other.text(column)) < 0;
}
