#include "ui/EditMenuCommands.h"

#include <QAction>
#include <QMenu>
#include <QTreeWidget>

#include "manager/clsJobManager.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryList.h"
#include "tree/CategoryTreeUi.h"
#include "tree/CategoryView.h"
#include "ui/EditCommands.h"
#include "ui/MainMenus.h"
#include "widgets/DialogHooks.h"

EditMenuCommands::EditMenuCommands(QWidget* parentWindow, MainMenus* mainMenus,
                                   CategoryTreeUi* categoryUi, clsJobManager* jobManager,
                                   std::function<void()> runEnabling)
    : QObject(parentWindow),
      window(parentWindow),
      menus(mainMenus),
      categories(categoryUi),
      manager(jobManager),
      enabledTb(std::move(runEnabling)) {
    auto on = [this](const QString& name, auto slot) {
        if (QAction* a = menus->Action(name)) connect(a, &QAction::triggered, this, slot);
    };
    CategoryCommands* cmd = categories->commands();
    on("mnuEdit_MoveTo", [cmd] { cmd->MoveJobs(); });
    on("mnuEdit_Comment", [cmd] { cmd->CommentJob(); });
    on("tbMain_Comment", [cmd] { cmd->CommentJob(); });
    on("mnuEdit_Delete", [cmd] { cmd->DeleteJobs(); });
    on("tbMain_Delete", [cmd] { cmd->DeleteJobs(); });
    // Copy URL acts in the download and category views, the open commands only on the category
    // list: the other views' lists keep their selection while they are hidden.
    on("mnuEdit_CopyUrl", [this] {
        if (categories->view()->ActiveList() == CategoryView::ViewDownloads ||
            categories->view()->ActiveList() == CategoryView::ViewCategory)
            EditCommands::CopyUrl(ChosenJob());
    });
    auto openFile = [this] {
        if (categories->view()->ActiveList() == CategoryView::ViewCategory)
            EditCommands::OpenFile(ChosenJob());
    };
    auto openDir = [this] {
        if (categories->view()->ActiveList() == CategoryView::ViewCategory)
            EditCommands::OpenFolder(ChosenJob());
    };
    on("mnuEdit_OpenFile", openFile);
    on("tbMain_Openfile", openFile);
    on("mnuEdit_OpenDir", openDir);
    on("tbMain_Opendir", openDir);
    on("mnuEdit_Output", [this] { OutputFile(); });
    on("mnuEdit_SelectAll", [this] {
        EditCommands::SelectAll(CurrentList());
        enabledTb();
    });
    on("mnuEdit_Invert", [this] {
        EditCommands::InvertSelection(CurrentList());
        enabledTb();
    });
    QTreeWidget* lvHaveDown = categories->list()->Widget();
    connect(lvHaveDown, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupEditMenu(pos); });
    // Rows chosen with the keyboard or the list's own Select All count like clicks.
    connect(lvHaveDown, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (categories->view()->ActiveList() == CategoryView::ViewCategory) enabledTb();
    });
}

QTreeWidget* EditMenuCommands::CurrentList() const {
    switch (categories->view()->ActiveList()) {
        case CategoryView::ViewDownloads:
            return window->findChild<QTreeWidget*>("lvNowDown");
        case CategoryView::ViewCategory:
            return categories->list()->Widget();
        default:
            return nullptr;
    }
}

int EditMenuCommands::ChosenJob() const {
    if (categories->view()->ActiveList() == CategoryView::ViewDownloads)
        return manager->SelectedJobs().value(0);
    if (categories->view()->ActiveList() != CategoryView::ViewCategory) return 0;
    QTreeWidgetItem* current = categories->list()->Widget()->currentItem();
    if (current && current->isSelected()) return CategoryList::JobOf(current);
    return categories->list()->SelectedJobs().value(0);
}

void EditMenuCommands::PopupEditMenu(const QPoint& pos) {
    enabledTb();
    QTreeWidget* list = categories->list()->Widget();
    menus->Menu("mnuEdit")->popup(list->viewport()->mapToGlobal(pos));
}

void EditMenuCommands::OutputFile() {
    if (categories->view()->ActiveList() != CategoryView::ViewCategory) return;
    const int job = ChosenJob();
    if (job == 0) return;
    DialogHooks::PickFolder(window, QString(), [this, job](const QString& folder) {
        EditCommands::OutputFileTo(window, job, folder);
    });
}
