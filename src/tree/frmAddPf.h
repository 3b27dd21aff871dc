#pragma once
// "Import Previous File . . .": one file already on disk becomes a finished job of a category,
// optionally moved into the category's folder first.

#include <QDialog>

#include "store/CategoryTree.h"
#include "tree/ImportHooks.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class frmAddPf : public QDialog {
    Q_OBJECT
public:
    // selectedKey: the node chosen in tvNa, preselected in the category box when it is a
    // category ("Downloaded" otherwise).
    frmAddPf(CategoryTree* tree, const QString& selectedKey, ImportHooks hooks,
             QWidget* parent = nullptr);

    // The job the import added (0 before).
    int ImportedJob() const { return importedJob; }

private:
    void FillCategories(const QString& keepKey);
    void OnCategoryChosen();
    void OnFileNameChanged();
    void OnBrowse();
    void OnCategory();
    void OnImport();

    CategoryTree* tree;
    ImportHooks hooks;
    int importedJob = 0;
    QLineEdit* txtFileName;
    QComboBox* cmbClass;
    QLineEdit* txtDir;
    QLineEdit* txtFileDate;
    QLineEdit* txtFileSize;
    QLineEdit* txtRef;
    QLineEdit* txtComment;
    QCheckBox* chkMoveFile;
    QPushButton* cmdBrowse;
    QPushButton* cmdCategory;
    QPushButton* cmdImport;
    QPushButton* cmdCancel;
};
