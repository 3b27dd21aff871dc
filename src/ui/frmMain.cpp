#include "ui/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "browser/HandoffReceiver.h"
#include "manager/DownInfoPane.h"
#include "manager/NowDownView.h"
#include "manager/clsJobManager.h"
#include "manager/frmJobmessage.h"
#include "net/frmCheckNew.h"
#include "net/frmTellFriend.h"
#include "newjob/JobListCommands.h"
#include "newjob/NewJobMode.h"
#include "newjob/frmNewDown1.h"
#include "pages/SearchRecord.h"
#include "pages/clsSearchPanes.h"
#include "pages/clsSearchQueue.h"
#include "player/flash1.h"
#include "store/DbBackup.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobDbSaver.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/TransferText.h"
#include "store/WindowPlace.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryHooks.h"
#include "tree/CategoryList.h"
#include "tree/CategoryTreeUi.h"
#include "tree/CategoryView.h"
#include "tree/EditEnabling.h"
#include "tree/TreeMirror.h"
#include "ui/DesktopNotifier.h"
#include "ui/DoneActions.h"
#include "ui/EditCommands.h"
#include "ui/FloatingTools.h"
#include "ui/JobNotices.h"
#include "ui/JobPropertiesCommand.h"
#include "ui/MainMenus.h"
#include "ui/MovieFilesCommand.h"
#include "ui/PlayerPanel.h"
#include "ui/WindowDrops.h"
#include "widgets/DialogHooks.h"
#include "widgets/Icons.h"
#include "widgets/frmOption.h"

namespace {
QTreeWidget* MakeList(const QString& name, const QStringList& columns) {
    auto* list = new QTreeWidget;
    list->setObjectName(name);
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}
}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmMain");
    setWindowTitle("Quorvanta");
    setWindowIcon(Icons::Get("app"));
    resize(1100, 720);
    menus = new MainMenus(this);
    manager = new clsJobManager(this);
    saver = new JobDbSaver(&tree, JobDbFile, this);
    searchQueue = new clsSearchQueue(this);
    searchQueue->SetAddToNowDownList([this](int job) { manager->AddToNowDownList(job); });
    BuildLayout();
    categories = new CategoryTreeUi(&tree, tvNa, findChild<QTreeWidget*>("lvHaveDown"), this, this);
    // The category submenu is the tree commands' own.
    QMenu* file = menus->Menu("mnuFile");
    file->insertMenu(file->actions().value(0), categories->commands()->CategoryMenu());
    ConnectCommands();
    ConnectJobs();
    ConnectPlayer();
    ConnectJobLists();
    ConnectHandoff();
}

frmMain::~frmMain() = default;

void frmMain::BuildLayout() {
    tvNa = new QTreeWidget;
    tvNa->setObjectName("tvNa");
    tvNa->setHeaderHidden(true);
    tvNa->setIconSize(QSize(18, 18));
    tvNa->setContextMenuPolicy(Qt::CustomContextMenu);

    upperStack = new QStackedWidget;
    upperStack->setObjectName("picUp");
    upperStack->addWidget(new QWidget);
    searchPanes = new clsSearchPanes(searchQueue, this, this);
    upperStack->addWidget(searchPanes->SearchList());
    nowDown = new NowDownView(manager);
    upperStack->addWidget(nowDown);
    upperStack->addWidget(MakeList("lvHaveDown", {"FileName", "FileSize", "LocalFile", "Url"}));

    lowerStack = new QStackedWidget;
    lowerStack->setObjectName("picDown");
    lowerStack->addWidget(new QWidget);
    lowerStack->addWidget(searchPanes->SearchLog());
    downInfo = new DownInfoPane(manager);
    lowerStack->addWidget(downInfo);
    // The player splitter: the player (added with the status bar below), then the item's details.
    Resizer4 = new QSplitter(Qt::Horizontal);
    Resizer4->setObjectName("Resizer4");
    lvHaveDownInfo = CategoryList::CreateInfoList();
    Resizer4->addWidget(lvHaveDownInfo);
    lowerStack->addWidget(Resizer4);

    rightSplit = new QSplitter(Qt::Vertical);
    rightSplit->setObjectName("splitRight");
    rightSplit->addWidget(upperStack);
    rightSplit->addWidget(lowerStack);
    rightSplit->setStretchFactor(0, 3);
    rightSplit->setStretchFactor(1, 2);

    mainSplit = new QSplitter(Qt::Horizontal);
    mainSplit->setObjectName("splitMain");
    mainSplit->addWidget(tvNa);
    mainSplit->addWidget(rightSplit);
    mainSplit->setStretchFactor(1, 1);
    setCentralWidget(mainSplit);

    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    statePanel1 = new QLabel;
    statePanel1->setObjectName("StatusBar1_Panel1");
    statePanel2 = new QLabel;
    statePanel2->setObjectName("StatusBar1_Panel2");
    bar->addWidget(statePanel1);
    bar->addWidget(statePanel2, 1);
    // The download rate has a panel of its own: panel 2 is the player's.
    statePanelRate = new QLabel;
    statePanelRate->setObjectName("StatusBar1_Rate");
    bar->addPermanentWidget(statePanelRate);

    playerPanel =
        new PlayerPanel(findChild<QTreeWidget*>("lvHaveDown"), statePanel1, statePanel2, this);
    Resizer4->insertWidget(0, playerPanel->Pane());
    Resizer4->setStretchFactor(0, 1);
}

