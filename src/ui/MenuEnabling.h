#pragma once
// The enabling rules of the main window's menus and tool bars: the Edit, Jobs, File and Operate
// menus follow the list view shown and its chosen rows, and the tool bar buttons follow the menu
// entries they stand for.

#include <functional>

class CategoryTreeUi;
class MainMenus;
class QWidget;
class clsJobManager;
class clsSearchPanes;
class clsSearchQueue;

class MenuEnabling {
public:
    MenuEnabling(QWidget* window, MainMenus* menus, CategoryTreeUi* categories,
                 clsJobManager* manager, clsSearchQueue* searchQueue, clsSearchPanes* searchPanes);

    // The job the single-row commands act on (the Edit menu's chosen row).
    void SetChosenJob(std::function<int()> chosen) { chosenJob = std::move(chosen); }
    // Runs the enabling rules of the menus and copies them to the tool bar.
    void EnabledTb();
    // Disables the tool bar's four job buttons and its Comment, Delete, Openfile and Opendir.
    void DisableTb();

private:
    void UpdateEditMenu();
    void UpdateJobsMenu();
    void UpdateFileMenu();
    void UpdatePlayerCommands();

    QWidget* window;
    MainMenus* menus;
    CategoryTreeUi* categories;
    clsJobManager* manager;
    clsSearchQueue* searchQueue;
    clsSearchPanes* searchPanes;
    std::function<int()> chosenJob;
};
