#include "ui/EditCommands.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QTreeWidget>
#include <QUrl>

#include "store/AtomicFile.h"
#include "store/JobFileRename.h"
#include "store/JobTable.h"
#include "store/LocalPath.h"
#include "store/MovieFilesFolder.h"
#include "store/UserMessage.h"
#include "widgets/DialogHooks.h"

namespace EditCommands {

namespace {

OverwriteQuestion& Question() {
    static OverwriteQuestion question;
    return question;
}

bool ValidJob(int job) {
    return job >= 1 && job <= JobCount;
}
}  // namespace

QString OutputTarget(const QString& folder, const QString& localFile) {
    QString target = folder;
    if (!target.endsWith(u'/') && !target.endsWith(u'\\')) target += u'/';
    return target + FileNamePart(localFile);
}

void CopyUrl(int job) {
    if (!ValidJob(job)) return;
    QGuiApplication::clipboard()->setText(Jobs[job].Url);
}

void OpenFile(int job) {
    if (!ValidJob(job)) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(Jobs[job].LocalFile));
}

void OpenFolder(int job) {
    if (!ValidJob(job)) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(FolderPart(Jobs[job].LocalFile)));
}

void SetOverwriteQuestion(OverwriteQuestion question) {
    Question() = std::move(question);
}

bool OutputFileTo(QWidget* parent, int job, const QString& folder) {
    if (!ValidJob(job) || folder.isEmpty()) return false;
    const QString source = Jobs[job].LocalFile;
    if (FileNamePart(source).isEmpty()) return false;  // no file name: the target is the folder
    const QString target = OutputTarget(folder, source);
    if (QDir::cleanPath(QFileInfo(source).absoluteFilePath()) ==
        QDir::cleanPath(QFileInfo(target).absoluteFilePath()))
        return false;  // copying a file onto itself would destroy it
    // The source is opened first, so the user is not asked about a copy that cannot be made.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        UserMessage::Show(UserMessage::Warning, "Quorvanta",
                          QStringLiteral("Could not read %1:\n%2").arg(source, in.errorString()));
        return false;
    }
    if (QFile::exists(target)) {
        bool yes;
        if (Question()) {
            yes = Question()(parent, target);
        } else {
            yes = QMessageBox::question(parent, "Quorvanta",
                                        "File existed! Do you want to overwrite it?",
                                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        }
        if (!yes) return false;
    }
    // Copied in pieces into a temporary file that replaces the target only when complete.
    QString error;
    if (!AtomicFile::Copy(in, target, &error)) {
        UserMessage::Show(UserMessage::Warning, "Quorvanta",
                          QStringLiteral("Could not write %1:\n%2").arg(target, error));
        return false;
    }
    // A movie's kept files go with its copy.
    if (!MovieFilesFolder::CopyTo(source, target)) {
        UserMessage::Show(UserMessage::Warning, "Quorvanta",
                          QStringLiteral("Could not copy every file of %1")
                              .arg(MovieFilesFolder::FolderOf(source)));
        return false;
    }
    return true;
}

void SelectAll(QTreeWidget* list) {
    if (list) list->selectAll();
}

void InvertSelection(QTreeWidget* list) {
    if (!list) return;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        item->setSelected(!item->isSelected());
    }
}

void RenameFile(QWidget* parent, int job, std::function<void()> done) {
    if (!ValidJob(job)) return;
    auto* dialog = new QInputDialog(parent);
    dialog->setObjectName(QStringLiteral("dlgRename"));
    dialog->setWindowTitle(QStringLiteral("Rename"));
    dialog->setLabelText(QStringLiteral("New file name:"));
    dialog->setTextValue(FileNamePart(Jobs[static_cast<size_t>(job)].LocalFile));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QInputDialog::textValueSelected, dialog,
                     [parent, job, done](const QString& name) {
                         const QString refused = JobFileRename::Rename(job, name);
                         if (!refused.isEmpty())
                             DialogHooks::Message(parent, QMessageBox::Information, refused);
                         else if (done)
                             done();
                     });
    dialog->open();
}

}  // namespace EditCommands
