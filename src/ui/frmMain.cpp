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
#include "manager/frmCreateFile.h"
#include "manager/frmJobmessage.h"
#include "net/frmCheckNew.h"
#include "net/frmTellFriend.h"
#include "newjob/JobListCommands.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
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
#include "tree/TreeMirror.h"
#include "ui/DesktopNotifier.h"
#include "ui/DoneActions.h"
#include "ui/EditCommands.h"
#include "ui/EditMenuCommands.h"
#include "ui/FloatingTools.h"
#include "ui/JobNotices.h"
#include "ui/JobPropertiesCommand.h"
#include "ui/LoginQuestion.h"
#include "ui/MainMenus.h"
#include "ui/MenuEnabling.h"
#include "ui/MovieFilesCommand.h"
#include "ui/PaneToggles.h"
#include "ui/PlayerPanel.h"
#include "ui/SaveTriggers.h"
#include "ui/SpeedLimitMenu.h"
#include "ui/WindowDrops.h"
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
    enabling =
        std::make_unique<MenuEnabling>(this, menus, categories, manager, searchQueue, searchPanes);
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
    new SpeedLimitMenu(statePanelRate, [this](int kb) { manager->SetSpeedLimit(kb); });

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
        manager->SetSpeedLimit(Settings.SpeedLimit);
        EnabledTb();
    };
    on("mnuOption_Option", options);
    on("popMain_Option", options);
    on("tbMain_Option", options);
    on("mnuView_ToolBar", [this](bool checked) { menus->tbMain()->setVisible(checked); });
    on("mnuView_State", [this](bool checked) { statusBar()->setVisible(checked); });
    on("mnuView_Tree", [this] { toggles->ToggleTree(); });
    on("tbOper_tvNa", [this] { toggles->ToggleTree(); });
    on("tbOper_lvD", [this] { toggles->ToggleUpperList(); });
    on("tbOper_Exchange", [this] { toggles->ToggleInfoList(); });
    connect(menus, &MainMenus::MenuAboutToShow, this, [this](const QString&) { EnabledTb(); });
    CategoryView* view = categories->view();
    connect(view, &CategoryView::PaneChanged, this, [this](int v) { ShowView(v); });
    connect(view, &CategoryView::SelectionHandled, this, [this] {
        DisableTb();
        EnabledTb();
    });
    connect(categories->commands(), &CategoryCommands::CommandDone, this, [this] { EnabledTb(); });
    editMenu = new EditMenuCommands(this, menus, categories, manager, [this] { EnabledTb(); });
    enabling->SetChosenJob([this] { return editMenu->ChosenJob(); });
    // "Get Movie's Files" on the chosen finished movie.
    auto getFiles = [this] {
        if (ActiveList() != CategoryView::ViewCategory) return;
        MovieFilesCommand::Run(this, editMenu->ChosenJob(), statePanel1, lvHaveDownInfo,
                               [this] { return editMenu->ChosenJob(); });
    };
    on("mnuEdit_GetFiles", getFiles);
    on("mnuJob_GetFiles", getFiles);
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
    // After the tree is loaded; before the unfinished jobs are, so that the jobs the load starts
    // (and those a killed program left running) are saved as they stand.
    SaveTriggers::Connect(saver, manager, &tree, categories->commands());
    new LoginQuestion(manager, this, [this] { saver->RequestSave(); });
    // The options first: the jobs that go on at once run by them.
    frmOption::ReadSettingsAtStartup();
    manager->SetSpeedLimit(Settings.SpeedLimit);
    // Downloads cut off by the last end of the program go on by themselves, shown at once.
    if (manager->LoadUnfinishedJobs(Settings.ResumeAtStart != 0) > 0)
        categories->mirror()->Select(TreeKeys::NowDownLoad);
    saver->LoadedJobsOnDisk();
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

CategoryView::View frmMain::ActiveList() const {
    return categories->view()->ActiveList();
}

void frmMain::ShowView(int view) {
    upperStack->setCurrentIndex(view);
    lowerStack->setCurrentIndex(view);
}

void frmMain::EnabledTb() {
    enabling->EnabledTb();
}

void frmMain::DisableTb() {
    enabling->DisableTb();
}

