#include "ui/MainMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "widgets/Icons.h"

MainMenus::MainMenus(QMainWindow* window) : QObject(window) {
    BuildMenus(window);
    BuildToolBars(window);
    BuildTrayMenu(window);
}

QAction* MainMenus::Action(const QString& name) const {
    return actions.value(name);
}
QMenu* MainMenus::Menu(const QString& name) const {
    return menus.value(name);
}

void MainMenus::SetAvailable(const QString& name, bool available) {
    availability[name] = available;
    if (QAction* a = actions.value(name); a && !available) a->setEnabled(false);
}

bool MainMenus::IsAvailable(const QString& name) const {
    return availability.value(name, false);
}

void MainMenus::Enable(const QString& name, bool rule) {
    if (QAction* a = actions.value(name)) a->setEnabled(rule && IsAvailable(name));
}

QAction* MainMenus::Add(QMenu* menu, const QString& name, const QString& text, bool available) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    actions.insert(name, a);
    availability.insert(name, available);
    a->setEnabled(available);
    return a;
}

QAction* MainMenus::AddTool(QToolBar* bar, const QString& name, const QString& key,
                            const QString& iconKey, const QString& tip, bool available) {
    QAction* a = bar->addAction(Icons::Get(iconKey), tip);
    a->setObjectName(name);
    a->setToolTip(tip);
    a->setProperty("key", key);
    actions.insert(name, a);
    availability.insert(name, available);
    a->setEnabled(available);
    return a;
}

