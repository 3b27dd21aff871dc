#pragma once
// "Delete": deletes the selected jobs for good, in the current-download view (unfinished jobs)
// or in the recycle bin (finished jobs), optionally with their files, and saves the job
// database. The jobs are those selected when the dialog opens.

#include <QDialog>

#include "store/CategoryTree.h"
#include "tree/CategoryHooks.h"

class QCheckBox;
class QLabel;
class QPushButton;
class CategoryList;

class frmDelete : public QDialog {
    Q_OBJECT
public:
    // view: 2 (the now-downloading list, jobs from hooks.selectedNowDownJobs) or 3 (the
    // category list, jobs whose category is currentKey). currentKey: the node chosen in tvNa;
    // with none, OK does nothing but close.
    frmDelete(const CategoryTree* tree, int view, const QString& currentKey, CategoryList* list,
              CategoryHooks hooks, QWidget* parent = nullptr);

    // Jobs deleted by OK.
    const QList<int>& DeletedJobs() const { return deleted; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOk();

    const CategoryTree* tree;
    int view;
    QString currentKey;
    CategoryList* list;
    CategoryHooks hooks;
    QList<int> jobs;  // selected when the dialog opened
    QList<int> deleted;
    QLabel* lblText;
    QCheckBox* chkDelUndown;
    QCheckBox* chkDelDown;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
