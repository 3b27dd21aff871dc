#include "tree/frmMoveto.h"

#include "widgets/DialogButtons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "store/JobTable.h"
#include "tree/CategoryList.h"
#include "tree/CategoryPicker.h"
#include "tree/CategoryView.h"

frmMoveto::frmMoveto(const CategoryTree* tree, CategoryView* view, CategoryList* list,
                     QWidget* parent)
    : QDialog(parent), tree(tree), view(view), list(list), jobs(list->SelectedJobs()) {
    setObjectName(QStringLiteral("frmMoveto"));
    setWindowTitle(QStringLiteral("Move File To . . ."));
    setModal(true);

    picker = new CategoryPicker(*tree, view->CurrentKey(), this);
    DialogButtons dialogButtons(this, DialogButtons::OkDefault);
    cmdOk = dialogButtons.Ok();
    cmdCancel = dialogButtons.Cancel();

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Move to:"), this), 0, 0);
    grid->addWidget(picker, 1, 0);
    QHBoxLayout* buttons = dialogButtons.Row();
    grid->addLayout(buttons, 2, 0);
    resize(360, 360);

    connect(cmdOk, &QPushButton::clicked, this, &frmMoveto::OnOk);
}

QString frmMoveto::ChosenKey() const {
    return picker->ChosenKey();
}

void frmMoveto::OnOk() {
    const QString chosen = ChosenKey();
    if (chosen.isEmpty() || !tree->Exists(chosen)) {
        reject();
        return;
    }
    const bool sameNode = chosen == view->CurrentKey();
    // The rows selected when the dialog opened: the list may have been refilled since.
    for (int job : std::as_const(jobs)) {
        if (job < 1 || job > JobCount || Jobs[job].State != StateComplete) continue;
        // Jobs of a deleted category shown under "Downloaded" are filed there for good.
        Jobs[job].ClassKey = chosen;
        // A history filter still lists the job after the move; a category does not.
        if (!sameNode && !view->Lists(job)) list->RemoveRow(job);
    }
    accept();
}
