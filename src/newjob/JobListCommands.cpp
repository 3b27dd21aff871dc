#include "newjob/JobListCommands.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSet>

#include "engine/clsDownLoadJob.h"
#include "newjob/NewJobBuilder.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobListFile.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "tree/CategoryView.h"
#include "tree/frmAddPbf.h"
#include "tree/frmAddPf.h"
#include "widgets/DialogHooks.h"

JobListCommands::JobListCommands(CategoryTree* tree, CategoryView* view, QWidget* dialogParent,
                                 QObject* parent)
    : QObject(parent), tree(tree), view(view), dialogParent(dialogParent) {}

QList<int> JobListCommands::ExportedJobs() const {
    if (view->ActiveList() == CategoryView::ViewDownloads)
        return hooks.nowDownJobs ? hooks.nowDownJobs() : QList<int>();
    if (view->HistoryFilter() != 0) return view->ListedJobs();
    return JobListFile::JobsOfCategory(view->CurrentKey());
}

QString JobListCommands::TargetCategory() const {
    const QString key = view->CurrentKey();
    if (key == TreeKeys::Downloaded || tree->IsInSubtree(key, TreeKeys::Downloaded)) return key;
    return TreeKeys::Downloaded;
}

void JobListCommands::Save() {
    if (hooks.saveJobDb)
        hooks.saveJobDb();
    else
        SaveJobDb(*tree, JobDbFile);
}

QDialog* JobListCommands::Export() {
    if (view->CurrentKey().isEmpty()) return nullptr;
    auto* dialog = new QFileDialog(dialogParent, QStringLiteral("Save File"),
                                   QFileInfo(lastExportPath).path());
    if (lastExportPath.isEmpty()) dialog->setDirectory(QDir::homePath());
    dialog->setObjectName(QStringLiteral("dlgSaveFile"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({QStringLiteral("Download list (*.lst)"),
                            QStringLiteral("Text File (*.txt)"), QStringLiteral("All Files (*)")});
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The jobs of the node shown when the dialog opened.
    const QList<int> jobs = ExportedJobs();
    connect(dialog, &QFileDialog::fileSelected, this, [this, jobs](const QString& path) {
        if (path.isEmpty()) return;
        lastExportPath = path;
        QString error;
        if (!JobListFile::Write(path, jobs, &error))
            DialogHooks::Message(
                dialogParent, QMessageBox::Warning,
                QStringLiteral("The list cannot be written to %1: %2").arg(path, error));
    });
    connect(dialog, &QDialog::finished, this, [this] { emit CommandDone(); });
    dialog->open();
    return dialog;
}

QDialog* JobListCommands::ImportList() {
    if (view->CurrentKey().isEmpty()) return nullptr;
    const QString start = !lastImportPath.isEmpty()   ? QFileInfo(lastImportPath).path()
                          : !lastExportPath.isEmpty() ? QFileInfo(lastExportPath).path()
                                                      : QDir::homePath();
    auto* dialog = new QFileDialog(dialogParent, QStringLiteral("Open File"), start);
    dialog->setObjectName(QStringLiteral("dlgOpenList"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QStringLiteral("Download list (*.lst)"),
                            QStringLiteral("Text File (*.txt)"), QStringLiteral("All Files (*)")});
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (path.isEmpty()) return;
        lastImportPath = path;
        const ListImport result = ImportListFrom(path);
        QStringList told;
        if (!result.error.isEmpty())
            told.append(QStringLiteral("The list cannot be read: ") + result.error);
        if (result.notUrls > 0)
            told.append(QStringLiteral("%1 line(s) of the list are not URLs and were skipped.")
                            .arg(result.notUrls));
        if (result.duplicates > 0)
            told.append(QStringLiteral("%1 URL(s) of the list already have a job and were "
                                       "skipped.")
                            .arg(result.duplicates));
        if (!told.isEmpty())
            DialogHooks::Message(dialogParent, QMessageBox::Information,
                                 told.join(QLatin1Char('\n')));
    });
    connect(dialog, &QDialog::finished, this, [this] { emit CommandDone(); });
    dialog->open();
    return dialog;
}

JobListCommands::ListImport JobListCommands::ImportListFrom(const QString& path) {
    ListImport result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QStringList lines = JobListFile::Lines(file.readAll());
    QSet<QString> known;
    for (int i = 1; i <= JobCount; ++i) {
        const JobRecord& job = Jobs[static_cast<size_t>(i)];
        if (job.State != StateFree && job.ClassKey != TreeKeys::RecelyReally &&
            !job.ClassKey.isEmpty())
            known.insert(job.Url);
    }
    const QString key = TargetCategory();
    const TreeNode* node = tree->Find(key);
    SaveOptions options;
    options.ClassKey = key;
    options.Folder = node && !node->Tag.trimmed().isEmpty() ? DialogHooks::WithSeparator(node->Tag)
                                                            : DefaultDownDir;
    options.PartsText = QString::number(Settings.Parts);
    options.UserAgent = Settings.Useragent;
    for (const QString& url : lines) {
        JobRecord probe;
        if (!clsDownLoadJob::SplitUrl(url, probe)) {
            ++result.notUrls;
            continue;
        }
        if (known.contains(url)) {
            ++result.duplicates;
            continue;
        }
        const int j = AddJob(BuildBatchJob(options, url));
        if (j == 0) break;
        known.insert(url);
        result.added.append(j);
        if (hooks.addToNowDownList) hooks.addToNowDownList(j);
    }
    Save();
    return result;
}

QDialog* JobListCommands::ImportFile() {
    ImportHooks h;
    h.newCategory = hooks.newCategory;
    h.saveJobDb = [this] { Save(); };
    auto* dialog = new frmAddPf(tree, view->CurrentKey(), h, dialogParent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this] { emit CommandDone(); });
    dialog->open();
    return dialog;
}

QDialog* JobListCommands::ImportBatch() {
    ImportHooks h;
    h.newCategory = hooks.newCategory;
    h.saveJobDb = [this] { Save(); };
    auto* dialog = new frmAddPbf(tree, view->CurrentKey(), h, dialogParent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this] { emit CommandDone(); });
    dialog->open();
    return dialog;
}
