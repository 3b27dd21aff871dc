#pragma once
// Owns the new-job dialog for the window that opens it: the dialog is created when first needed
// (load step: boxes filled, tab of the mode selected), shown modally and deleted when it closes;
// the memory (shared URL, depth choice, mode, main tab key) stays for the next opening.

#include <QObject>
#include <QPointer>

#include "newjob/NewJobHooks.h"
#include "newjob/NewJobMemory.h"
#include "newjob/NewJobMode.h"

class CategoryTree;
class QWidget;
class frmNewDown1;

class NewJobLauncher : public QObject {
    Q_OBJECT
public:
    // parent: the dialog's parent window; hooks: what the dialog needs from the main window;
    // tree: the categories its boxes offer.
    NewJobLauncher(QWidget* parent, const NewJobHooks& hooks, CategoryTree* tree,
                   QObject* owner = nullptr);
    ~NewJobLauncher() override;

    // Replaces what the next dialog is created with (an open dialog keeps its own).
    void SetContext(QWidget* parent, const NewJobHooks& hooks, CategoryTree* tree);

    // The dialog, created (not shown) when it does not exist yet. Other parts fill txtUrl,
    // txtRef, txtComment through it.
    frmNewDown1* Load();
    // The dialog when it exists and has not closed, else nullptr.
    frmNewDown1* Loaded() const;
    // Shows the dialog application-modal in the remembered mode (loading it first when needed)
    // and returns at once; the dialog closes itself. An open dialog is brought forward.
    frmNewDown1* ShowDialog();
    // The mode remembered, then ShowDialog. An existing dialog goes to the mode's tab.
    frmNewDown1* Open(NewJobModeValue mode);

    NewJobMemory& Memory() { return memory; }
    const NewJobMemory& Memory() const { return memory; }

private:
    QPointer<QWidget> parent;
    NewJobHooks hooks;
    QPointer<CategoryTree> tree;
    NewJobMemory memory;
    QPointer<frmNewDown1> dialog;
};