void frmMain::ConnectCommands() {
    auto on = [this](const QString& name, auto slot) {
        if (QAction* a = menus->Action(name)) connect(a, &QAction::triggered, this, slot);
    };
    on("mnuFile_Exit", [this] { ExitProgram(); });
    on("popMain_Exit", [this] { ExitProgram(); });
    on("mnuHelp_About", [this] { ShowAbout(); });
    on("popMain_About", [this] { ShowAbout(); });
    on("tbMain_About", [this] { ShowAbout(); });
    auto help = [] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(AppDir + QStringLiteral("/help.htm")));
    };
    on("mnuHelp_Topic", help);
    on("tbMain_Help", help);
    auto home = [] { QDesktopServices::openUrl(QUrl(Settings.HomePage)); };
    on("mnuHelp_Home", home);
    on("tbMain_Homepage", home);
    for (const char* name : {"mnuHelp_Check", "mnuTellFriend", "popMain_Tell"}) {
        menus->SetAvailable(name, true);
        menus->Enable(name, true);
    }
    on("mnuHelp_Check",
       [this] { frmCheckNew::Open(this, [this](const QString& url) { OpenNewJobWithUrl(url); }); });
    on("mnuTellFriend", [this] { frmTellFriend::Open(this); });
    on("popMain_Tell", [this] { frmTellFriend::Open(this); });
    on("popMain_Show", [this] { ToggleFromTray(); });
    auto options = [this] {
        frmOption::OpenModal(this);
        EnabledTb();
    };
    on("mnuOption_Option", options);
    on("popMain_Option", options);
    on("tbMain_Option", options);
    on("mnuView_ToolBar", [this](bool checked) { menus->tbMain()->setVisible(checked); });
    on("mnuView_State", [this](bool checked) { statusBar()->setVisible(checked); });
    on("mnuView_Tree", [this] { ToggleTree(); });
    on("tbOper_tvNa", [this] { ToggleTree(); });
    on("tbOper_lvD", [this] { ToggleUpperList(); });
    on("tbOper_Exchange", [this] { ToggleInfoList(); });
    connect(menus, &MainMenus::MenuAboutToShow, this, [this](const QString&) { EnabledTb(); });
    CategoryView* view = categories->view();
    connect(view, &CategoryView::PaneChanged, this, [this](int v) { ShowView(v); });
    connect(view, &CategoryView::SelectionHandled, this, [this] {
        DisableTb();
        EnabledTb();
    });
    CategoryCommands* cmd = categories->commands();
    connect(cmd, &CategoryCommands::CommandDone, this, [this] { EnabledTb(); });
    on("mnuEdit_MoveTo", [cmd] { cmd->MoveJobs(); });
    on("mnuEdit_Comment", [cmd] { cmd->CommentJob(); });
    on("tbMain_Comment", [cmd] { cmd->CommentJob(); });
    on("mnuEdit_Delete", [cmd] { cmd->DeleteJobs(); });
    on("tbMain_Delete", [cmd] { cmd->DeleteJobs(); });
    // Copy URL acts in views 2 and 3, the open commands only on the category list: the other
    // views' lists keep their selection while they are hidden.
    on("mnuEdit_CopyUrl", [this] {
        if (ActiveList() == 2 || ActiveList() == 3) EditCommands::CopyUrl(ChosenJob());
    });
    auto openFile = [this] {
        if (ActiveList() == 3) EditCommands::OpenFile(ChosenJob());
    };
    auto openDir = [this] {
        if (ActiveList() == 3) EditCommands::OpenFolder(ChosenJob());
    };
    on("mnuEdit_OpenFile", openFile);
    on("tbMain_Openfile", openFile);
    on("mnuEdit_OpenDir", openDir);
    on("tbMain_Opendir", openDir);
    on("mnuEdit_Output", [this] { OutputFile(); });
    on("mnuEdit_GetFiles", [this] { GetMovieFiles(); });
    on("mnuJob_GetFiles", [this] { GetMovieFiles(); });
    on("mnuEdit_SelectAll", [this] {
        EditCommands::SelectAll(CurrentList());
        EnabledTb();
    });
    on("mnuEdit_Invert", [this] {
        EditCommands::InvertSelection(CurrentList());
        EnabledTb();
    });
    QTreeWidget* lvHaveDown = categories->list()->Widget();
    connect(lvHaveDown, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupEditMenu(pos); });
    // Rows chosen with the keyboard or the list's own Select All count like clicks.
    connect(lvHaveDown, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (ActiveList() == 3) EnabledTb();
    });
    connect(categories->list(), &CategoryList::JobActivated, this, [this](int job) {
        EditCommands::OpenFile(job);
        EnabledTb();
    });
    // A double click plays a finished movie here; any other file opens as Enter opens it.
    connect(categories->list(), &CategoryList::JobDoubleClicked, this, [this](int job) {
        if (!playerPanel->PlayItem(categories->list()->RowOf(job))) EditCommands::OpenFile(job);
        EnabledTb();
    });
    connect(categories->list(), &CategoryList::JobChosen, this, [this](int job) {
        playerPanel->OpenItem(categories->list()->RowOf(job));
        ShowDoneJobInfo(lvHaveDownInfo, job);
        MovieFilesCommand::AddKeptRow(lvHaveDownInfo, job);
        EnabledTb();
    });
}

void frmMain::CreateTray() {
    tray = new QSystemTrayIcon(Icons::Get("app"), this);
    tray->setObjectName("TrayIcon");
    tray->setToolTip(windowTitle().left(63));
    tray->setContextMenu(menus->popMain());
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        // A left click brings a minimized, maximized or hidden window back to normal.
        if (r == QSystemTrayIcon::Trigger && (windowState() != Qt::WindowNoState || !isVisible()))
            RestoreWindow();
    });
    tray->show();
}