void frmMain::LookStatebar() {
    statePanel1->setText("Quorvanta " + AppVersion);
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
    on("mnuOption_ViewSwf", [this] { toggles->FullScreen(); });
    on("tbOper_FullS", [this] { toggles->FullScreen(); });
    on("mnuView_PlayBar", [this](bool checked) { menus->tbOper()->setVisible(checked); });
    toggles = new PaneToggles(this, menus,
                              {mainSplit, tvNa, rightSplit, upperStack, Resizer4, lvHaveDownInfo});
    connect(playerPanel, &PlayerPanel::ItemOpened, this, [this](int job) {
        ShowDoneJobInfo(lvHaveDownInfo, job);
        MovieFilesCommand::AddKeptRow(lvHaveDownInfo, job);
        EnabledTb();
    });
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
    newJobs = new NewJobLauncher(this, hooks, &tree, this);

    auto on = [this](const QString& name, auto slot) {
        if (QAction* a = menus->Action(name)) connect(a, &QAction::triggered, this, slot);
    };
    for (const char* name : {"mnuJob_AddNew", "tbMain_AddNewJob", "popMain_AddNew"})
        on(name, [this] { newJobs->Open(ModeSingleFile); });
    for (const char* name : {"mnuJob_AddBatch", "tbMain_AddNewJobB", "popMain_AddBatch"})
        on(name, [this] { newJobs->Open(ModeBatch); });
    for (const char* name : {"mnuJob_AddSearch", "tbMain_AddSearch", "popMain_AddSearch"})
        on(name, [this] { newJobs->Open(ModePageSearch); });
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
    frmCreateFile::ConnectTo(manager, this);
    connect(manager, &clsJobManager::JobStatesChanged, this, [this] { EnabledTb(); });
    connect(manager, &clsJobManager::StatebarReset, this, [this] { LookStatebar(); });
    // Why a job failed, until another job is chosen or the downloads end.
    connect(manager, &clsJobManager::JobProblem, this, [this](int job, const QString& text) {
        statePanel1->setText(Jobs[job].FileName + QStringLiteral(": ") + text);
    });
    connect(manager, &clsJobManager::JobCompleted, this, [this](int) {
        if (ActiveList() == CategoryView::ViewCategory || categories->view()->HistoryFilter() != 0)
            categories->view()->Refill();
    });
    connect(manager, &clsJobManager::TransferRate, this, [this](qint64 rate, int busy) {
        QString text =
            busy ? QStringLiteral("%1 running, %2").arg(busy).arg(TransferText::Speed(rate))
                 : QString();
        if (busy && Settings.SpeedLimit > 0)
            text += QStringLiteral(" (limit %1 KB/s)").arg(Settings.SpeedLimit);
        statePanelRate->setText(text);
        // Panel 2 is the player's; while it has no movie to tell about the rate shows there too.
        if (playerPanel->Player()->Movie().isEmpty()) statePanel2->setText(text);
    });
    connect(nowDown, &NowDownView::ListClicked, this, [this] { EnabledTb(); });
    connect(nowDown, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (ActiveList() == CategoryView::ViewDownloads) EnabledTb();
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
        if (ActiveList() == CategoryView::ViewSearch) EnabledTb();
    });
}

// The tool bar runs EnabledTb after every click of its own (see ConnectJobs).
void frmMain::ToolStart() {
    if (ActiveList() == CategoryView::ViewSearch)
        searchQueue->StartSearchJob(searchPanes->SelectedSearch());
    else if (ActiveList() == CategoryView::ViewDownloads)
        manager->StartDownloadJob();
}

void frmMain::ToolPause() {
    if (ActiveList() == CategoryView::ViewSearch)
        searchQueue->PauseSearchJob();
    else if (ActiveList() == CategoryView::ViewDownloads)
        manager->PauseDownloadJobAsked();
}

void frmMain::ToolStartAll() {
    if (ActiveList() == CategoryView::ViewSearch)
        searchQueue->StartAllSearchJob();
    else if (ActiveList() == CategoryView::ViewDownloads)
        manager->StartAll();
}

void frmMain::ToolPauseAll() {
    if (ActiveList() == CategoryView::ViewSearch)
        searchQueue->PauseAllSearchJob();
    else if (ActiveList() == CategoryView::ViewDownloads)
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
        if (ActiveList() == CategoryView::ViewCategory) categories->view()->Refill();
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
            if (ActiveList() == CategoryView::ViewCategory) jobLists->ImportFile();
        });
    for (QAction* a : {menus->Action("mnuFile_AddPbf"), menus->Action("tbMain_AddPbf"),
                       cmd->ImportBatchAction()})
        on(a, [this] {
            if (ActiveList() == CategoryView::ViewCategory) jobLists->ImportBatch();
        });
    on(menus->Action("mnuEdit_Rename"), [this] {
        if (ActiveList() != CategoryView::ViewCategory) return;
        EditCommands::RenameFile(this, editMenu->ChosenJob(), [this] {
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
    hooks.fillDialog = [this](const HandoffMessage& m) {
        newJobs->Memory().Mode = static_cast<NewJobModeValue>(m.Mode);
        newJobs->Load()->Fill(m.Url, m.Ref, m.Info);
    };
    hooks.shownDialog = [this]() -> QObject* {
        frmNewDown1* dialog = newJobs->Loaded();
        return dialog && dialog->isVisible() ? dialog : nullptr;
    };
    hooks.showDialog = [this]() -> QObject* { return newJobs->Open(newJobs->Memory().Mode); };
    hooks.windowMinimized = [this] { return isMinimized(); };
    hooks.topWindow = [this] {
        if (QAction* top = menus->Action("popMain_Pop")) top->trigger();
    };
    hooks.showSaveDialog = [this] { floating->ShowSaveDialog(); };
    handoff = new HandoffReceiver(hooks, this);
    connect(Text1, &QPlainTextEdit::textChanged, handoff, &HandoffReceiver::MailboxChanged);
    floating = new FloatingTools(
        this, menus, handoff, newJobs, &tree, [this] { EnabledTb(); },
        [this] { saver->SaveSoon(); });
    floating->SetNewCategory(
        [this](QWidget* parent) { categories->commands()->NewCategory(parent); });
    // Links dropped anywhere on the window open the new-job dialog as on the floating window.
    new WindowDrops(this, [this](const QString& link) { floating->DropText(link); });
}

void frmMain::OpenNewJobWithUrl(const QString& url) {
    // Filled now, opened by the hand-off timer's next tick with the mailbox empty.
    newJobs->Memory().Mode = ModeSingleFile;
    newJobs->Load()->Fill(url, QString(), QString());
    handoff->RequestDialog();
}
