#include "tree/CategoryCommands.h"

#include <QAction>
#include <QMenu>
#include <QTreeWidget>

#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobTable.h"
#include "tree/CategoryEdit.h"
#include "tree/CategoryList.h"
#include "tree/CategoryView.h"
#include "tree/TreeMirror.h"
#include "tree/frmClassD.h"
#include "tree/frmClassMoveto.h"
#include "tree/frmClassNew.h"
#include "tree/frmClassP.h"
#include "tree/frmComment.h"
#include "tree/frmDelete.h"
#include "tree/frmMoveto.h"
#include "widgets/DialogHooks.h"

namespace {
QAction* AddAction(QMenu* menu, const QString& text, const QString& name) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}
}  // namespace

CategoryCommands::CategoryCommands(CategoryTree* tree, CategoryView* view, TreeMirror* mirror,
                                   CategoryList* list, QWidget* dialogParent, QObject* parent)
    : QObject(parent),
      tree(tree),
      view(view),
      mirror(mirror),
      list(list),
      dialogParent(dialogParent) {
    categoryMenu = new QMenu(QStringLiteral("&Category"), dialogParent);
    categoryMenu->setObjectName(QStringLiteral("mnuFile_Class"));
    mnuClassNew = AddAction(categoryMenu, QStringLiteral("&New Category..."),
                            QStringLiteral("mnuFile_ClassNew"));
    mnuClassMoveto =
        AddAction(categoryMenu, QStringLiteral("&MoveTo"), QStringLiteral("mnuFile_ClassMoveto"));
    mnuClassDelete = AddAction(categoryMenu, QStringLiteral("&Delete..."),
                               QStringLiteral("mnuFile_ClassDelete"));
    mnuClassProperty = AddAction(categoryMenu, QStringLiteral("&Properties..."),
                                 QStringLiteral("mnuFile_ClassProperty"));

    treeMenu = new QMenu(dialogParent);
    treeMenu->setObjectName(QStringLiteral("popClass"));
    popNew =
        AddAction(treeMenu, QStringLiteral("&New Category..."), QStringLiteral("popClass_New"));
    popDelete = AddAction(treeMenu, QStringLiteral("&Delete"), QStringLiteral("popClass_Delete"));
    popMoveto =
        AddAction(treeMenu, QStringLiteral("&Move to..."), QStringLiteral("popClass_Moveto"));
    popProperty =
        AddAction(treeMenu, QStringLiteral("&Properties..."), QStringLiteral("popClass_Property"));
    treeMenu->addSeparator();
    popImportList = AddAction(treeMenu, QStringLiteral("&Import Download List..."),
                              QStringLiteral("popClass_ImportList"));
    popExportList = AddAction(treeMenu, QStringLiteral("&Export DownLoad List..."),
                              QStringLiteral("popClass_ExportList"));
    popImportFile = AddAction(treeMenu, QStringLiteral("Import &Previous File..."),
                              QStringLiteral("popClass_ImportFile"));
    popImportBatch = AddAction(treeMenu, QStringLiteral("Import Previous &Batch File..."),
                               QStringLiteral("popClass_ImportBatch"));

    for (QAction* a : {mnuClassNew, popNew})
        connect(a, &QAction::triggered, this, [this] { NewCategory(); });
    for (QAction* a : {mnuClassMoveto, popMoveto})
        connect(a, &QAction::triggered, this, [this] { MoveCategory(); });
    for (QAction* a : {mnuClassDelete, popDelete})
        connect(a, &QAction::triggered, this, [this] { DeleteCategory(); });
    for (QAction* a : {mnuClassProperty, popProperty})
        connect(a, &QAction::triggered, this, [this] { CategoryProperties(); });
    connect(mirror, &TreeMirror::ContextMenuRequested, this,
            [this](const QString&, const QPoint& pos) { PopupTreeMenu(pos); });
    UpdateMenus();
}

void CategoryCommands::UpdateMenus() {
    const int v = view->ActiveList();
    const bool categories = v == CategoryView::ViewCategory;
    for (QAction* a : treeMenu->actions()) a->setEnabled(false);
    for (QAction* a : {popNew, popDelete, popMoveto, popProperty, mnuClassNew, mnuClassMoveto,
                       mnuClassDelete, mnuClassProperty})
        a->setEnabled(categories);
    categoryMenu->menuAction()->setEnabled(categories);
    if (importExportReady) {
        const bool lists = v == CategoryView::ViewDownloads || categories;
        popImportList->setEnabled(lists);
        popExportList->setEnabled(lists);
        popImportFile->setEnabled(categories);
        popImportBatch->setEnabled(categories);
    }
}