void frmMain::Load() {
    CreateTray();
    // A dangling link or a file without permission counts as there: it must not be replaced.
    const QFileInfo db(JobDbFile);
    if (db.exists() || db.isSymLink())
        LoadJobDb(tree, JobDbFile);
    else
        BuildDefaultTree(tree, JobDbFile);
    ShowSavingStopped();
    AddHistoryNodes(tree);
    categories->view()->SetNone();
    mainSplit->setSizes({220, 880});
    rightSplit->setSizes({420, 260});
    LookStatebar();
    categories->mirror()->Select(TreeKeys::Downloaded);
    ConnectSaving();
    // The options first: the jobs that go on at once run by them.
    frmOption::ReadSettingsAtStartup();
    // Downloads cut off by the last end of the program go on by themselves, shown at once.
    if (manager->LoadUnfinishedJobs(Settings.ResumeAtStart != 0) > 0)
        categories->mirror()->Select(TreeKeys::NowDownLoad);
    searchQueue->KeepBeside(JobDbFile);
    connect(searchQueue, &clsSearchQueue::JobsChanged, saver, [this] { saver->RequestSave(); });
    RestorePlace();
    EnabledTb();
}

void frmMain::RestorePlace() {
    const WindowPlace::Place saved = WindowPlace::Read(IniFile, QStringLiteral("Main"));
    const QList<QRect> areas = FloatingTools::ScreenAreas();
    // The saved place only while it fits the screens there are, frame included; otherwise the
    // middle of the screen, no larger than it.
    if (saved.Rect.isValid() && (areas.isEmpty() || WindowPlace::FitsWithFrame(saved.Rect, areas)))
        setGeometry(saved.Rect);
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(WindowPlace::Centered(saved.Rect.isValid() ? saved.Rect.size() : size(),
                                          screen->availableGeometry()));
    startMaximized = saved.Maximized;
}

void frmMain::KeepOnScreens() {
    if (windowState() != Qt::WindowNoState) return;
    const QRect frame = frameGeometry();
    const QRect fitted = WindowPlace::Fit(frame, FloatingTools::ScreenAreas());
    if (fitted == frame) return;
    // The frame's borders stay as they are; the inside takes the rest.
    const QRect inside = geometry();
    setGeometry(fitted.adjusted(inside.left() - frame.left(), inside.top() - frame.top(),
                                inside.right() - frame.right(), inside.bottom() - frame.bottom()));
}

void frmMain::SavePlace() {
    // A window never shown has no place of its own to keep.
    if (windowHandle() == nullptr) return;
    const bool maximized = isMaximized();
    WindowPlace::Write(IniFile, QStringLiteral("Main"),
                       {maximized ? normalGeometry() : geometry(), maximized});
}

void frmMain::ShowSavingStopped() {
    const QString reason = JobDbSavingStopped(JobDbFile);
    if (reason.isEmpty()) return;
    auto* label = new QLabel(QStringLiteral("Jobs are not being saved: ") + reason);
    label->setObjectName("StatusBar1_NotSaving");
    statusBar()->addPermanentWidget(label);
}

void frmMain::ShowAfterLoad() {
    if (Settings.StartMin == 1)
        showMinimized();
    else if (startMaximized)
        showMaximized();
    else
        show();
    KeepOnScreens();
    // A window manager frames the window a moment later: checked again with its real frame.
    for (int ms : {300, 1500}) QTimer::singleShot(ms, this, [this] { KeepOnScreens(); });
    floating->ShowTop();
}

int frmMain::ActiveList() const {
    return categories->view()->ActiveList();
}

QTreeWidget* frmMain::CurrentList() const {
    switch (ActiveList()) {
        case 2:
            return findChild<QTreeWidget*>("lvNowDown");
        case 3:
            return categories->list()->Widget();
        default:
            return nullptr;
    }
}

int frmMain::ChosenJob() const {
    if (ActiveList() == 2) return manager->SelectedJobs().value(0);
    if (ActiveList() != 3) return 0;
    QTreeWidgetItem* current = categories->list()->Widget()->currentItem();
    if (current && current->isSelected()) return CategoryList::JobOf(current);
    return categories->list()->SelectedJobs().value(0);
}

void frmMain::PopupEditMenu(const QPoint& pos) {
    EnabledTb();
    QTreeWidget* list = categories->list()->Widget();
    menus->Menu("mnuEdit")->popup(list->viewport()->mapToGlobal(pos));
}

void frmMain::OutputFile() {
    if (ActiveList() != 3) return;
    const int job = ChosenJob();
    if (job == 0) return;
    DialogHooks::PickFolder(this, QString(), [this, job](const QString& folder) {
        EditCommands::OutputFileTo(this, job, folder);
    });
}

void frmMain::GetMovieFiles() {
    if (ActiveList() == 3)
        MovieFilesCommand::Run(this, ChosenJob(), statePanel1, lvHaveDownInfo,
                               [this] { return ChosenJob(); });
}

void frmMain::UpdateEditMenu() {
    EditEnabling e;
    if (ActiveList() == 3) {
        e = categories->commands()->CategoryListEditEnabling();
    } else if (ActiveList() == 2) {
        e.deleteJobs = manager->CanDeleteSelected();
        e.copyUrl = manager->CanCopyUrl();
    } else if (ActiveList() == 1) {
        QList<ListRowState> rows;
        QTreeWidget* list = searchPanes->SearchList();
        for (int r = 0; r < list->topLevelItemCount(); ++r) {
            QTreeWidgetItem* item = list->topLevelItem(r);
            const int i = KeyIndex(item->data(0, clsSearchPanes::KeyRole).toString());
            rows.append({item->isSelected(),
                         i >= 1 && i <= SearchCount && Searches[i].SearchState == SearchRunning});
        }
        e = ComputeEditEnabling(1, rows, list->indexOfTopLevelItem(list->currentItem()));
    }
    menus->Enable("mnuEdit_MoveTo", e.moveTo);
    menus->Enable("mnuEdit_Comment", e.comment);
    menus->Enable("mnuEdit_Output", e.outputFile);
    menus->Enable("mnuEdit_GetFiles", ActiveList() == 3 && MovieFilesCommand::Applies(ChosenJob()));
    menus->Enable("mnuEdit_CopyUrl", e.copyUrl);
    menus->Enable("mnuEdit_Delete", e.deleteJobs);
    menus->Enable("mnuEdit_OpenFile", e.openFile);
    menus->Enable("mnuEdit_OpenDir", e.openDir);
}

