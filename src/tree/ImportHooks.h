#pragma once
// What the import dialogs need from the main window. Every hook may be left empty; the dialogs
// then skip that step (saveJobDb: the job database is saved to JobDbFile).

#include <QString>
#include <functional>

class QDialog;
class QWidget;

struct ImportHooks {
    // Opens the new-category dialog over parent (it may return before the dialog closes).
    std::function<QDialog*(QWidget* parent)> newCategory;
    // Writes the job database once, after the jobs of an import have been added.
    std::function<void()> saveJobDb;
};
