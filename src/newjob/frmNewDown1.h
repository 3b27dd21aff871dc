#pragma once
// "Add New Job": the dialog every new download, batch and page search is described in. Its
// owner (NewJobLauncher) creates it when first needed, and it is deleted when it closes; what
// stays for the next opening (the shared URL, the depth choice, the mode and the main tab key)
// is in the owner's NewJobMemory.

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include "newjob/NewJobHooks.h"
#include "newjob/NewJobMemory.h"
#include "newjob/NewJobMode.h"

class CategoryTree;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;
class QTreeWidget;
class QWidget;
class SaveOptionsBox;
struct SaveOptions;

class frmNewDown1 : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog and runs its load step: boxes filled, the tab of kept.Mode selected.
    // It is not shown. kept (what stays between openings) must outlive the dialog.
    frmNewDown1(QWidget* parent, NewJobMemory& kept, const NewJobHooks& mainHooks,
                CategoryTree* categoryTree);

    // The result (finished) of a dialog closed by Escape or by its window's close button: neither
    // OK (Accepted) nor Cancel (Rejected) answered it, so a hand-off it shows is kept.
    static constexpr int Unanswered = 2;

    // Puts a handed-in URL, referrer and comment into the single-file boxes (and the shared URL).
    void Fill(const QString& url, const QString& referer, const QString& comment);

    // The records of ModeSingleFile, ModePageSearch and ModeBatch from the current boxes; OK
    // calls them.
    void AddNewJob();
    void AddNewSearch();
    void AddBatFile();
    // ModePageLinks: one download job per checked row of ListView1.
    void AddPageLinks();

    // Main tab and sub-tab selection by key ("OneFile", "Search", "BatFile", "FromIe";
    // "Gernal", "Search", "Url", "Select", "Save", "Option").
    void SelectMainTab(const QString& key);
    void SelectSubTab(const QString& key);
    // The main tab of a mode, when the dialog has it.
    void SelectModeTab(NewJobModeValue mode);

    // Refill both category boxes (they also follow the tree's Changed signal) and both proxy
    // boxes (after the proxy list changed), keeping the chosen entries where they remain.
    void FillClassCombos();
    void FillProxyCombos();

    ~frmNewDown1() override;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    QWidget* BuildGernal();
    QWidget* BuildSave();
    QWidget* BuildSearch();
    QWidget* BuildUrl();
    QWidget* BuildSelect();
    void LoadStep();
    void OnMainTab(int index);
    void OnSubTab(int index);
    void FocusModeUrlBox();
    void TakeSharedUrl(QLineEdit* box);
    SaveOptions SaveBoxes() const;
    void NewJobOk();
    void Generate();
    void ChooseRange(bool numbers);
    void StartLinkFetch();
    void ShowLinks(const QStringList& links, const QString& error);
    void Refused(const QString& text, QWidget* focus);
    // The problem of an address and the address itself in a message; the box keeps the focus
    // with its text selected.
    void RefusedUrl(const QString& problem, const QString& url, QLineEdit* box);
    void SelectWhole(QLineEdit* box);
    void SelectPastedUrl(QLineEdit* box);

public:
    // Main and sub tabs, the panels below them.
    QTabBar* TabStrip1 = nullptr;
    QTabBar* Tab2 = nullptr;
    QStackedWidget* panels = nullptr;
    QWidget* picGernal = nullptr;
    QWidget* picSave = nullptr;
    QWidget* picSearch = nullptr;
    QWidget* picUrl = nullptr;
    QWidget* picSelect = nullptr;
    QWidget* picOption = nullptr;

    // The two save-option boxes: the single-file panel's and the one the other modes share. The
    // pointers below them are their boxes.
    SaveOptionsBox* saveBox1 = nullptr;
    SaveOptionsBox* saveBox = nullptr;

    // Single file.
    QLineEdit* txtUrl = nullptr;
    QLineEdit* txtRef = nullptr;
    QLineEdit* txtRename = nullptr;
    QPushButton* Command1 = nullptr;
    QLineEdit* txtComment = nullptr;
    QLineEdit* txtSaveAs1 = nullptr;
    QPushButton* cmdDlg1 = nullptr;
    QComboBox* cmbClass1 = nullptr;
    QPushButton* cmdClass1 = nullptr;
    QComboBox* cmbNum1 = nullptr;
    QComboBox* cmbUserAgent1 = nullptr;
    QComboBox* cmbProxy1 = nullptr;
    QPushButton* cmdProxy1 = nullptr;
    QCheckBox* chkLoginServer1 = nullptr;
    QLineEdit* txtUsername1 = nullptr;
    QLineEdit* txtPassword1 = nullptr;

    // Save options (search, batch, page links).
    QLineEdit* txtSaveAs = nullptr;
    QPushButton* cmdDlg = nullptr;
    QComboBox* cmbClass = nullptr;
    QPushButton* cmdClass = nullptr;
    QComboBox* cmbNums = nullptr;
    QComboBox* cmbUserAgent = nullptr;
    QComboBox* cmbProxy = nullptr;
    QPushButton* cmdProxy = nullptr;
    QCheckBox* chkLoginServer = nullptr;
    QLineEdit* txtUserName = nullptr;
    QLineEdit* txtPassWord = nullptr;

    // Page search.
    QLineEdit* txtSearchUrl = nullptr;
    QRadioButton* OpSearch1 = nullptr;
    QRadioButton* OpSearch2 = nullptr;

    // Batch.
    QLineEdit* txtBatUrl = nullptr;
    QRadioButton* OpNumber = nullptr;
    QLineEdit* txtN1 = nullptr;
    QLineEdit* txtN2 = nullptr;
    QLineEdit* txtN3 = nullptr;
    QRadioButton* OpAlp = nullptr;
    QLineEdit* txtA1 = nullptr;
    QLineEdit* txtA2 = nullptr;
    QPushButton* cmdCreateUrl = nullptr;
    QListWidget* List1 = nullptr;
    QPushButton* cmdListDel = nullptr;
    QPushButton* cmdListDelAll = nullptr;

    // Page links.
    QTreeWidget* ListView1 = nullptr;
    QLabel* lblSelect = nullptr;

    // Below the tabs.
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QPushButton* cmdNewJobOk = nullptr;
    QPushButton* cmdCancle = nullptr;

private:
    NewJobMemory& memory;
    NewJobHooks hooks;
    QPointer<CategoryTree> tree;
    bool linksFetched = false;
    bool activatedOnce = false;
};
