#pragma once
// "Delete Category": asks before the chosen category leaves the tree with its sub categories;
// its own finished jobs go to the recycle bin.

#include <QDialog>

#include "store/CategoryTree.h"

class QLabel;
class QPushButton;

class frmClassD : public QDialog {
    Q_OBJECT
public:
    frmClassD(CategoryTree* tree, const QString& key, QWidget* parent = nullptr);

    static QString RefusalText();

signals:
    // The category was deleted (the category list is to be cleared).
    void CategoryDeleted(const QString& key);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOk();

    CategoryTree* tree;
    QString key;
    QLabel* lblText;
    QLabel* lblName;
    QLabel* lblDir;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
