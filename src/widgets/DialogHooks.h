#pragma once
// Message boxes and the folder browser of the category dialogs. Both go through replaceable
// hooks so tests can answer them; by default they are QMessageBox and QFileDialog.

#include <QMessageBox>
#include <QString>
#include <functional>

namespace DialogHooks {

using MessageHook = std::function<QMessageBox::StandardButton(
    QWidget* parent, QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons)>;
// A folder hook answers at once: the folder, or empty for a cancelled browser.
using FolderHook = std::function<QString(QWidget* parent, const QString& start)>;

// Shows text with the program's name as title (by default a message box that is opened without
// waiting for it; the result is then Ok).
QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// Asks for a folder, starting at start, with a folder browser opened without waiting; chosen
// runs with the folder when the user picks one (not at all when the user cancels).
void PickFolder(QWidget* parent, const QString& start, std::function<void(const QString&)> chosen);

// An empty hook restores the default.
void SetMessageHook(MessageHook hook);
void SetFolderHook(FolderHook hook);

// start without a trailing separator for the folder browser; folder with exactly one "/" (or
// its own "\") at the end.
QString WithSeparator(const QString& folder);
bool EndsWithSeparator(const QString& folder);

}  // namespace DialogHooks
