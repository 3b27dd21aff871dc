#pragma once
// "Import Previous Batch File . . .": the files of a folder that match a pattern are listed with
// check boxes; the ticked ones become finished jobs of a category, optionally moved into the
// category's folder first.

#include <QDialog>

#include "store/CategoryTree.h"
#include "tree/ImportHooks.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

class frmAddPbf : public QDialog {
    Q_OBJECT
public:
    frmAddPbf(CategoryTree* tree, const QString& selectedKey, ImportHooks hooks,
              QWidget* parent = nullptr);

    // Refills lvFile with the listing folder's files that match pattern.
    void AddFiletoLv(const QString& pattern);
    // The jobs the import added, in list order.
    const QList<int>& ImportedJobs() const { return importedJobs; }

private:
    void FillCategories(const QString& keepKey);
    void OnFolderTyped();
    void OnBrowse();
    void OnCategory();
    void SetChecked(bool selectedOnly, Qt::CheckState state);
    void OnImport();

    CategoryTree* tree;
    ImportHooks hooks;
    QString listingFolder;
    QList<int> importedJobs;
    QLineEdit* txtDirName;
    QComboBox* Combo1;
    QListWidget* File1;
    QTreeWidget* lvFile;
    QComboBox* cmbClass;
    QLineEdit* txtDir;
    QCheckBox* chkMoveFile;
    QPushButton* cmdBrowse;
    QPushButton* cmdCategory;
    QPushButton* cmdRefresh;
    QPushButton* cmdSelectAll;
    QPushButton* cmdInvert;
    QPushButton* cmdCheckSelection;
    QPushButton* cmdUncheckSelection;
    QPushButton* cmdCheckAll;
    QPushButton* cmdImport;
    QPushButton* cmdCancel;
};
