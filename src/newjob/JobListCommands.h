#pragma once
// Job lists and local files in and out of the program: File > "&Export Download List...",
// "&Import Download List...", "Import &Previous File...", "Import Previous &Batch File..." and
// the same entries of the tree's pop-up menu. Dialogs open window-modal without waiting and
// delete themselves when closed.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "store/CategoryTree.h"

class CategoryView;
class QDialog;
class QWidget;

class JobListCommands : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Adds a new job's row to the now-downloading list (and starts it when a slot is free).
        std::function<void(int job)> addToNowDownList;
        // The unfinished jobs of the now-downloading list, in row order.
        std::function<QList<int>()> nowDownJobs;
        // Opens the new-category dialog over parent.
        std::function<QDialog*(QWidget* parent)> newCategory;
        // Writes the job database (once per import).
        std::function<void()> saveJobDb;
    };

    // What an import of a list did.
    struct ListImport {
        QList<int> added;    // new jobs, in line order
        int notUrls = 0;     // lines that cannot be split as a URL
        int duplicates = 0;  // URLs a job already has (or an earlier line of the list)
        QString error;       // the file could not be read
    };

    JobListCommands(CategoryTree* tree, CategoryView* view, QWidget* dialogParent,
                    QObject* parent = nullptr);
    void SetHooks(Hooks h) { hooks = std::move(h); }

    // The jobs an export writes for the node shown: in the now-downloading view its rows, under
    // a history filter the jobs it lists, under any other node the jobs filed there.
    QList<int> ExportedJobs() const;
    // The category imports go into: the node shown when it is a category, else "Downloaded".
    QString TargetCategory() const;

    // The save dialog "Save File"; the chosen file gets the list. Returns the dialog.
    QDialog* Export();
    // The open dialog for a list; the chosen file's URLs become download jobs.
    QDialog* ImportList();
    ListImport ImportListFrom(const QString& path);
    QDialog* ImportFile();
    QDialog* ImportBatch();

    // The path last chosen in the export dialog (its folder starts the next one).
    const QString& LastExportPath() const { return lastExportPath; }

signals:
    // Jobs were added or a dialog closed: the window refreshes its lists and tool bar.
    void CommandDone();

private:
    void Save();

    CategoryTree* tree;
    CategoryView* view;
    QWidget* dialogParent;
    Hooks hooks;
    QString lastExportPath;
    QString lastImportPath;
};