void frmMain::ShowView(int view) {
    upperStack->setCurrentIndex(view);
    lowerStack->setCurrentIndex(view);
}

void frmMain::LookStatebar() {
    statePanel1->setText("Quorvanta " + AppVersion);
}

void frmMain::UpdateJobsMenu() {
    const clsJobManager::JobsMenuState jobs = manager->JobsMenuEnabling(ActiveList());
    menus->Enable("mnuJob_Begin", jobs.StartJob);
    menus->Enable("mnuJob_Pause", jobs.PauseJob);
    menus->Enable("mnuJob_AllBegin", jobs.StartAll);
    menus->Enable("mnuJob_AllPause", jobs.PauseAll);
    const QList<int> chosen = manager->SelectedJobs();
    menus->Enable("mnuJob_Properties",
                  ActiveList() == 2 && chosen.size() == 1 && manager->MayEdit(chosen.first()));
    menus->Enable("mnuJob_GetFiles", ActiveList() == 3 && MovieFilesCommand::Applies(ChosenJob()));
    const bool search = searchQueue->SearchCommandsEnabled(ActiveList());
    for (const char* name : {"mnuJob_SearchBegin", "mnuJob_SearchPause", "mnuJob_SearchAllBegin",
                             "mnuJob_SearchAllPause"})
        menus->Enable(name, search);
    // The tray's four entries follow the matching Jobs items wherever the window stands.
    const clsJobManager::JobsMenuState any = manager->JobsMenuEnabling(2);
    menus->Enable("popMain_AllBegin", any.StartAll);
    menus->Enable("popMain_AllPause", any.PauseAll);
    menus->Enable("popMain_SearchAllBegin", searchQueue->RowCount() > 0);
    menus->Enable("popMain_SearchAllPause", searchQueue->RowCount() > 0);
}

void frmMain::EnabledTb() {
    UpdateEditMenu();
    UpdateJobsMenu();
    UpdateFileMenu();
    UpdatePlayerCommands();
    // In views 1 and 2 the four job buttons follow that view's items; elsewhere they rest.
    const int view = ActiveList();
    const char* items1[] = {"mnuJob_SearchBegin", "mnuJob_SearchPause", "mnuJob_SearchAllBegin",
                            "mnuJob_SearchAllPause"};
    const char* items2[] = {"mnuJob_Begin", "mnuJob_Pause", "mnuJob_AllBegin", "mnuJob_AllPause"};
    const char* tools[] = {"tbMain_Start", "tbMain_Pause", "tbMain_AllStart", "tbMain_AllPause"};
    for (int k = 0; k < 4; ++k) {
        bool on = false;
        if (view == 1)
            on = menus->Action(items1[k])->isEnabled();
        else if (view == 2)
            on = menus->Action(items2[k])->isEnabled();
        menus->Enable(tools[k], on);
    }

    // The tool bar's edit buttons follow the Edit menu's entries.
    for (const auto& [tool, item] : {std::pair{"tbMain_Comment", "mnuEdit_Comment"},
                                     std::pair{"tbMain_Delete", "mnuEdit_Delete"},
                                     std::pair{"tbMain_Openfile", "mnuEdit_OpenFile"},
                                     std::pair{"tbMain_Opendir", "mnuEdit_OpenDir"}})
        menus->Action(tool)->setEnabled(menus->Action(item)->isEnabled());
    menus->Action("mnuView_ToolBar")->setChecked(menus->tbMain()->isVisible() || !isVisible());
}

void frmMain::DisableTb() {
    for (const char* tool :
         {"tbMain_Start", "tbMain_Pause", "tbMain_AllStart", "tbMain_AllPause", "tbMain_Comment",
          "tbMain_Delete", "tbMain_Openfile", "tbMain_Opendir"})
        menus->Action(tool)->setEnabled(false);
}

void frmMain::ToggleTree() {
    const bool show = !tvNa->isVisible();
    if (!show) savedTreeSizes = mainSplit->sizes();
    tvNa->setVisible(show);
    if (show && !savedTreeSizes.isEmpty()) mainSplit->setSizes(savedTreeSizes);
    menus->Action("mnuView_Tree")->setChecked(show);
    menus->Action("tbOper_tvNa")->setIcon(Icons::Get(show ? "tvNa1" : "tvNa2"));
}

void frmMain::ToggleUpperList() {
    const bool show = !upperStack->isVisible();
    if (!show) savedRightSizes = rightSplit->sizes();
    upperStack->setVisible(show);
    if (show && !savedRightSizes.isEmpty()) rightSplit->setSizes(savedRightSizes);
    menus->Action("tbOper_lvD")->setIcon(Icons::Get(show ? "lvD1" : "lvD2"));
}

void frmMain::ToggleInfoList() {
    // LookHaveDownInfo: the details pane beside the player goes and comes back at its size.
    const bool show = lvHaveDownInfo->isHidden();
    if (!show) savedInfoSizes = Resizer4->sizes();
    lvHaveDownInfo->setVisible(show);
    if (show && !savedInfoSizes.isEmpty()) Resizer4->setSizes(savedInfoSizes);
    menus->Action("tbOper_Exchange")->setIcon(Icons::Get(show ? "Exchange1" : "Exchange2"));
}

