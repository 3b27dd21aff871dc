#include "tree/CategoryTreeUi.h"

#include "tree/CategoryCommands.h"
#include "tree/CategoryList.h"
#include "tree/CategoryView.h"
#include "tree/TreeMirror.h"

CategoryTreeUi::CategoryTreeUi(CategoryTree* tree, QTreeWidget* tvNa, QTreeWidget* lvHaveDown,
                               QWidget* window, QObject* parent)
    : QObject(parent), categoryTree(tree) {
    treeMirror = new TreeMirror(tree, tvNa, this);
    categoryView = new CategoryView(tree, this);
    categoryList = new CategoryList(categoryView, lvHaveDown, this);
    categoryCommands =
        new CategoryCommands(tree, categoryView, treeMirror, categoryList, window, this);
    connect(treeMirror, &TreeMirror::NodeSelected, categoryView, &CategoryView::SelectNode);
    connect(categoryView, &CategoryView::SelectionHandled, categoryCommands,
            &CategoryCommands::UpdateMenus);
}
