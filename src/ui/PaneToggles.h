#pragma once
// Showing and hiding the main window's panes: the tree, the upper lists, the item's details
// beside the player, and full view (the player alone). A hidden pane comes back at its size.

#include <QList>
#include <QObject>

class MainMenus;
class QAction;
class QMainWindow;
class QSplitter;
class QWidget;

class PaneToggles : public QObject {
    Q_OBJECT
public:
    struct Panes {
        QSplitter* mainSplit;    // tree | right side
        QWidget* tree;           // tvNa
        QSplitter* rightSplit;   // upper lists / lower panes
        QWidget* upperLists;     // picUp
        QSplitter* playerSplit;  // Resizer4: the player | the item's details
        QWidget* details;        // lvHaveDownInfo
    };

    // Adds the window's Escape action (actLeaveFullView), enabled in full view only.
    PaneToggles(QMainWindow* window, MainMenus* menus, const Panes& panes);

    void ToggleTree();
    void ToggleUpperList();
    void ToggleInfoList();
    // Into full view, or back out of it.
    void FullScreen();

private:
    QMainWindow* window;
    MainMenus* menus;
    Panes panes;
    bool fullView = false;
    QAction* leaveFullView = nullptr;
    QList<int> savedTreeSizes;
    QList<int> savedRightSizes;
    QList<int> savedInfoSizes;
    QList<int> savedPlayerSizes;
};