void frmMain::ConnectPlayer() {
    for (const char* name :
         {"mnuOption_PlaySwf", "mnuOption_StopSwf", "mnuOption_CloseSwf", "mnuOption_PorSwf",
          "mnuOption_NextSwf", "mnuOption_ViewSwf", "tbOper_Play", "tbOper_Pause", "tbOper_Stop",
          "tbOper_Last", "tbOper_Next", "tbOper_FullS", "mnuView_PlayBar"})
        menus->SetAvailable(name, true);
    menus->Enable("mnuView_PlayBar", true);
    auto on = [this](const QString& name, auto slot) {
        if (QAction* a = menus->Action(name)) connect(a, &QAction::triggered, this, slot);
    };
    PlayerPanel* p = playerPanel;
    on("mnuOption_PlaySwf", [p] { p->Play(); });
    on("tbOper_Play", [p] { p->Play(); });
    on("mnuOption_StopSwf", [p] { p->Pause(); });
    on("tbOper_Pause", [p] { p->Pause(); });
    on("mnuOption_CloseSwf", [p] { p->Close(); });
    on("tbOper_Stop", [p] { p->Close(); });
    on("mnuOption_PorSwf", [p] { p->Previous(); });
    on("tbOper_Last", [p] { p->Previous(); });
    on("mnuOption_NextSwf", [p] { p->Next(); });
    on("tbOper_Next", [p] { p->Next(); });
    on("mnuOption_ViewSwf", [this] { FullScreen(); });
    on("tbOper_FullS", [this] { FullScreen(); });
    on("mnuView_PlayBar", [this](bool checked) { menus->tbOper()->setVisible(checked); });
    // Escape leaves full view (and only full view: elsewhere the key stays with the focus).
    leaveFullView = new QAction(this);
    leaveFullView->setObjectName("actLeaveFullView");
    leaveFullView->setShortcut(QKeySequence(Qt::Key_Escape));
    leaveFullView->setShortcutContext(Qt::WindowShortcut);
    leaveFullView->setEnabled(false);
    addAction(leaveFullView);
    connect(leaveFullView, &QAction::triggered, this, [this] {
        if (fullView) FullScreen();
    });
    connect(playerPanel, &PlayerPanel::ItemOpened, this, [this](int job) {
        ShowDoneJobInfo(lvHaveDownInfo, job);
        MovieFilesCommand::AddKeptRow(lvHaveDownInfo, job);
        EnabledTb();
    });
}

void frmMain::UpdatePlayerCommands() {
    // The player's commands act on the downloaded list: only the category view has them.
    const bool on = ActiveList() == 3;
    for (const char* name : {"mnuOption_PlaySwf", "mnuOption_StopSwf", "mnuOption_CloseSwf",
                             "mnuOption_PorSwf", "mnuOption_NextSwf", "mnuOption_ViewSwf"})
        menus->Enable(name, on);
    // The player's tool bar buttons follow the Operate menu's entries.
    for (const auto& [tool, item] : {std::pair{"tbOper_Play", "mnuOption_PlaySwf"},
                                     std::pair{"tbOper_Pause", "mnuOption_StopSwf"},
                                     std::pair{"tbOper_Stop", "mnuOption_CloseSwf"},
                                     std::pair{"tbOper_Last", "mnuOption_PorSwf"},
                                     std::pair{"tbOper_Next", "mnuOption_NextSwf"},
                                     std::pair{"tbOper_FullS", "mnuOption_ViewSwf"}})
        menus->Enable(tool, menus->Action(item)->isEnabled());
}

void frmMain::FullScreen() {
    // Every one of the four views is toggled once on the way out, whatever it was on the way in.
    QAction* toolBar = menus->Action("mnuView_ToolBar");
    QAction* state = menus->Action("mnuView_State");
    if (!fullView) {
        if (!menus->tbMain()->isHidden()) toolBar->trigger();
        if (!statusBar()->isHidden()) state->trigger();
        if (!tvNa->isHidden()) ToggleTree();
        if (!upperStack->isHidden()) ToggleUpperList();
        savedPlayerSizes = Resizer4->sizes();
        lvHaveDownInfo->hide();
        fullView = true;
        leaveFullView->setEnabled(true);
    } else {
        toolBar->trigger();
        state->trigger();
        ToggleTree();
        ToggleUpperList();
        lvHaveDownInfo->show();
        if (!savedPlayerSizes.isEmpty()) Resizer4->setSizes(savedPlayerSizes);
        menus->Action("tbOper_Exchange")->setIcon(Icons::Get("Exchange1"));
        fullView = false;
        leaveFullView->setEnabled(false);
    }
}