void CategoryCommands::PopupTreeMenu(const QPoint& globalPos) {
    UpdateMenus();
    treeMenu->popup(globalPos);
}

EditEnabling CategoryCommands::CategoryListEditEnabling() const {
    QList<ListRowState> rows;
    QTreeWidget* w = list->Widget();
    for (int r = 0; r < w->topLevelItemCount(); ++r)
        rows.append({w->topLevelItem(r)->isSelected(), false});
    return ComputeEditEnabling(CategoryView::ViewCategory, rows);
}

QDialog* CategoryCommands::Open(QDialog* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this] { emit CommandDone(); });
    dialog->open();
    return dialog;
}

void CategoryCommands::Save() {
    if (hooks.saveJobDb)
        hooks.saveJobDb();
    else
        SaveJobDb(*tree, JobDbFile);
}

QDialog* CategoryCommands::NewCategory(QWidget* parent) {
    return Open(new frmClassNew(tree, view->CurrentKey(), parent ? parent : dialogParent));
}

QDialog* CategoryCommands::MoveCategory() {
    const QString key = view->CurrentKey();
    if (key.isEmpty()) return nullptr;
    if (key != TreeKeys::Downloaded && CategoryEdit::IsFixedNode(*tree, key)) {
        DialogHooks::Message(dialogParent, QMessageBox::Critical, frmClassMoveto::RefusalText());
        return nullptr;
    }
    return Open(new frmClassMoveto(tree, key, dialogParent));
}

QDialog* CategoryCommands::DeleteCategory() {
    const QString key = view->CurrentKey();
    if (key.isEmpty()) return nullptr;
    auto* dialog = new frmClassD(tree, key, dialogParent);
    // The list showed the deleted category; the tree then chooses its parent, which refills it.
    connect(dialog, &frmClassD::CategoryDeleted, this, [this] {
        if (!tree->Exists(view->CurrentKey())) view->ClearList();
    });
    return Open(dialog);
}

QDialog* CategoryCommands::CategoryProperties() {
    const QString key = view->CurrentKey();
    if (key.isEmpty()) return nullptr;
    if (CategoryEdit::IsFixedNode(*tree, key)) {
        DialogHooks::Message(dialogParent, QMessageBox::Critical, frmClassP::RefusalText());
        return nullptr;
    }
    return Open(new frmClassP(tree, key, dialogParent));
}

QDialog* CategoryCommands::MoveJobs() {
    if (view->ActiveList() != CategoryView::ViewCategory || view->CurrentKey().isEmpty())
        return nullptr;
    return Open(new frmMoveto(tree, view, list, dialogParent));
}

QDialog* CategoryCommands::CommentJob() {
    int job = 0;
    if (view->ActiveList() == CategoryView::ViewCategory) {
        QTreeWidgetItem* current = list->Widget()->currentItem();
        if (current && current->isSelected())
            job = CategoryList::JobOf(current);
        else
            job = list->SelectedJobs().value(0);
    } else if (view->ActiveList() == CategoryView::ViewDownloads && hooks.selectedNowDownJobs) {
        job = hooks.selectedNowDownJobs().value(0);
    }
    if (job < 1 || job > JobCount) return nullptr;
    return Open(new frmComment(job, dialogParent));
}

QDialog* CategoryCommands::DeleteJobs() {
    const QString key = view->CurrentKey();
    if (key.isEmpty()) return nullptr;
    switch (view->ActiveList()) {
        case CategoryView::ViewSearch:
            if (hooks.deleteSelectedSearches) hooks.deleteSelectedSearches();
            emit CommandDone();
            return nullptr;
        case CategoryView::ViewDownloads:
            return Open(
                new frmDelete(tree, CategoryView::ViewDownloads, key, list, hooks, dialogParent));
        case CategoryView::ViewCategory:
            break;
        default:
            return nullptr;
    }
    if (key == TreeKeys::Recely)
        return Open(
            new frmDelete(tree, CategoryView::ViewCategory, key, list, hooks, dialogParent));
    // Any other category: the selected finished jobs go to the recycle bin at once.
    bool changed = false;
    for (int i : list->SelectedJobs()) {
        if (i < 1 || i > JobCount || Jobs[i].State != StateComplete) continue;
        Jobs[i].ClassKey = TreeKeys::Recely;
        list->RemoveRow(i);
        changed = true;
    }
    if (changed) Save();
    emit CommandDone();
    return nullptr;
}
