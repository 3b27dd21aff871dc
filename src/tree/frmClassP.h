#pragma once
// "Category Properties": caption and folder of the chosen category.

#include <QDialog>

#include "store/CategoryTree.h"

class QLineEdit;
class QPushButton;

class frmClassP : public QDialog {
    Q_OBJECT
public:
    frmClassP(CategoryTree* tree, const QString& key, QWidget* parent = nullptr);

    // The message shown when key is a fixed node, which keeps its caption and folder.
    static QString RefusalText();

private:
    void OnBrowse();
    void OnOk();

    CategoryTree* tree;
    QString key;
    QLineEdit* txtName;
    QLineEdit* txtDir;
    QPushButton* cmdBrowse;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
