#pragma once
// "Move File To . . .": files the selected finished jobs of the category list under the
// category picked in a copy of the tree. The files stay where they are.

#include <QDialog>

#include "store/CategoryTree.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;
class CategoryList;
class CategoryView;

class frmMoveto : public QDialog {
    Q_OBJECT
public:
    frmMoveto(const CategoryTree* tree, CategoryView* view, CategoryList* list,
              QWidget* parent = nullptr);

    QString ChosenKey() const;

private:
    void OnOk();

    const CategoryTree* tree;
    CategoryView* view;
    CategoryList* list;
    QTreeWidget* tvClass;
    QCheckBox* chkMoveFile;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
