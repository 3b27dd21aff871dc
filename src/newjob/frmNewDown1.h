#pragma once
// "Add New Job": the dialog every new download, batch and page search is described in. It is
// created when first needed, shown modally and deleted when it closes; SharedUrl, the depth
// choice and the current main tab key stay for the next opening.

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include "newjob/NewJobHooks.h"
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
    // The last URL typed into a URL box or handed in by another part of the program. An empty
    // URL box takes it over when it gets the focus. OK empties it; Cancel does not.
    static QString SharedUrl;
    // 0 "Only search current page", 1 "Search current page and its links".
    static int16_t DepthChoice;
    // Key of the current main tab ("OneFile", "Search", "BatFile", "FromIe").
    static QString CurrentTabKey;

    // Sets what every opening uses: the parent window, the main window's hooks and the category
    // tree. Call once before the first Load or Open.
    static void SetContext(QWidget* parent, const NewJobHooks& hooks, CategoryTree* tree);

    // The dialog, created (load step: boxes filled, tab of NewJobMode selected) but not shown
    // when it does not exist yet. Other parts fill txtUrl, txtRef, txtComment through it.
    static frmNewDown1* Load();
    // The dialog when it exists, else nullptr.
    static frmNewDown1* Loaded();
    // Shows the dialog application-modal in the mode NewJobMode holds (loading it first when
    // needed) and returns at once; the dialog closes itself. An open dialog is brought forward.
    static frmNewDown1* ShowDialog();
    // NewJobMode = mode, then ShowDialog. The menu items, tool bar buttons and tray entries call
    // this with 1 ("AddNewJob"), 3 ("AddNewJobB") or 2 ("AddSearch").
    static frmNewDown1* Open(int mode);
    static frmNewDown1* Open(int mode, QWidget* parent, const NewJobHooks& hooks,
                             CategoryTree& tree);

    // The result (finished) of a dialog closed by Escape or by its window's close button: neither
    // OK (Accepted) nor Cancel (Rejected) answered it, so a hand-off it shows is kept.
    static constexpr int Unanswered = 2;

    // Puts a handed-in URL, referrer and comment into the single-file boxes (and SharedUrl).
    void Fill(const QString& url, const QString& referer, const QString& comment);

    // The records of modes 1, 2 and 3 from the current boxes; OK calls them.
    void AddNewJob();
    void AddNewSearch();
    void AddBatFile();
    // Mode 4: one download job per checked row of ListView1.
    void AddPageLinks();

    // Main tab and sub-tab selection by key ("OneFile", "Search", "BatFile", "FromIe";
    // "Gernal", "Search", "Url", "Select", "Save", "Option").
    void SelectMainTab(const QString& key);
    void SelectSubTab(const QString& key);

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
    explicit frmNewDown1(QWidget* parent);

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
    bool linksFetched = false;
    bool activatedOnce = false;
};
