#include "tree/frmDelete.h"

#include "store/DialogButtons.h"

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
        const QList<int> jobs =
            hooks.selectedNowDownJobs ? hooks.selectedNowDownJobs() : QList<int>();
        for (int i : jobs) {
            if (i < 1 || i > JobCount || Jobs[i].State == StateComplete) continue;
            if (Jobs[i].ClassKey == TreeKeys::RecelyReally) continue;
            // A running job gives its slot back and closes its file before it goes.
            if (Jobs[i].State == StateRunning && hooks.pauseJob) hooks.pauseJob(i);
            JobRecord& job = Jobs[i];
            job.ClassKey = TreeKeys::RecelyReally;
            // A deleted job must never be started by the scheduler.
            if (job.State == StateRunning || job.State == StateWaiting) job.State = StatePaused;
            if (hooks.removeNowDownRow) hooks.removeNowDownRow(i);
            if (chkDelUndown->isChecked()) CategoryEdit::DeleteJobFile(job);
            deleted.append(i);
        }
    } else if (view == CategoryView::ViewCategory && list) {
        for (int i : list->SelectedJobs()) {
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