void frmMain::ConnectJobs() {
    for (const char* name :
         {"mnuJob_AddNew",          "mnuJob_AddBatch",       "mnuJob_AddSearch",
          "mnuJob_Begin",           "mnuJob_Pause",          "mnuJob_AllBegin",
          "mnuJob_AllPause",        "mnuJob_SearchBegin",    "mnuJob_SearchPause",
          "mnuJob_SearchAllBegin",  "mnuJob_SearchAllPause", "tbMain_AddNewJob",
          "tbMain_AddNewJobB",      "tbMain_AddSearch",      "tbMain_Start",
          "tbMain_Pause",           "tbMain_AllStart",       "tbMain_AllPause",
          "popMain_AddNew",         "popMain_AddBatch",      "popMain_AddSearch",
          "popMain_AllBegin",       "popMain_AllPause",      "popMain_SearchAllBegin",
          "popMain_SearchAllPause", "mnuJob_Properties"})
        menus->SetAvailable(name, true);
    for (const char* name : {"mnuJob_AddNew", "mnuJob_AddBatch", "mnuJob_AddSearch",
                             "tbMain_AddNewJob", "tbMain_AddNewJobB", "tbMain_AddSearch",
                             "popMain_AddNew", "popMain_AddBatch", "popMain_AddSearch"})
        menus->Enable(name, true);

    NewJobHooks hooks;
    hooks.AddToNowDownList = [this](int job) {
        manager->AddToNowDownList(job);
        if (addedJob != 0) return;
        addedJob = job;
        QTimer::singleShot(0, this, [this] { ShowAddedJob(); });
    };
    hooks.AddToSearchList = [this](int i) { searchQueue->AddToSearchList(i); };
    hooks.openOptions = [this] { frmOption::OpenModal(this); };
    frmNewDown1::SetContext(this, hooks, &tree);

    auto on = [this](const QString& name, auto slot) {
        if (QAction* a = menus->Action(name)) connect(a, &QAction::triggered, this, slot);
    };
    for (const char* name : {"mnuJob_AddNew", "tbMain_AddNewJob", "popMain_AddNew"})
        on(name, [] { frmNewDown1::Open(1); });
    for (const char* name : {"mnuJob_AddBatch", "tbMain_AddNewJobB", "popMain_AddBatch"})
        on(name, [] { frmNewDown1::Open(3); });
    for (const char* name : {"mnuJob_AddSearch", "tbMain_AddSearch", "popMain_AddSearch"})
        on(name, [] { frmNewDown1::Open(2); });
    on("mnuJob_Begin", [this] {
        manager->StartDownloadJob();
        EnabledTb();
    });
    on("mnuJob_Pause", [this] {
        manager->PauseDownloadJobAsked();
        EnabledTb();
    });
    auto startAll = [this] {
        manager->StartAll();
        EnabledTb();
    };
    auto pauseAll = [this] {
        manager->PauseAllAsked();
        EnabledTb();
    };
    on("mnuJob_AllBegin", startAll);
    on("popMain_AllBegin", startAll);
    on("mnuJob_AllPause", pauseAll);
    on("popMain_AllPause", pauseAll);
    on("mnuJob_SearchBegin", [this] {
        searchQueue->StartSearchJob(searchPanes->SelectedSearch());
        EnabledTb();
    });
    on("mnuJob_SearchPause", [this] {
        searchQueue->PauseSearchJob();
        EnabledTb();
    });
    auto searchStartAll = [this] {
        searchQueue->StartAllSearchJob();
        EnabledTb();
    };
    auto searchPauseAll = [this] {
        searchQueue->PauseAllSearchJob();
        EnabledTb();
    };
    on("mnuJob_SearchAllBegin", searchStartAll);
    on("popMain_SearchAllBegin", searchStartAll);
    on("mnuJob_SearchAllPause", searchPauseAll);
    on("popMain_SearchAllPause", searchPauseAll);
    on("tbMain_Start", [this] { ToolStart(); });
    on("tbMain_Pause", [this] { ToolPause(); });
    on("tbMain_AllStart", [this] { ToolStartAll(); });
    on("tbMain_AllPause", [this] { ToolPauseAll(); });

    CategoryHooks& h = categories->commands()->Hooks();
    h.selectedNowDownJobs = [this] { return manager->SelectedJobs(); };
    h.pauseJob = [this](int job) {
        if (manager->RunningSlot(job)) manager->PauseJob(job);
    };
    h.removeNowDownRow = [this](int job) { manager->RemoveRow(job); };
    h.deleteSelectedSearches = [this] {
        searchQueue->DeleteSearchJobs(searchPanes->SelectedSearches());
    };
    h.saveJobDb = [this] { saver->SaveSoon(); };

    frmJobmessage::ConnectTo(manager, this);
    connect(manager, &clsJobManager::JobStatesChanged, this, [this] { EnabledTb(); });
    connect(manager, &clsJobManager::StatebarReset, this, [this] { LookStatebar(); });
    // Why a job failed, until another job is chosen or the downloads end.
    connect(manager, &clsJobManager::JobProblem, this, [this](int job, const QString& text) {
        statePanel1->setText(Jobs[job].FileName + QStringLiteral(": ") + text);
    });
    connect(manager, &clsJobManager::JobCompleted, this, [this](int) {
        if (ActiveList() == 3 || categories->view()->HistoryFilter() != 0)
            categories->view()->Refill();
    });
    connect(manager, &clsJobManager::TransferRate, this, [this](qint64 rate, int busy) {
        const QString text =
            busy ? QStringLiteral("%1 running, %2").arg(busy).arg(TransferText::Speed(rate))
                 : QString();
        statePanelRate->setText(text);
        // Panel 2 is the player's; while it has no movie to tell about the rate shows there too.
        if (playerPanel->Player()->Movie().isEmpty()) statePanel2->setText(text);
    });
    connect(nowDown, &NowDownView::ListClicked, this, [this] { EnabledTb(); });
    connect(nowDown, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (ActiveList() == 2) EnabledTb();
    });
    // After every click on the job tool bar the buttons follow the new state (connected last,
    // so this runs after the button's own command).
    for (QAction* a : menus->tbMain()->actions())
        if (!a->isSeparator()) connect(a, &QAction::triggered, this, [this] { EnabledTb(); });
    connect(nowDown, &NowDownView::DeleteRequested, this,
            [this] { categories->commands()->DeleteJobs(); });
    auto properties = [this](int j) {
        JobPropertiesCommand::Open(this, *manager, j, [this] {
            saver->RequestSave();
            EnabledTb();
        });
    };
    connect(nowDown, &NowDownView::PropertiesRequested, this, properties);
    on("mnuJob_Properties", [this, properties] {
        if (manager->SelectedJobs().size() == 1) properties(manager->SelectedJobs().first());
    });
    connect(searchPanes, &clsSearchPanes::SearchShown, this, [this](int) { EnabledTb(); });
    connect(searchPanes->SearchList(), &QTreeWidget::itemSelectionChanged, this, [this] {
        if (ActiveList() == 1) EnabledTb();
    });
}

