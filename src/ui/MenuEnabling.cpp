#include "ui/MenuEnabling.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QTreeWidget>
#include <QWidget>

#include "manager/clsJobManager.h"
#include "pages/SearchRecord.h"
#include "pages/clsSearchPanes.h"
#include "pages/clsSearchQueue.h"
#include "store/JobTable.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryTreeUi.h"
#include "tree/CategoryView.h"
#include "tree/EditEnabling.h"
#include "ui/MainMenus.h"
#include "ui/MovieFilesCommand.h"

MenuEnabling::MenuEnabling(QWidget* window, MainMenus* menus, CategoryTreeUi* categories,
                           clsJobManager* manager, clsSearchQueue* searchQueue,
                           clsSearchPanes* searchPanes)
    : window(window),
      menus(menus),
      categories(categories),
      manager(manager),
      searchQueue(searchQueue),
      searchPanes(searchPanes) {}

void MenuEnabling::UpdateEditMenu() {
    EditEnabling e;
    if (categories->view()->ActiveList() == CategoryView::ViewCategory) {
        e = categories->commands()->CategoryListEditEnabling();
    } else if (categories->view()->ActiveList() == CategoryView::ViewDownloads) {
        e.deleteJobs = manager->CanDeleteSelected();
        e.copyUrl = manager->CanCopyUrl();
    } else if (categories->view()->ActiveList() == CategoryView::ViewSearch) {
        QList<ListRowState> rows;
        QTreeWidget* list = searchPanes->SearchList();
        for (int r = 0; r < list->topLevelItemCount(); ++r) {
            QTreeWidgetItem* item = list->topLevelItem(r);
            const int i = KeyIndex(item->data(0, clsSearchPanes::KeyRole).toString());
            rows.append({item->isSelected(),
                         i >= 1 && i <= SearchCount && Searches[i].SearchState == SearchRunning});
        }
        e = ComputeEditEnabling(CategoryView::ViewSearch, rows,
                                list->indexOfTopLevelItem(list->currentItem()));
    }
    menus->Enable("mnuEdit_MoveTo", e.moveTo);
    menus->Enable("mnuEdit_Comment", e.comment);
    menus->Enable("mnuEdit_Output", e.outputFile);
    const bool movieChosen = categories->view()->ActiveList() == CategoryView::ViewCategory &&
                             chosenJob && MovieFilesCommand::Applies(chosenJob());
    menus->Enable("mnuEdit_GetFiles", movieChosen);
    menus->Enable("mnuJob_GetFiles", movieChosen);
    menus->Enable("mnuEdit_CopyUrl", e.copyUrl);
    menus->Enable("mnuEdit_Delete", e.deleteJobs);
    menus->Enable("mnuEdit_OpenFile", e.openFile);
    menus->Enable("mnuEdit_OpenDir", e.openDir);
}

void MenuEnabling::UpdateJobsMenu() {
    const clsJobManager::JobsMenuState jobs =
        manager->JobsMenuEnabling(categories->view()->ActiveList());
    menus->Enable("mnuJob_Begin", jobs.StartJob);
    menus->Enable("mnuJob_Pause", jobs.PauseJob);
    menus->Enable("mnuJob_AllBegin", jobs.StartAll);
    menus->Enable("mnuJob_AllPause", jobs.PauseAll);
    const QList<int> chosen = manager->SelectedJobs();
    menus->Enable("mnuJob_Properties",
                  categories->view()->ActiveList() == CategoryView::ViewDownloads &&
                      chosen.size() == 1 && manager->MayEdit(chosen.first()));
    const bool search = searchQueue->SearchCommandsEnabled(categories->view()->ActiveList());
    for (const char* name : {"mnuJob_SearchBegin", "mnuJob_SearchPause", "mnuJob_SearchAllBegin",
                             "mnuJob_SearchAllPause"})
        menus->Enable(name, search);
    // The tray's four entries follow the matching Jobs items wherever the window stands.
    const clsJobManager::JobsMenuState any = manager->JobsMenuEnabling(CategoryView::ViewDownloads);
    menus->Enable("popMain_AllBegin", any.StartAll);
    menus->Enable("popMain_AllPause", any.PauseAll);
    menus->Enable("popMain_SearchAllBegin", searchQueue->RowCount() > 0);
    menus->Enable("popMain_SearchAllPause", searchQueue->RowCount() > 0);
}

void MenuEnabling::EnabledTb() {
    UpdateEditMenu();
    UpdateJobsMenu();
    UpdateFileMenu();
    UpdatePlayerCommands();
    // In the search and download views the four job buttons follow that view's items; elsewhere
    // they rest.
    const CategoryView::View view = categories->view()->ActiveList();
    const char* items1[] = {"mnuJob_SearchBegin", "mnuJob_SearchPause", "mnuJob_SearchAllBegin",
                            "mnuJob_SearchAllPause"};
    const char* items2[] = {"mnuJob_Begin", "mnuJob_Pause", "mnuJob_AllBegin", "mnuJob_AllPause"};
    const char* tools[] = {"tbMain_Start", "tbMain_Pause", "tbMain_AllStart", "tbMain_AllPause"};
    for (int k = 0; k < 4; ++k) {
        bool on = false;
        if (view == CategoryView::ViewSearch)
            on = menus->Action(items1[k])->isEnabled();
        else if (view == CategoryView::ViewDownloads)
            on = menus->Action(items2[k])->isEnabled();
        menus->Enable(tools[k], on);
    }

    // The tool bar's edit buttons follow the Edit menu's entries.
    for (const auto& [tool, item] : {std::pair{"tbMain_Comment", "mnuEdit_Comment"},
                                     std::pair{"tbMain_Delete", "mnuEdit_Delete"},
                                     std::pair{"tbMain_Openfile", "mnuEdit_OpenFile"},
                                     std::pair{"tbMain_Opendir", "mnuEdit_OpenDir"}})
        menus->Action(tool)->setEnabled(menus->Action(item)->isEnabled());
    menus->Action("mnuView_ToolBar")
        ->setChecked(menus->tbMain()->isVisible() || !window->isVisible());
}

void MenuEnabling::DisableTb() {
    for (const char* tool :
         {"tbMain_Start", "tbMain_Pause", "tbMain_AllStart", "tbMain_AllPause", "tbMain_Comment",
          "tbMain_Delete", "tbMain_Openfile", "tbMain_Opendir"})
        menus->Action(tool)->setEnabled(false);
}

void MenuEnabling::UpdatePlayerCommands() {
    // The player's commands act on the downloaded list: only the category view has them.
    const bool on = categories->view()->ActiveList() == CategoryView::ViewCategory;
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

void MenuEnabling::UpdateFileMenu() {
    const CategoryView::View view = categories->view()->ActiveList();
    const bool lists = view == CategoryView::ViewDownloads || view == CategoryView::ViewCategory;
    menus->Enable("mnuFile_ImportList", lists);
    menus->Enable("mnuFile_ExportList", lists);
    for (const char* name : {"mnuFile_AddPf", "mnuFile_AddPbf", "tbMain_AddPf", "tbMain_AddPbf"})
        menus->Enable(name, view == CategoryView::ViewCategory);
    menus->Enable("mnuEdit_Rename", menus->Action("mnuEdit_OpenFile")->isEnabled());
    categories->commands()->UpdateMenus();
}
