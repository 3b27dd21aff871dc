#include "newjob/NewJobLauncher.h"

#include "newjob/frmNewDown1.h"
#include "store/CategoryTree.h"

NewJobLauncher::NewJobLauncher(QWidget* parent, const NewJobHooks& hooks, CategoryTree* tree,
                               QObject* owner)
    : QObject(owner), parent(parent), hooks(hooks), tree(tree) {}

NewJobLauncher::~NewJobLauncher() {
    // The dialog works on this memory: it goes first.
    delete dialog.data();
}

void NewJobLauncher::SetContext(QWidget* dialogParent, const NewJobHooks& newHooks,
                                CategoryTree* categoryTree) {
    parent = dialogParent;
    hooks = newHooks;
    tree = categoryTree;
}

frmNewDown1* NewJobLauncher::Loaded() const {
    return dialog.data();
}

frmNewDown1* NewJobLauncher::Load() {
    if (!dialog) {
        auto* created = new frmNewDown1(parent, memory, hooks, tree);
        dialog = created;
        // A closed dialog is gone for the next opening, even before its deletion has run.
        connect(created, &QDialog::finished, this, [this, created] {
            if (dialog == created) dialog = nullptr;
        });
    }
    return dialog.data();
}

frmNewDown1* NewJobLauncher::ShowDialog() {
    frmNewDown1* shown = Load();
    if (!shown->isVisible()) shown->show();
    shown->raise();
    shown->activateWindow();
    return shown;
}

frmNewDown1* NewJobLauncher::Open(NewJobModeValue mode) {
    memory.Mode = mode;
    // Already loaded (filled by a hand-off, or open): go to the asked tab when it has one.
    if (dialog) dialog->SelectModeTab(mode);
    return ShowDialog();
}
