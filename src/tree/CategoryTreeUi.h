#pragma once
// Everything the main window needs for its category tree, wired together: the mirror of the
// tree in tvNa, the view state, the category list lvHaveDown and the commands. The window
// places tvNa and lvHaveDown, switches its right pane on view()->PaneChanged, and forwards its
// menus to commands().

#include <QObject>

#include "store/CategoryTree.h"

class QTreeWidget;
class QWidget;
class CategoryCommands;
class CategoryList;
class CategoryView;
class TreeMirror;

class CategoryTreeUi : public QObject {
    Q_OBJECT
public:
    // tvNa and lvHaveDown are the window's widgets (created by the caller, set up here);
    // window is the parent of dialogs and menus.
    CategoryTreeUi(CategoryTree* tree, QTreeWidget* tvNa, QTreeWidget* lvHaveDown, QWidget* window,
                   QObject* parent = nullptr);

    CategoryTree* tree() const { return categoryTree; }
    TreeMirror* mirror() const { return treeMirror; }
    CategoryView* view() const { return categoryView; }
    CategoryList* list() const { return categoryList; }
    CategoryCommands* commands() const { return categoryCommands; }

private:
    CategoryTree* categoryTree;
    TreeMirror* treeMirror;
    CategoryView* categoryView;
    CategoryList* categoryList;
    CategoryCommands* categoryCommands;
};
