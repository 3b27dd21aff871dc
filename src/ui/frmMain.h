#pragma once
// The main window: the composition root. It owns the tree, the job panes, the slots and the
// page analyser, lays them out, and forwards menus, tool bars and the tray to them.

#include <QMainWindow>
#include <QPointer>

#include <memory>

#include "store/CategoryTree.h"
#include "tree/CategoryView.h"

class CategoryTreeUi;
class DoneActions;
class DesktopNotifier;
class DownInfoPane;
class EditMenuCommands;
class FloatingTools;
class HandoffReceiver;
class JobListCommands;
class JobDbSaver;
class NowDownView;
class clsJobManager;
class clsSearchPanes;
class clsSearchQueue;
class MainMenus;
class MenuEnabling;
class NewJobLauncher;
class PaneToggles;
class PlayerPanel;
class QAction;
class QLabel;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QSystemTrayIcon;
class QTreeWidget;
class QTreeWidgetItem;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The load step: tray icon, slots, tree and jobs, panes, settings. Runs once before showing.
    void Load();
    // Shows the window after loading (minimized with StartMin).
    void ShowAfterLoad();

    // File > Exit and the tray's Exit: pause all, save and end the program, whatever CloseMin
    // says and whether the window is shown, minimized or hidden.
    void ExitProgram();
    // SIGTERM, SIGINT, the end of the desktop session: closes the open modal dialogs, pauses all
    // and saves, then ends every running event loop with code 0.
    void ShutdownNow();
    // Rejects every open modal dialog (closes other modal windows), so their nested event loops
    // end.
    static void CloseModalWindows();
    // Brings the window to the front (a second start asked for it).
    void RestoreWindow();

    CategoryTree& Tree() { return tree; }
    MainMenus* Menus() const { return menus; }
    QSystemTrayIcon* TrayIcon() const { return tray; }
    // The list view shown on the right.
    CategoryView::View ActiveList() const;
    CategoryTreeUi* Categories() const { return categories; }
    clsJobManager* Manager() const { return manager; }
    JobDbSaver* Saver() const { return saver; }
    clsSearchQueue* SearchQueue() const { return searchQueue; }
    clsSearchPanes* SearchPanes() const { return searchPanes; }
    PlayerPanel* Player() const { return playerPanel; }
    bool CloseStepDone() const { return closeDone; }
    // The browser hand-off's receiving path (mailbox Text1, Timer1, the queue).
    HandoffReceiver* Handoff() const { return handoff; }
    // The floating window, the browser window finder and the save dialog.
    FloatingTools* Floating() const { return floating; }
    JobListCommands* JobLists() const { return jobLists; }
    DoneActions* Done() const { return doneActions; }
    // Finished and failed jobs and the end of the queue told to the desktop.
    DesktopNotifier* Notifier() const { return notifier; }
    // The new-job dialog's owner: the dialog when loaded, and what it keeps between openings.
    NewJobLauncher* NewJobs() const { return newJobs; }

    // Status bar panel 1: "Quorvanta " + version.
    void LookStatebar();
    // Runs the enabling rules of the menus and copies them to the tool bar.
    void EnabledTb();
    // Disables the tool bar's four job buttons and its Comment, Delete, Openfile and Opendir.
    void DisableTb();
    // The new-job dialog for one file with url in its URL box, opened by the hand-off timer.
    void OpenNewJobWithUrl(const QString& url);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildLayout();
    void ConnectCommands();
    void CreateTray();
    void RunCloseStep();
    void EndEventLoops();
    // Status bar: "Jobs are not being saved: <reason>" for the whole run when the database
    // could not be read.
    void ShowSavingStopped();
    void ShowView(int view);
    void ConnectJobs();
    // The hidden mailbox Text1 and the hand-off receiver behind it.
    void ConnectHandoff();
    // Job lists and local files in and out, rename, the keys, and the ends of the downloads.
    void ConnectJobLists();
    // With "AutoBack": a copy of the saved job database in the backup folder.
    void BackupJobDb();
    // Saves the job database whenever jobs, their states or the categories change.
    void ToolStart();
    void ToolPause();
    void ToolStartAll();
    void ToolPauseAll();
    // The movie player's commands and full view.
    void ConnectPlayer();
    void ShowAbout();
    void OnTrayMenuShow();
    void ToggleFromTray();
    // The first job the new-job dialog added since the last time: the tree goes to
    // "Downloading" and its row is chosen, once the dialog's batch has been added whole.
    void ShowAddedJob();
    // The window's place and size as it was left, made to fit the screens there are now.
    void RestorePlace();
    void SavePlace();
    // Once shown: the window with its frame within the screens.
    void KeepOnScreens();

    CategoryTree tree;
    MainMenus* menus = nullptr;
    QSystemTrayIcon* tray = nullptr;
    CategoryTreeUi* categories = nullptr;
    clsJobManager* manager = nullptr;
    JobDbSaver* saver = nullptr;
    NowDownView* nowDown = nullptr;
    DownInfoPane* downInfo = nullptr;
    clsSearchQueue* searchQueue = nullptr;
    clsSearchPanes* searchPanes = nullptr;
    QTreeWidget* lvHaveDownInfo = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    HandoffReceiver* handoff = nullptr;
    FloatingTools* floating = nullptr;
    JobListCommands* jobLists = nullptr;
    DoneActions* doneActions = nullptr;
    DesktopNotifier* notifier = nullptr;
    NewJobLauncher* newJobs = nullptr;

    QSplitter* mainSplit = nullptr;   // tree | right side
    QSplitter* rightSplit = nullptr;  // upper lists / lower panes
    QTreeWidget* tvNa = nullptr;
    QStackedWidget* upperStack = nullptr;
    QStackedWidget* lowerStack = nullptr;
    QLabel* statePanel1 = nullptr;
    QLabel* statePanel2 = nullptr;
    QLabel* statePanelRate = nullptr;  // the download rate

    int addedJob = 0;             // waiting for ShowAddedJob
    bool startMaximized = false;  // it was left maximized
    bool exitRequested = false;
    bool closeDone = false;
    PlayerPanel* playerPanel = nullptr;
    QSplitter* Resizer4 = nullptr;  // the player | the item's details
    std::unique_ptr<MenuEnabling> enabling;
    PaneToggles* toggles = nullptr;
    EditMenuCommands* editMenu = nullptr;
};
