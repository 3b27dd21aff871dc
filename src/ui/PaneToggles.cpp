#include "ui/PaneToggles.h"

#include <QAction>
#include <QMainWindow>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

#include "ui/MainMenus.h"
#include "widgets/Icons.h"

PaneToggles::PaneToggles(QMainWindow* window, MainMenus* menus, const Panes& panes)
    : QObject(window), window(window), menus(menus), panes(panes) {
    // Escape leaves full view (and only full view: elsewhere the key stays with the focus).
    leaveFullView = new QAction(window);
    leaveFullView->setObjectName("actLeaveFullView");
    leaveFullView->setShortcut(QKeySequence(Qt::Key_Escape));
    leaveFullView->setShortcutContext(Qt::WindowShortcut);
    leaveFullView->setEnabled(false);
    window->addAction(leaveFullView);
    connect(leaveFullView, &QAction::triggered, this, [this] {
        if (fullView) FullScreen();
    });
}

void PaneToggles::ToggleTree() {
    const bool show = !panes.tree->isVisible();
    if (!show) savedTreeSizes = panes.mainSplit->sizes();
    panes.tree->setVisible(show);
    if (show && !savedTreeSizes.isEmpty()) panes.mainSplit->setSizes(savedTreeSizes);
    menus->Action("mnuView_Tree")->setChecked(show);
    menus->Action("tbOper_tvNa")->setIcon(Icons::Get(show ? "tvNa1" : "tvNa2"));
}

void PaneToggles::ToggleUpperList() {
    const bool show = !panes.upperLists->isVisible();
    if (!show) savedRightSizes = panes.rightSplit->sizes();
    panes.upperLists->setVisible(show);
    if (show && !savedRightSizes.isEmpty()) panes.rightSplit->setSizes(savedRightSizes);
    menus->Action("tbOper_lvD")->setIcon(Icons::Get(show ? "lvD1" : "lvD2"));
}

void PaneToggles::ToggleInfoList() {
    // LookHaveDownInfo: the details pane beside the player goes and comes back at its size.
    const bool show = panes.details->isHidden();
    if (!show) savedInfoSizes = panes.playerSplit->sizes();
    panes.details->setVisible(show);
    if (show && !savedInfoSizes.isEmpty()) panes.playerSplit->setSizes(savedInfoSizes);
    menus->Action("tbOper_Exchange")->setIcon(Icons::Get(show ? "Exchange1" : "Exchange2"));
}

void PaneToggles::FullScreen() {
    // Every one of the four views is toggled once on the way out, whatever it was on the way in.
    QAction* toolBar = menus->Action("mnuView_ToolBar");
    QAction* state = menus->Action("mnuView_State");
    if (!fullView) {
        if (!menus->tbMain()->isHidden()) toolBar->trigger();
        if (!window->statusBar()->isHidden()) state->trigger();
        if (!panes.tree->isHidden()) ToggleTree();
        if (!panes.upperLists->isHidden()) ToggleUpperList();
        savedPlayerSizes = panes.playerSplit->sizes();
        panes.details->hide();
        fullView = true;
        leaveFullView->setEnabled(true);
    } else {
        toolBar->trigger();
        state->trigger();
        ToggleTree();
        ToggleUpperList();
        panes.details->show();
        if (!savedPlayerSizes.isEmpty()) panes.playerSplit->setSizes(savedPlayerSizes);
        menus->Action("tbOper_Exchange")->setIcon(Icons::Get("Exchange1"));
        fullView = false;
        leaveFullView->setEnabled(false);
    }
}
