#pragma once
// "Create New Category": a name, the parent chosen in a copy of the category tree, and the
// folder, which follows parent and name while "Create new directory with category name" is
// ticked.

#include <QDialog>

#include "store/CategoryTree.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class frmClassNew : public QDialog {
    Q_OBJECT
public:
    // selectedKey: the node chosen in tvNa; it is preselected as parent when it is a category,
    // otherwise "Downloaded" is.
    frmClassNew(CategoryTree* tree, const QString& selectedKey, QWidget* parent = nullptr);

    // Key of the category made by OK (empty before).
    const QString& CreatedKey() const { return createdKey; }
    QString ParentKey() const;

private:
    void UpdateFolder();
    void OnParentChanged();
    void OnBrowse();
    void OnOk();

    CategoryTree* tree;
    QString baseFolder;
    QString createdKey;
    QLineEdit* txtName;
    QTreeWidget* tvClass;
    QCheckBox* chkCreateDir;
    QLineEdit* txtDir;
    QPushButton* cmdBrowse;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