void MainMenus::BuildMenus(QMainWindow* window) {
    QMenuBar* bar = window->menuBar();
    auto menu = [&](const QString& name, const QString& text) {
        QMenu* m = bar->addMenu(text);
        m->setObjectName(name);
        menus.insert(name, m);
        connect(m, &QMenu::aboutToShow, this, [this, name] { emit MenuAboutToShow(name); });
        return m;
    };

    QMenu* file = menu("mnuFile", "&File");
    // The "&Category" submenu comes first; the category commands supply it.
    file->addSeparator();
    Add(file, "mnuFile_ImportList", "&Import Download List...", false);
    Add(file, "mnuFile_ExportList", "&Export Download List...", false);
    file->addSeparator();
    Add(file, "mnuFile_AddPf", "Import &Previous File...", false);
    Add(file, "mnuFile_AddPbf", "Import Previous &Batch File...", false);
    file->addSeparator();
    Add(file, "mnuFile_Exit", "E&xit")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* edit = menu("mnuEdit", "&Edit");
    Add(edit, "mnuEdit_MoveTo", "&Move To...");
    Add(edit, "mnuEdit_Comment", "&Comment...");
    Add(edit, "mnuEdit_Delete", "&Delete")->setShortcut(QKeySequence(Qt::Key_Delete));
    edit->addSeparator();
    Add(edit, "mnuEdit_Output", "&Output File To...");
    Add(edit, "mnuEdit_GetFiles", "Get Movie's Files");
    Add(edit, "mnuEdit_CopyUrl", "&Copy URL to Clipboard")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    edit->addSeparator();
    Add(edit, "mnuEdit_SelectAll", "Select &All")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    Add(edit, "mnuEdit_Invert", "&Invert Selection");
    edit->addSeparator();
    Add(edit, "mnuEdit_OpenFile", "Open Downloaded &File");
    Add(edit, "mnuEdit_OpenDir", "Open &Downloaded Directory");
    Add(edit, "mnuEdit_Rename", "&Rename...", false)->setShortcut(QKeySequence(Qt::Key_F2));

    QMenu* view = menu("mnuView", "&View");
    for (const auto& [name, text] :
         {std::pair{"mnuView_ToolBar", "&ToolBar"}, std::pair{"mnuView_State", "&State"},
          std::pair{"mnuView_Tree", "&Navigate Tree"}}) {
        QAction* a = Add(view, name, text);
        a->setCheckable(true);
        a->setChecked(true);
    }
    QAction* playBar = Add(view, "mnuView_PlayBar", "&Play Bar", false);
    playBar->setCheckable(true);
    playBar->setChecked(true);
    view->addSeparator();
    Add(view, "mnuView_Pop", "Top Window", false)->setCheckable(true);

    QMenu* jobs = menu("mnuJob", "&Jobs");
    Add(jobs, "mnuJob_AddNew", "Add &New Download Job...", false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    Add(jobs, "mnuJob_AddBatch", "Add &Batch Download Job...", false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    Add(jobs, "mnuJob_AddSearch", "Add &Search Job...", false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    jobs->addSeparator();
    Add(jobs, "mnuJob_Begin", "&Start Download Job", false);
    Add(jobs, "mnuJob_Pause", "&Pause Download Job", false);
    Add(jobs, "mnuJob_AllBegin", "&Start Download All", false);
    Add(jobs, "mnuJob_AllPause", "&Pause Download All", false);
    Add(jobs, "mnuJob_Properties", "Job &Properties...", false);
    Add(jobs, "mnuJob_GetFiles", "Get Movie's Files");
    jobs->addSeparator();
    Add(jobs, "mnuJob_SearchBegin", "Start Search Job", false);
    Add(jobs, "mnuJob_SearchPause", "Pause Search Job", false);
    Add(jobs, "mnuJob_SearchAllBegin", "Start All Search Job", false);
    Add(jobs, "mnuJob_SearchAllPause", "Pause All Search Job", false);

    QMenu* oper = menu("mnuOption", "&Operate");
    Add(oper, "mnuOption_Option", "&Option");
    oper->addSeparator();
    Add(oper, "mnuOption_PlaySwf", "&Play", false);
    Add(oper, "mnuOption_StopSwf", "&Stop", false);
    Add(oper, "mnuOption_CloseSwf", "&Close", false);
    Add(oper, "mnuOption_PorSwf", "&Previous Swf", false);
    Add(oper, "mnuOption_NextSwf", "&Next Swf", false);
    Add(oper, "mnuOption_ViewSwf", "&FullScreen", false);

    QMenu* help = menu("mnuHelp", "&Help");
    Add(help, "mnuHelp_Topic", "Help &Topic")->setShortcut(QKeySequence(Qt::Key_F1));
    Add(help, "mnuHelp_Home", "&Go to Home Page");
    help->addSeparator();
    Add(help, "mnuHelp_Check", "&Check New Version", false);
    Add(help, "mnuTellFriend", "&Tell Friend About Quorvanta", false);
    help->addSeparator();
    Add(help, "mnuHelp_About", "&About");
}

void MainMenus::BuildToolBars(QMainWindow* window) {
    mainBar = window->addToolBar("tbMain");
    mainBar->setObjectName("tbMain");
    mainBar->setIconSize(QSize(24, 24));
    mainBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    mainBar->setMovable(false);
    AddTool(mainBar, "tbMain_AddNewJob", "AddNewJob", "AddNewJob", "Add new download job", false);
    AddTool(mainBar, "tbMain_AddNewJobB", "AddNewJobB", "AddNewJobB", "Add new batch job", false);
    AddTool(mainBar, "tbMain_AddSearch", "AddSearch", "AddSearch", "Add search job", false);
    mainBar->addSeparator();
    AddTool(mainBar, "tbMain_Start", "Start", "Start", "Start", false);
    AddTool(mainBar, "tbMain_Pause", "Pause", "Pause", "Pause", false);
    AddTool(mainBar, "tbMain_AllStart", "AllStart", "AllStart", "Start All", false);
    AddTool(mainBar, "tbMain_AllPause", "AllPause", "AllPause", "Pause All", false);
    mainBar->addSeparator();
    AddTool(mainBar, "tbMain_Comment", "Comment", "Comment", "Modify Comment");
    AddTool(mainBar, "tbMain_Delete", "Delete", "Delete", "Delete");
    AddTool(mainBar, "tbMain_Openfile", "Openfile", "Openfile", "Open File");
    AddTool(mainBar, "tbMain_Opendir", "Opendir", "Opendir", "Open folder");
    mainBar->addSeparator();
    AddTool(mainBar, "tbMain_AddPf", "AddPf", "AddPf", "Add previous file", false);
    AddTool(mainBar, "tbMain_AddPbf", "AddPbf", "AddPbf", "Add batch previous files", false);
    mainBar->addSeparator();
    AddTool(mainBar, "tbMain_Option", "Option", "Option", "Option");
    AddTool(mainBar, "tbMain_Help", "Help", "Help", "Help");
    AddTool(mainBar, "tbMain_Homepage", "Homepage", "Home", "Homepage");
    AddTool(mainBar, "tbMain_About", "About", "About", "About");

    operBar = window->addToolBar("tbOper");
    operBar->setObjectName("tbOper");
    operBar->setIconSize(QSize(24, 24));
    operBar->setMovable(false);
    AddTool(operBar, "tbOper_tvNa", "tvNa", "tvNa1", "Hide or Display left tree");
    AddTool(operBar, "tbOper_lvD", "lvD", "lvD1", "Hide or Display up listview");
    operBar->addSeparator();
    AddTool(operBar, "tbOper_Play", "Play", "Play", "Play", false);
    AddTool(operBar, "tbOper_Pause", "Pause", "Pause", "Pause", false);
    AddTool(operBar, "tbOper_Stop", "Stop", "Stop", "Stop", false);
    AddTool(operBar, "tbOper_Last", "Last", "Last", "Previous Flash", false);
    AddTool(operBar, "tbOper_Next", "Next", "Next", "Next Flash", false);
    AddTool(operBar, "tbOper_FullS", "FullS", "FullS", "Full Screen", false);
    operBar->addSeparator();
    AddTool(operBar, "tbOper_Exchange", "Exchange", "Exchange1", "Hide or Display Right listview");
}

void MainMenus::BuildTrayMenu(QMainWindow* window) {
    trayMenu = new QMenu(window);
    trayMenu->setObjectName("popMain");
    connect(trayMenu, &QMenu::aboutToShow, this, [this] { emit MenuAboutToShow("popMain"); });
    Add(trayMenu, "popMain_Show", "&Open/Hide Quorvanta");
    trayMenu->addSeparator();
    Add(trayMenu, "popMain_AddNew", "Add &New Download Job...", false);
    Add(trayMenu, "popMain_AddBatch", "Add &Batch Job...", false);
    Add(trayMenu, "popMain_AddSearch", "Add &Search Job...", false);
    trayMenu->addSeparator();
    Add(trayMenu, "popMain_AllBegin", "&Start All Download Job", false);
    Add(trayMenu, "popMain_AllPause", "&Pause All Download Job", false);
    Add(trayMenu, "popMain_SearchAllBegin", "Start All Sea&rch Job", false);
    Add(trayMenu, "popMain_SearchAllPause", "Pause All Searc&h Job", false);
    trayMenu->addSeparator();
    Add(trayMenu, "popMain_Pop", "&Top Window", false)->setCheckable(true);
    Add(trayMenu, "popMain_Option", "&Option");
    Add(trayMenu, "popMain_About", "&About...");
    trayMenu->addSeparator();
    Add(trayMenu, "popMain_Tell", "Tell Friend About Quorvanta", false);
    Add(trayMenu, "popMain_Exit", "E&xit");
}
