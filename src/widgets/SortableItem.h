#pragma once
// A list row that sorts by what its columns mean: a column whose items carry a sort value
// (SortRole: sizes, dates) or that its list names as numeric sorts by number, any other by text.

#include <QTreeWidgetItem>

class SortableItem : public QTreeWidgetItem {
public:
    // A number to sort a column by (a date as its stored day count, a size in bytes).
    static constexpr int SortRole = Qt::UserRole + 20;

    using QTreeWidgetItem::QTreeWidgetItem;

    // Lets the header of list sort it: a click sorts by that column, another click reverses.
    // The columns listed sort by the leading number of their text. The rows keep the order
    // they were added in until the first click.
    static void EnableSorting(QTreeWidget* list, const QList<int>& numericColumns);

    bool operator<(const QTreeWidgetItem& other) const override;
};