// After the tree is loaded; before the unfinished jobs are, so that the jobs the load starts (and
// those a killed program left running, now paused) are saved as they stand.
void frmMain::ConnectSaving() {
    auto request = [this] { saver->RequestSave(); };
    // A job or batch added, a search that found movies, a job deleted.
    connect(manager, &clsJobManager::RowAdded, saver, request);
    connect(manager, &clsJobManager::RowRemoved, saver, request);
    // A job started, paused, waiting, failed or complete: its file goes to disk with the save.
    auto stateChanged = [this](int job) {
        saver->SyncJobFile(job);
        saver->RequestSave();
    };
    connect(manager, &clsJobManager::RowIconChanged, saver, stateChanged);
    connect(manager, &clsJobManager::JobCompleted, saver, stateChanged);
    // The record of a job that is about to create its file is written (and synced) before the
    // file exists: a kill in between leaves no file that no job knows.
    connect(manager, &clsJobManager::JobFileAboutToBeMade, saver, [this] { saver->SaveNow(); });
    connect(manager, &clsJobManager::TransferRate, saver,
            [this](qint64, int busy) { saver->SetDownloadsRunning(busy > 0); });
    // Categories added, renamed, moved or deleted; jobs moved, commented or deleted.
    connect(&tree, &CategoryTree::Changed, saver, request);
    connect(categories->commands(), &CategoryCommands::CommandDone, saver, request);
}

// The tool bar runs EnabledTb after every click of its own (see ConnectJobs).
void frmMain::ToolStart() {
    if (ActiveList() == 1)
        searchQueue->StartSearchJob(searchPanes->SelectedSearch());
    else if (ActiveList() == 2)
        manager->StartDownloadJob();
}

void frmMain::ToolPause() {
    if (ActiveList() == 1)
        searchQueue->PauseSearchJob();
    else if (ActiveList() == 2)
        manager->PauseDownloadJobAsked();
}

void frmMain::ToolStartAll() {
    if (ActiveList() == 1)
        searchQueue->StartAllSearchJob();
    else if (ActiveList() == 2)
        manager->StartAll();
}

void frmMain::ToolPauseAll() {
    if (ActiveList() == 1)
        searchQueue->PauseAllSearchJob();
    else if (ActiveList() == 2)
        manager->PauseAllAsked();
}

void frmMain::ShowAbout() {
    QMessageBox box(QMessageBox::Information, "About Quorvanta",
                    "Quorvanta Version " + AppVersion +
                        "\n\nA download manager for Flash movies: segmented downloads, resume, "
                        "categories and page analysis.",
                    QMessageBox::Ok, this);
    box.setObjectName("frmAbout");
    box.setIconPixmap(Icons::Get("app").pixmap(48, 48));
    box.exec();
}

void frmMain::ShowAddedJob() {
    const int job = addedJob;
    addedJob = 0;
    // A job that is done already (or was deleted) has no row to show.
    if (!manager->HasRow(job)) return;
    categories->mirror()->Select(TreeKeys::NowDownLoad);
    nowDown->ChooseRow(job);
    EnabledTb();
}

void frmMain::ToggleFromTray() {
    if (isMinimized() || isMaximized() || !isVisible())
        RestoreWindow();
    else
        showMinimized();
}

void frmMain::RestoreWindow() {
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    showNormal();
    raise();
    activateWindow();
}

void frmMain::ExitProgram() {
    Settings.CloseMin = 0;
    exitRequested = true;
    close();
    // A hidden window (HideMin, sent to the tray) ends no event loop by its close: end them here.
    RunCloseStep();
    EndEventLoops();
}

void frmMain::ShutdownNow() {
    CloseModalWindows();
    RunCloseStep();
    EndEventLoops();
}

void frmMain::CloseModalWindows() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || !w->isModal()) continue;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    }
}

void frmMain::EndEventLoops() {
    // Only a running loop is ended; without one (the window driven directly) there is nothing to
    // end, and a later loop must still run.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void frmMain::RunCloseStep() {
    if (closeDone) return;
    closeDone = true;
    manager->PauseAll(Settings.ResumeAtStart != 0);
    SavePlace();
    saver->SetDownloadsRunning(false);
    if (saver->SaveNow() && Settings.AutoBack == 1) BackupJobDb();
    if (tray) tray->hide();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (Settings.CloseMin == 1 && !exitRequested && !closeDone) {
        event->ignore();
        showMinimized();
        return;
    }
    RunCloseStep();
    event->accept();
    // Unload every other window so the program ends with this one.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) w->close();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && Settings.HideMin == 1 &&
        tray && QSystemTrayIcon::isSystemTrayAvailable())
        hide();
}

