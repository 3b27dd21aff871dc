#include "tree/frmDelete.h"

#include "widgets/DialogButtons.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobTable.h"
#include "tree/CategoryEdit.h"
#include "tree/CategoryList.h"
#include "tree/CategoryView.h"

frmDelete::frmDelete(const CategoryTree* tree, int view, const QString& currentKey,
                     CategoryList* list, CategoryHooks hooks, QWidget* parent)
    : QDialog(parent),
      tree(tree),
      view(view),
      currentKey(currentKey),
      list(list),
      hooks(std::move(hooks)) {
    // What the user selected is what OK deletes, even when a finished download has changed the
    // lists meanwhile.
    if (view == CategoryView::ViewDownloads && this->hooks.selectedNowDownJobs)
        jobs = this->hooks.selectedNowDownJobs();
    else if (view == CategoryView::ViewCategory && list)
        jobs = list->SelectedJobs();
    setObjectName(QStringLiteral("frmDelete"));
    setWindowTitle(QStringLiteral("Delete"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    lblText = new QLabel(QStringLiteral("Are you really want to delete this item?"), this);
    lblText->setObjectName(QStringLiteral("lblText"));
    chkDelUndown = new QCheckBox(QStringLiteral("Delete Undownload file"), this);
    chkDelUndown->setObjectName(QStringLiteral("chkDelUndown"));
    chkDelDown = new QCheckBox(QStringLiteral("Delete Have Downloaded file"), this);
    chkDelDown->setObjectName(QStringLiteral("chkDelDown"));
    // Each view deletes one kind of file; the other box would do nothing.
    chkDelUndown->setEnabled(view == CategoryView::ViewDownloads);
    chkDelDown->setEnabled(view == CategoryView::ViewCategory);
    DialogButtons dialogButtons(this, DialogButtons::CancelDefault);
    cmdOk = dialogButtons.Ok();
    cmdCancel = dialogButtons.Cancel();

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(lblText, 0, 1);
    grid->addWidget(chkDelUndown, 1, 1);
    grid->addWidget(chkDelDown, 2, 1);
    QHBoxLayout* buttons = dialogButtons.Row();
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    resize(340, 140);

    connect(cmdOk, &QPushButton::clicked, this, &frmDelete::OnOk);
}

void frmDelete::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QApplication::beep();
}

void frmDelete::OnOk() {
    if (currentKey.isEmpty()) {
        accept();
        return;
    }
    if (view == CategoryView::ViewDownloads) {
        // Every deleted job leaves the queue before the first slot is given back, so that no
        // slot goes to a job that is being deleted.
        for (int i : std::as_const(jobs)) {
            if (i < 1 || i > JobCount || Jobs[i].State == StateComplete) continue;
            if (Jobs[i].ClassKey == TreeKeys::RecelyReally) continue;
            Jobs[i].ClassKey = TreeKeys::RecelyReally;
            if (Jobs[i].State == StateWaiting) Jobs[i].State = StatePaused;
            deleted.append(i);
        }
        for (int i : std::as_const(deleted)) {
            // A running job gives its slot back and closes its file before it goes.
            if (Jobs[i].State == StateRunning && hooks.pauseJob) hooks.pauseJob(i);
            JobRecord& job = Jobs[i];
            if (job.State == StateRunning) job.State = StatePaused;
            if (hooks.removeNowDownRow) hooks.removeNowDownRow(i);
            if (chkDelUndown->isChecked()) CategoryEdit::DeleteJobFile(job);
        }
    } else if (view == CategoryView::ViewCategory && list) {
        for (int i : std::as_const(jobs)) {
            if (i < 1 || i > JobCount || Jobs[i].ClassKey != currentKey) continue;
            Jobs[i].ClassKey = TreeKeys::RecelyReally;
            list->RemoveRow(i);
            if (chkDelDown->isChecked()) CategoryEdit::DeleteJobFile(Jobs[i]);
            deleted.append(i);
        }
    }
    if (hooks.saveJobDb)
        hooks.saveJobDb();
    else
        SaveJobDb(*tree, JobDbFile);
    accept();
}
