#pragma once
// "Move Category To . . .": makes the chosen category, with its sub categories, a child of the
// category picked in a copy of the tree. Folders and files stay where they are.

#include <QDialog>

#include "store/CategoryTree.h"

class CategoryPicker;
class QLineEdit;
class QPushButton;

class frmClassMoveto : public QDialog {
    Q_OBJECT
public:
    frmClassMoveto(CategoryTree* tree, const QString& key, QWidget* parent = nullptr);

    QString ChosenKey() const;
    static QString RefusalText();
    static QString OwnSubtreeText();

private:
    void OnOk();

    CategoryTree* tree;
    QString key;
    QLineEdit* txtName;
    QLineEdit* txtDir;
    CategoryPicker* picker;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