void frmMain::ConnectJobLists() {
    jobLists = new JobListCommands(&tree, categories->view(), this, this);
    JobListCommands::Hooks hooks;
    hooks.addToNowDownList = [this](int job) { manager->AddToNowDownList(job); };
    hooks.nowDownJobs = [this] { return manager->RowJobs(); };
    hooks.newCategory = [this](QWidget* parent) {
        return categories->commands()->NewCategory(parent);
    };
    hooks.saveJobDb = [this] { saver->SaveSoon(); };
    jobLists->SetHooks(hooks);
    connect(jobLists, &JobListCommands::CommandDone, this, [this] {
        if (ActiveList() == 3) categories->view()->Refill();
        EnabledTb();
    });
    CategoryCommands* cmd = categories->commands();
    cmd->SetImportExportReady(true);
    for (const char* name : {"mnuFile_ImportList", "mnuFile_ExportList", "mnuFile_AddPf",
                             "mnuFile_AddPbf", "tbMain_AddPf", "tbMain_AddPbf", "mnuEdit_Rename"})
        menus->SetAvailable(name, true);
    auto on = [this](QAction* a, auto slot) {
        if (a) connect(a, &QAction::triggered, this, slot);
    };
    for (QAction* a : {menus->Action("mnuFile_ExportList"), cmd->ExportListAction()})
        on(a, [this] { jobLists->Export(); });
    for (QAction* a : {menus->Action("mnuFile_ImportList"), cmd->ImportListAction()})
        on(a, [this] { jobLists->ImportList(); });
    for (QAction* a :
         {menus->Action("mnuFile_AddPf"), menus->Action("tbMain_AddPf"), cmd->ImportFileAction()})
        on(a, [this] {
            if (ActiveList() == 3) jobLists->ImportFile();
        });
    for (QAction* a : {menus->Action("mnuFile_AddPbf"), menus->Action("tbMain_AddPbf"),
                       cmd->ImportBatchAction()})
        on(a, [this] {
            if (ActiveList() == 3) jobLists->ImportBatch();
        });
    on(menus->Action("mnuEdit_Rename"), [this] {
        if (ActiveList() != 3) return;
        EditCommands::RenameFile(this, ChosenJob(), [this] {
            categories->view()->Refill();
            saver->SaveSoon();
            EnabledTb();
        });
    });

    // Pausing a job whose server cannot resume asks first (unless "StillDownload" is ticked).
    manager->SetPauseQuestion([this](const QList<int>& jobs) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Quorvanta"),
                        QStringLiteral("The server of %1 cannot resume a download: when the "
                                       "job starts again it starts from the beginning.\n\n"
                                       "Pause anyway?")
                            .arg(jobs.size() == 1 ? Jobs[static_cast<size_t>(jobs.first())].FileName
                                                  : QStringLiteral("%1 jobs").arg(jobs.size())),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("msgPauseNoResume"));
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    });

    doneActions = new DoneActions(
        this, [this] { ExitProgram(); }, this);
    connect(manager, &clsJobManager::DownloadsEnded, doneActions, &DoneActions::DownloadsDone);

    notifier = new DesktopNotifier(this);
    JobNotices::Hooks notices;
    notices.openFile = [](int job) { EditCommands::OpenFile(job); };
    notices.openFolder = [](int job) { EditCommands::OpenFolder(job); };
    new JobNotices(manager, notifier, notices, this);
}

void frmMain::UpdateFileMenu() {
    const int view = ActiveList();
    const bool lists = view == 2 || view == 3;
    menus->Enable("mnuFile_ImportList", lists);
    menus->Enable("mnuFile_ExportList", lists);
    for (const char* name : {"mnuFile_AddPf", "mnuFile_AddPbf", "tbMain_AddPf", "tbMain_AddPbf"})
        menus->Enable(name, view == 3);
    menus->Enable("mnuEdit_Rename", menus->Action("mnuEdit_OpenFile")->isEnabled());
    categories->commands()->UpdateMenus();
}

void frmMain::BackupJobDb() {
    QString error;
    if (DbBackup::Backup(JobDbFile, DataDir, QDateTime::currentDateTime(), &error).isEmpty())
        // The program is ending: no window to tell it in any more.
        qWarning("Quorvanta: the job database could not be backed up: %s", qPrintable(error));
}

void frmMain::ConnectHandoff() {
    // The mailbox: hidden, multi-line, the window's only text box, used for nothing else.
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName("Text1");
    Text1->setVisible(false);
    HandoffReceiver::Hooks hooks;
    // The raw text keeps every character as delivered (no blank for a no-break space).
    hooks.mailboxText = [this] {
        return Text1->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    };
    hooks.setMailboxText = [this](const QString& text) { Text1->setPlainText(text); };
    hooks.fillDialog = [](const HandoffMessage& m) {
        NewJobMode = m.Mode;
        frmNewDown1::Load()->Fill(m.Url, m.Ref, m.Info);
    };
    hooks.shownDialog = []() -> QObject* {
        frmNewDown1* dialog = frmNewDown1::Loaded();
        return dialog && dialog->isVisible() ? dialog : nullptr;
    };
    hooks.showDialog = []() -> QObject* { return frmNewDown1::Open(NewJobMode); };
    hooks.windowMinimized = [this] { return isMinimized(); };
    hooks.topWindow = [this] {
        if (QAction* top = menus->Action("popMain_Pop")) top->trigger();
    };
    hooks.showSaveDialog = [this] { floating->ShowSaveDialog(); };
    handoff = new HandoffReceiver(hooks, this);
    connect(Text1, &QPlainTextEdit::textChanged, handoff, &HandoffReceiver::MailboxChanged);
    floating = new FloatingTools(
        this, menus, handoff, &tree, [this] { EnabledTb(); }, [this] { saver->SaveSoon(); });
    floating->SetNewCategory(
        [this](QWidget* parent) { categories->commands()->NewCategory(parent); });
    // Links dropped anywhere on the window open the new-job dialog as on the floating window.
    new WindowDrops(this, [this](const QString& link) { floating->DropText(link); });
}

void frmMain::OpenNewJobWithUrl(const QString& url) {
    // Filled now, opened by the hand-off timer's next tick with the mailbox empty.
    NewJobMode = ModeSingleFile;
    frmNewDown1::Load()->Fill(url, QString(), QString());
    handoff->RequestDialog();
}
