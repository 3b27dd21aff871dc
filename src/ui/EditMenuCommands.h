#pragma once
// The Edit menu's commands (and their tool bar buttons) on the rows chosen in the list view shown:
// move, comment, delete, copy URL, open the file or its folder, copy the file out, select all,
// invert the selection, and the menu as the downloaded list's context menu.

#include <QObject>
#include <functional>

class CategoryTreeUi;
class MainMenus;
class QPoint;
class QTreeWidget;
class QWidget;
class clsJobManager;

class EditMenuCommands : public QObject {
    Q_OBJECT
public:
    // enabledTb runs the window's enabling rules after a command.
    EditMenuCommands(QWidget* window, MainMenus* menus, CategoryTreeUi* categories,
                     clsJobManager* manager, std::function<void()> enabledTb);

    // The job the single-row Edit commands act on: the chosen row of lvNowDown in the download
    // view, of lvHaveDown in the category view (its current row when selected, else the first
    // selected); else 0.
    int ChosenJob() const;

private:
    QTreeWidget* CurrentList() const;
    void PopupEditMenu(const QPoint& pos);
    void OutputFile();

    QWidget* window;
    MainMenus* menus;
    CategoryTreeUi* categories;
    clsJobManager* manager;
    std::function<void()> enabledTb;
};
