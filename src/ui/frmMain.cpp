#include "ui/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "store/Globals.h"
#include "store/Icons.h"
#include "store/JobDb.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/frmOption.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryList.h"
#include "tree/CategoryTreeUi.h"
#include "tree/CategoryView.h"
#include "tree/DialogHooks.h"
#include "tree/EditEnabling.h"
#include "tree/TreeMirror.h"
#include "ui/EditCommands.h"
#include "ui/MainMenus.h"

namespace {
const char* kHomePage = "https://quorvanta.example.org/";

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
    setWindowIcon(QvIcon("app"));
    resize(1100, 720);
    menus = new MainMenus(this);
    BuildLayout();
    categories = new CategoryTreeUi(&tree, tvNa, findChild<QTreeWidget*>("lvHaveDown"), this, this);
    // The category submenu is the tree commands' own.
    QMenu* file = menus->Menu("mnuFile");
    file->insertMenu(file->actions().value(0), categories->commands()->CategoryMenu());
    ConnectCommands();
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
    upperStack->addWidget(
        MakeList("lvDownHtml", {"Pic ", "State", "FileName", "Size", "Complete", "Percent", "Links",
                                "Valid Links", "Include Flash", "Url"}));
    upperStack->addWidget(MakeList("lvNowDown", {"State ", "FileName", "FileSize", "Complete",
                                                 "Percent", "Part", "Url", "Comment"}));
    upperStack->addWidget(MakeList("lvHaveDown", {"FileName", "FileSize", "LocalFile", "Url"}));

    lowerStack = new QStackedWidget;
    lowerStack->setObjectName("picDown");
    lowerStack->addWidget(new QWidget);
    lowerStack->addWidget(MakeList("lvHaveDownHtml", {"Date Time", "Infomation"}));
    auto* downInfo = new QWidget;
    downInfo->setObjectName("picDownInfoHolder");
    lowerStack->addWidget(downInfo);
    auto* infoSplit = new QSplitter(Qt::Horizontal);
    infoSplit->setObjectName("splitInfo");
    QTreeWidget* info = MakeList("lvHaveDownInfo", {"Parameter", "Value"});
    info->header()->setSectionsClickable(false);
    infoSplit->addWidget(info);
    auto* player = new QLabel("No movie loaded");
    player->setObjectName("picFlash");
    player->setAlignment(Qt::AlignCenter);
    player->setMinimumSize(200, 120);
    player->setStyleSheet("QLabel { background: #1e2228; color: #9aa4ad; }");
    infoSplit->addWidget(player);
    infoSplit->setStretchFactor(1, 1);
    lowerStack->addWidget(infoSplit);

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
    auto home = [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePage))); };
    on("mnuHelp_Home", home);
    on("tbMain_Homepage", home);
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
    connect(view, &CategoryView::SelectionHandled, this, [this] { EnabledTb(); });
    CategoryCommands* cmd = categories->commands();
    connect(cmd, &CategoryCommands::CommandDone, this, [this] { EnabledTb(); });
    on("mnuEdit_MoveTo", [cmd] { cmd->MoveJobs(); });
    on("mnuEdit_Comment", [cmd] { cmd->CommentJob(); });
    on("tbMain_Comment", [cmd] { cmd->CommentJob(); });
    on("mnuEdit_Delete", [cmd] { cmd->DeleteJobs(); });
    on("tbMain_Delete", [cmd] { cmd->DeleteJobs(); });
    auto firstSelected = [this] {
        const QList<int> jobs = categories->list()->SelectedJobs();
        return jobs.isEmpty() ? 0 : jobs.first();
    };
    on("mnuEdit_CopyUrl", [firstSelected] { EditCommands::CopyUrl(firstSelected()); });
    on("mnuEdit_OpenFile", [firstSelected] { EditCommands::OpenFile(firstSelected()); });
    on("tbMain_Openfile", [firstSelected] { EditCommands::OpenFile(firstSelected()); });
    on("mnuEdit_OpenDir", [firstSelected] { EditCommands::OpenFolder(firstSelected()); });
    on("tbMain_Opendir", [firstSelected] { EditCommands::OpenFolder(firstSelected()); });
    on("mnuEdit_Output", [this] { OutputFile(); });
    on("mnuEdit_SelectAll", [this] { EditCommands::SelectAll(CurrentList()); });
    on("mnuEdit_Invert", [this] { EditCommands::InvertSelection(CurrentList()); });
    connect(categories->list(), &CategoryList::JobActivated, this, [this](int job) {
        EditCommands::OpenFile(job);
        EnabledTb();
    });
    connect(categories->list(), &CategoryList::JobChosen, this, [this](int) { EnabledTb(); });
}

