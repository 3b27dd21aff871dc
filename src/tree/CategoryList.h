#pragma once
// The category list lvHaveDown: one row per finished job of the chosen node, refilled whenever
// the view's listing changes. A row's key is the job index followed by "Key" (Qt::UserRole of
// column 0), its tag the job index (Qt::UserRole + 1); columns: file name (icon "Ok"),
// FileSize, LocalFile, Url.

#include <QList>
#include <QObject>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;
class CategoryView;

namespace ListRoles {
constexpr int Key = Qt::UserRole;
constexpr int Tag = Qt::UserRole + 1;
}  // namespace ListRoles

class CategoryList : public QObject {
    Q_OBJECT
public:
    // Binds lvHaveDown to the view and fills it. The widget is set up by SetUpList.
    CategoryList(CategoryView* view, QTreeWidget* lvHaveDown, QObject* parent = nullptr);

    // A new lvHaveDown with its columns, multi-selection, no root decoration.
    static QTreeWidget* CreateList(QWidget* parent = nullptr);
    static void SetUpList(QTreeWidget* list);
    // A new lvHaveDownInfo: the finished-job table with columns "Parameter" and "Value" and
    // flat column headers. ShowDoneJobInfo fills it.
    static QTreeWidget* CreateInfoList(QWidget* parent = nullptr);

    QTreeWidget* Widget() const { return list; }
    // Refills the rows from the view's listing. A refill of the listing shown already keeps the
    // selected rows and the current row (by key) and the scroll position.
    void Fill();
    // Row key ("12Key") and job index (tag) of a row.
    static QString RowKey(const QTreeWidgetItem* item);
    static int JobOf(const QTreeWidgetItem* item);
    // The selected rows in list order, and their jobs.
    QList<QTreeWidgetItem*> SelectedRows() const;
    QList<int> SelectedJobs() const;
    // The row of job i, or nullptr.
    QTreeWidgetItem* RowOf(int job) const;
    // Removes the row of job i (and takes the job out of the view's listing).
    void RemoveRow(int job);
    int RowCount() const;

signals:
    // A row was chosen (clicked or made current): the window shows the job's details and may
    // play it.
    void JobChosen(int job);
    // Enter was pressed on a row: the window opens the job's file.
    void JobActivated(int job);
    // A row was double-clicked: the window plays its movie.
    void JobDoubleClicked(int job);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CategoryView* view;
    QTreeWidget* list;
    QString filledKey;  // the node and history filter of the rows shown
    int filledFilter = -1;
};
