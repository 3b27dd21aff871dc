#pragma once
// Edit-menu commands on finished jobs that need no dialog of their own: copy a job's URL, open
// its file or folder, copy its file to another folder, select all or invert the selection.

#include <QList>
#include <QString>
#include <functional>

#include "store/LocalPath.h"

class QTreeWidget;
class QWidget;

namespace EditCommands {

using LocalPath::FileNamePart;
using LocalPath::FolderPart;
// Target of Output File To: the folder, a "/" unless it ends with one, and the file name part.
QString OutputTarget(const QString& folder, const QString& localFile);

// Replaces the clipboard's text by job i's URL.
void CopyUrl(int job);
// Opens job i's file with the desktop's program for it, or its folder in the file manager.
void OpenFile(int job);
void OpenFolder(int job);

// Asks whether an existing file may be overwritten; tests replace it.
using OverwriteQuestion = std::function<bool(QWidget* parent, const QString& target)>;
void SetOverwriteQuestion(OverwriteQuestion question);
// Copies job i's file into folder. An existing file of that name is replaced only when the
// user answers Yes to "File existed! Do you want to overwrite it?". The source stays. Returns
// false when nothing was copied (the reason goes to the user).
bool OutputFileTo(QWidget* parent, int job, const QString& folder);

// Edit > "&Rename...": asks for a new name for job i's file (a dialog holding the current name)
// and renames the file; a refused name is told to the user. done runs after a rename.
void RenameFile(QWidget* parent, int job, std::function<void()> done);

// Selects every row, or flips every row's selection.
void SelectAll(QTreeWidget* list);
void InvertSelection(QTreeWidget* list);

}  // namespace EditCommands
