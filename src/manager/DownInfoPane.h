#pragma once
// The lower panes of the now-downloading view: the part tree tvNowDown beside the detail pane
// picDownInfo, which shows one of the connection log lvResponse(1), the table lvResponse(0) or
// the picture area picDrawDot (the block picture picDraw, its scroll bar VScroll1 and the labels
// lblNum and lblPic). It follows the job manager's signals and hands node clicks back to it.

#include <QWidget>

class BlockPicture;
class QLabel;
class QScrollBar;
class QSplitter;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class clsJobManager;

// Fills the list with the eight rows of a finished job's statistics ("Create Time" ...).
void ShowDoneJobInfo(QTreeWidget* list, int jobIndex);
// "Total Time" of a duration in days: hours and minutes, 24-hour ("00:01" for 90 seconds).
QString ShortTimeText(double days);

class DownInfoPane : public QWidget {
    Q_OBJECT
public:
    explicit DownInfoPane(clsJobManager* manager, QWidget* parent = nullptr);

    QTreeWidget* PartTree() const { return tvNowDown; }
    QStackedWidget* DetailPane() const { return picDownInfo; }
    QTreeWidget* ConnectionLog() const { return lvResponse1; }  // lvResponse(1)
    QTreeWidget* JobTable() const { return lvResponse0; }       // lvResponse(0)
    QWidget* PictureArea() const { return picDrawDot; }
    BlockPicture* Picture() const { return picDraw; }
    QLabel* PercentLabel() const { return lblNum; }
    QLabel* FiguresLabel() const { return lblPic; }

    // The part tree for job j: "Chart" and one "Part k" node per connection.
    void PutinTree(int jobIndex);
    // Clears the part tree, both logs and the picture.
    void ClearPanes();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowDetail(QWidget* control);
    void OnDetailViewChanged(int jobIndex, int view);
    void OnNodeClicked(QTreeWidgetItem* item);
    void UpdateLabels();
    void SelectNode(const QString& key);

    clsJobManager* manager;
    QSplitter* split;
    QTreeWidget* tvNowDown;
    QStackedWidget* picDownInfo;
    QTreeWidget* lvResponse1;
    QTreeWidget* lvResponse0;
    QWidget* picDrawDot;
    BlockPicture* picDraw;
    QScrollBar* VScroll1;
    QLabel* lblNum;
    QLabel* lblPic;
};