void frmMain::CreateTray() {
    tray = new QSystemTrayIcon(QvIcon("app"), this);
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
    if (QFile::exists(JobDbFile))
        LoadJobDb(tree, JobDbFile);
    else
        BuildDefaultTree(tree, JobDbFile);
    AddHistoryNodes(tree);
    categories->view()->SetNone();
    mainSplit->setSizes({220, 880});
    rightSplit->setSizes({420, 260});
    LookStatebar();
    categories->mirror()->Select(TreeKeys::Downloaded);
    frmOption::ReadSettingsAtStartup();
    EnabledTb();
}

void frmMain::ShowAfterLoad() {
    if (Settings.StartMin == 1)
        showMinimized();
    else
        show();
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

void frmMain::OutputFile() {
    const QList<int> jobs = categories->list()->SelectedJobs();
    if (jobs.isEmpty()) return;
    const int job = jobs.first();
    DialogHooks::PickFolder(this, QString(), [this, job](const QString& folder) {
        EditCommands::OutputFileTo(this, job, folder);
    });
}

void frmMain::UpdateEditMenu() {
    EditEnabling e;
    if (ActiveList() == 3) e = categories->commands()->CategoryListEditEnabling();
    menus->Enable("mnuEdit_MoveTo", e.moveTo);
    menus->Enable("mnuEdit_Comment", e.comment);
    menus->Enable("mnuEdit_Output", e.outputFile);
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

void frmMain::EnabledTb() {
    UpdateEditMenu();
    // The tool bar's edit buttons follow the Edit menu's entries.
    for (const auto& [tool, item] : {std::pair{"tbMain_Comment", "mnuEdit_Comment"},
                                     std::pair{"tbMain_Delete", "mnuEdit_Delete"},
                                     std::pair{"tbMain_Openfile", "mnuEdit_OpenFile"},
                                     std::pair{"tbMain_Opendir", "mnuEdit_OpenDir"}})
        menus->Action(tool)->setEnabled(menus->Action(item)->isEnabled());
    menus->Action("mnuView_ToolBar")->setChecked(menus->tbMain()->isVisible() || !isVisible());
}

void frmMain::ToggleTree() {
    const bool show = !tvNa->isVisible();
    if (!show) savedTreeSizes = mainSplit->sizes();
    tvNa->setVisible(show);
    if (show && !savedTreeSizes.isEmpty()) mainSplit->setSizes(savedTreeSizes);
    menus->Action("mnuView_Tree")->setChecked(show);
    menus->Action("tbOper_tvNa")->setIcon(QvIcon(show ? "tvNa1" : "tvNa2"));
}

void frmMain::ToggleUpperList() {
    const bool show = !upperStack->isVisible();
    if (!show) savedRightSizes = rightSplit->sizes();
    upperStack->setVisible(show);
    if (show && !savedRightSizes.isEmpty()) rightSplit->setSizes(savedRightSizes);
    menus->Action("tbOper_lvD")->setIcon(QvIcon(show ? "lvD1" : "lvD2"));
}

void frmMain::ToggleInfoList() {
    QWidget* info = lowerStack->findChild<QWidget*>("lvHaveDownInfo");
    if (!info) return;
    const bool show = !info->isVisible();
    info->setVisible(show);
    menus->Action("tbOper_Exchange")->setIcon(QvIcon(show ? "Exchange1" : "Exchange2"));
}

void frmMain::ShowAbout() {
    QMessageBox box(QMessageBox::Information, "About Quorvanta",
                    "Quorvanta Version " + AppVersion +
                        "\n\nA download manager for Flash movies: segmented downloads, resume, "
                        "categories and page analysis.",
                    QMessageBox::Ok, this);
    box.setObjectName("frmAbout");
    box.setIconPixmap(QvIcon("app").pixmap(48, 48));
    box.exec();
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
}

void frmMain::ShutdownNow() {
    RunCloseStep();
    QCoreApplication::exit(0);
}

void frmMain::RunCloseStep() {
    if (closeDone) return;
    closeDone = true;
    SaveJobDb(tree, JobDbFile);
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
