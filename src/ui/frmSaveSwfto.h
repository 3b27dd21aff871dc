#pragma once
// "Save Flash": the movies the browser window finder found in a page. A movie the browser holds
// in its cache is previewed and copied from there into a category folder and recorded as a
// complete job; any other movie is handed to the new-job dialog. Non-modal; saved rows leave the
// list one by one.

#include <QDialog>
#include <functional>

class CategoryTree;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTreeWidget;
class QTreeWidgetItem;
class flash1;

class frmSaveSwfto : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // LookupCacheEntry: done(found, local file of the entry) runs once, later or at once.
        std::function<void(const QString& url,
                           std::function<void(bool found, const QString& localFile)> done)>
            lookupCacheEntry;
        // The new-category dialog, modal.
        std::function<void(QWidget* parent)> newCategory;
        std::function<void()> saveJobDb;
        // The new-job dialog for one file (opened by the hand-off timer).
        std::function<void(const QString& url, const QString& comment, const QString& referer)>
            newJob;
    };

    frmSaveSwfto(CategoryTree* tree, Hooks hooks, QWidget* parent = nullptr);

    // The load step's list: the count label and one row per movie, in order. pageUrl is the
    // scanned page (the referrer of movies handed to the new-job dialog).
    void TakeMovies(const QStringList& movies, const QString& pageUrl);
    // "Save Flash" for the selected row. A movie to be downloaded whose address has a complete
    // job already is downloaded again only when the user says so.
    void Save();
    // The complete job downloaded from this address (the last one), or 0.
    static int CompleteJobOf(const QString& url);

    QTreeWidget* ListView1 = nullptr;
    QLabel* lblCount = nullptr;
    flash1* myFlash1 = nullptr;
    QSlider* Slider1 = nullptr;
    QLabel* lblCache = nullptr;  // under the preview: why a movie is not shown
    QLineEdit* txtRename = nullptr;
    QPushButton* Command1 = nullptr;
    QLineEdit* txtComment = nullptr;
    QLineEdit* txtSaveAs1 = nullptr;
    QPushButton* cmdDlg1 = nullptr;
    QComboBox* cmbClass1 = nullptr;
    QPushButton* cmdClass1 = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    // What "Save Flash" was pressed with.
    struct Choice {
        QString name, folder, classKey, comment;
    };
    void RowChosen(QTreeWidgetItem* item);
    void SaveCached(QTreeWidgetItem* item, const QString& url, const QString& localFile,
                    const Choice& choice);
    void AskDownload(QTreeWidgetItem* item, const QString& url, const QString& comment);
    void CopyAndRecord(QTreeWidgetItem* item, const QString& url, const QString& localFile,
                       const QString& target, const Choice& choice);
    void RemoveRow(QTreeWidgetItem* item);
    void FillClasses();
    void Tell(const QString& text, bool warning = false);

    CategoryTree* tree;
    Hooks hooks;
    QString pageUrl;
    // Lookups answered after the list changed must not act on a row that is gone.
    int generation = 0;
    // The row the preview was last asked for, and in which list.
    QString shownUrl;
    int shownGeneration = -1;
};
