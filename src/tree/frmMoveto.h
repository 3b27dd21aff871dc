#pragma once
// "Move File To . . .": files the selected finished jobs of the category list under the
// category picked in a copy of the tree. The files stay where they are. The jobs are those
// selected when the dialog opens.

#include <QDialog>
#include <QList>

#include "store/CategoryTree.h"

class QPushButton;
class CategoryList;
class CategoryPicker;
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
    QList<int> jobs;
    CategoryPicker* picker;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
