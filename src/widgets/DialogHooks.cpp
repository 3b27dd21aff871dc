#include "widgets/DialogHooks.h"

#include <QDir>
#include <QFileDialog>

namespace DialogHooks {

namespace {
MessageHook& MessageRef() {
    static MessageHook hook;
    return hook;
}
FolderHook& FolderRef() {
    static FolderHook hook;
    return hook;
}
}  // namespace

QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) {
    if (MessageRef()) return MessageRef()(parent, icon, text, buttons);
    // Shown window-modal without waiting; nothing here depends on the answer.
    auto* box = new QMessageBox(icon, QStringLiteral("Quorvanta"), text, buttons, parent);
    box->setObjectName(QStringLiteral("msgTree"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return QMessageBox::Ok;
}

void PickFolder(QWidget* parent, const QString& start, std::function<void(const QString&)> chosen) {
    if (FolderRef()) {
        const QString folder = FolderRef()(parent, start);
        if (!folder.isEmpty()) chosen(folder);
        return;
    }
    auto* dialog = new QFileDialog(parent, QStringLiteral("Browsing"), start);
    dialog->setObjectName(QStringLiteral("dlgBrowseFolder"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& folder) {
        if (!folder.isEmpty()) chosen(folder);
    });
    dialog->open();
}

void SetMessageHook(MessageHook hook) {
    MessageRef() = std::move(hook);
}
void SetFolderHook(FolderHook hook) {
    FolderRef() = std::move(hook);
}

bool EndsWithSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'));
}

QString WithSeparator(const QString& folder) {
    return EndsWithSeparator(folder) ? folder : folder + QLatin1Char('/');
}

}  // namespace DialogHooks
