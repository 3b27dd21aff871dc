#include "ui/JobPropertiesCommand.h"

#include <QFile>
#include <QPointer>

#include "manager/clsJobManager.h"
#include "newjob/JobEdit.h"
#include "newjob/frmJobProperties.h"
#include "store/JobTable.h"

void JobPropertiesCommand::Open(QWidget* parent, clsJobManager& manager, int j,
                                const std::function<void()>& changed) {
    if (!manager.MayEdit(j)) return;
    auto* dialog = new frmJobProperties(JobEdit::Of(Jobs[static_cast<size_t>(j)]), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<clsJobManager> owner(&manager);
    QObject::connect(dialog, &QDialog::accepted, dialog, [dialog, owner, j, changed] {
        // The job may have been started or deleted while the dialog was open.
        if (!owner || !owner->MayEdit(j)) return;
        JobRecord job = Jobs[static_cast<size_t>(j)];
        QString oldFile;
        dialog->Values().ApplyTo(job, &oldFile);
        owner->ReplaceJob(j, job);
        if (!oldFile.isEmpty() && oldFile != job.LocalFile) QFile::remove(oldFile);
        if (changed) changed();
    });
    dialog->open();
}
