#pragma once
// The commands on categories and finished jobs that the main window forwards its menus to:
// File > "&Category", the pop-up menu of tvNa, and Edit > "&Move To...", "&Comment...",
// "&Delete". Dialogs open window-modal without waiting (QDialog::open) and delete themselves
// when closed; each handler returns the dialog it opened (nullptr when it opened none).

#include <QObject>
#include <QPoint>

#include "store/CategoryTree.h"
#include "tree/CategoryHooks.h"
#include "tree/EditEnabling.h"

class QAction;
class QDialog;
class QMenu;
class QWidget;
class CategoryList;
class CategoryView;
class TreeMirror;

class CategoryCommands : public QObject {
    Q_OBJECT
public:
    // dialogParent: the main window (parent of the dialogs and menus).
    CategoryCommands(CategoryTree* tree, CategoryView* view, TreeMirror* mirror, CategoryList* list,
                     QWidget* dialogParent, QObject* parent = nullptr);

    void SetHooks(CategoryHooks hooks) { this->hooks = std::move(hooks); }
    CategoryHooks& Hooks() { return hooks; }

    // File > "&Category" (object name "mnuFile_Class") with "&New Category...", "&MoveTo",
    // "&Delete...", "&Properties..." (mnuFile_ClassNew, mnuFile_ClassMoveto,
    // mnuFile_ClassDelete, mnuFile_ClassProperty). Owned by dialogParent.
    QMenu* CategoryMenu() const { return categoryMenu; }
    // The pop-up menu of tvNa ("popClass"): "&New Category...", "&Delete", "&Move to...",
    // "&Properties...", then "&Import Download List...", "&Export DownLoad List...",
    // "Import &Previous File...", "Import Previous &Batch File..." (popClass_New,
    // popClass_Delete, popClass_Moveto, popClass_Property, popClass_ImportList,
    // popClass_ExportList, popClass_ImportFile, popClass_ImportBatch).
    QMenu* TreeMenu() const { return treeMenu; }
    QAction* ImportListAction() const { return popImportList; }
    QAction* ExportListAction() const { return popExportList; }
    QAction* ImportFileAction() const { return popImportFile; }
    QAction* ImportBatchAction() const { return popImportBatch; }
    // Until the job-list import and export exist their four entries stay disabled; true lets
    // them follow the view (lists: views 2 and 3, files: view 3).
    void SetImportExportReady(bool ready) { importExportReady = ready; }

    // Enables both menus for the current view: the category entries in view 3 only.
    void UpdateMenus();
    // Pops up the tree menu at globalPos (after UpdateMenus); connected to the tree's right
    // click.
    void PopupTreeMenu(const QPoint& globalPos);

    // Edit menu enabling for view 3 from lvHaveDown's rows.
    EditEnabling CategoryListEditEnabling() const;

    // File > "&Category" and pop-up entries. NewCategory may be given another parent (the
    // new-job dialog); the tree's Changed() tells when the category was added.
    QDialog* NewCategory(QWidget* parent = nullptr);
    QDialog* MoveCategory();
    QDialog* DeleteCategory();
    QDialog* CategoryProperties();
    // Edit > "&Move To..." (view 3), "&Comment..." (views 2 and 3), "&Delete" (all views).
    QDialog* MoveJobs();
    QDialog* CommentJob();
    QDialog* DeleteJobs();

signals:
    // A command changed jobs or categories (or a dialog closed): the window refreshes its
    // toolbar (EnabledTb).
    void CommandDone();

private:
    QDialog* Open(QDialog* dialog);
    void Save();

    CategoryTree* tree;
    CategoryView* view;
    TreeMirror* mirror;
    CategoryList* list;
    QWidget* dialogParent;
    CategoryHooks hooks;
    bool importExportReady = false;

    QMenu* categoryMenu;
    QAction* mnuClassNew;
    QAction* mnuClassMoveto;
    QAction* mnuClassDelete;
    QAction* mnuClassProperty;
    QMenu* treeMenu;
    QAction* popNew;
    QAction* popDelete;
    QAction* popMoveto;
    QAction* popProperty;
    QAction* popImportList;
    QAction* popExportList;
    QAction* popImportFile;
    QAction* popImportBatch;
};
