#include "newjob/frmNewDown1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "newjob/BatchGenerator.h"
#include "newjob/BatchKeyFilter.h"
#include "newjob/NewJobBuilder.h"
#include "newjob/NewJobTabs.h"
#include "newjob/PageLinkRows.h"
#include "newjob/SaveOptionsBox.h"
#include "newjob/UrlFileName.h"
#include "pages/SearchRecord.h"
#include "pages/clsPageLinks.h"
#include "store/CategoryTree.h"
#include "store/JobTable.h"
#include "store/ProxyList.h"
#include "store/Settings.h"
#include "store/UserMessage.h"
#include "tree/NamedWidgets.h"
#include "tree/frmClassNew.h"
#include "widgets/DialogHooks.h"
#include "widgets/Icons.h"
#include "widgets/ProxyCombo.h"
#include "widgets/TreeFill.h"

namespace {

const QString kTitle = QStringLiteral("Quorvanta");

using MainTab = NewJobTabs::MainTab;

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace

frmNewDown1::frmNewDown1(QWidget* parent, NewJobMemory& kept, const NewJobHooks& mainHooks,
                         CategoryTree* categoryTree)
    : QDialog(parent), memory(kept), hooks(mainHooks), tree(categoryTree) {
    setObjectName(QStringLiteral("frmNewDown1"));
    setWindowTitle(QStringLiteral("Add New Job"));
    setWindowIcon(Icons::Get(QStringLiteral("AddNewJob")));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);

    TabStrip1 = Named(new QTabBar, "TabStrip1");
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(false);
    for (const MainTab& tab : NewJobTabs::All()) {
        if (tab.mode == ModePageLinks) continue;  // added by the load step when asked for
        const int index = TabStrip1->addTab(tab.caption);
        TabStrip1->setTabData(index, tab.key);
    }

    Tab2 = Named(new QTabBar, "Tab2");
    Tab2->setExpanding(false);
    Tab2->setShape(QTabBar::RoundedNorth);
    Tab2->setDocumentMode(true);

    panels = Named(new QStackedWidget, "panels");
    picGernal = BuildGernal();
    picSave = BuildSave();
    picSearch = BuildSearch();
    picUrl = BuildUrl();
    picSelect = BuildSelect();
    picOption = Named(new QWidget, "picOption");
    for (QWidget* panel : {picGernal, picSave, picSearch, picUrl, picSelect, picOption})
        panels->addWidget(panel);
    panels->setCurrentWidget(picOption);

    auto* frame = Named(new QFrame, "fraTabs");
    frame->setFrameShape(QFrame::StyledPanel);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(8, 6, 8, 8);
    frameLayout->addWidget(Tab2);
    frameLayout->addWidget(panels, 1);

    Option2 = Named(new QRadioButton(QStringLiteral("Immediate")), "Option2");
    Option3 = Named(new QRadioButton(QStringLiteral("Manual")), "Option3");
    Option2->setChecked(true);
    auto* startGroup = new QButtonGroup(this);
    startGroup->addButton(Option2);
    startGroup->addButton(Option3);
    cmdNewJobOk = Named(new QPushButton(QStringLiteral("OK")), "cmdNewJobOk");
    cmdNewJobOk->setDefault(true);
    cmdCancle = NamedWidgets::Button(QStringLiteral("Cancel"), "cmdCancle");
    for (QPushButton* button : {cmdNewJobOk, cmdCancle}) button->setMinimumWidth(88);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(NamedWidgets::Caption(QStringLiteral("Start:")));
    bottom->addWidget(Option2);
    bottom->addWidget(Option3);
    bottom->addStretch(1);
    bottom->addWidget(cmdNewJobOk);
    bottom->addWidget(cmdCancle);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(TabStrip1);
    layout->addWidget(frame, 1);
    layout->addSpacing(10);
    layout->addLayout(bottom);

    connect(TabStrip1, &QTabBar::currentChanged, this, &frmNewDown1::OnMainTab);
    connect(Tab2, &QTabBar::currentChanged, this, &frmNewDown1::OnSubTab);
    connect(cmdNewJobOk, &QPushButton::clicked, this, &frmNewDown1::NewJobOk);
    connect(cmdCancle, &QPushButton::clicked, this, &QDialog::reject);
    if (tree) connect(tree, &CategoryTree::Changed, this, &frmNewDown1::FillClassCombos);
    for (QLineEdit* box : {txtUrl, txtSearchUrl, txtBatUrl}) SelectPastedUrl(box);

    resize(560, 470);
    LoadStep();
}

frmNewDown1::~frmNewDown1() = default;

// ---------------------------------------------------------------------------------------------
// Panels

QWidget* frmNewDown1::BuildGernal() {
    auto* panel = Named(new QWidget, "picGernal");
    txtUrl = NamedWidgets::LineEdit("txtUrl");
    txtRef = NamedWidgets::LineEdit("txtRef");
    txtRename = NamedWidgets::LineEdit("txtRename");
    Command1 = NamedWidgets::Button(QStringLiteral("<="), "Command1");
    Command1->setToolTip(QStringLiteral("Take the file name from the url"));
    txtComment = NamedWidgets::LineEdit("txtComment");
    saveBox1 = new SaveOptionsBox(
        {"txtSaveAs1", "cmdDlg1", "cmbClass1", "cmdClass1", "cmbNum1", "cmbUserAgent1", "cmbProxy1",
         "cmdProxy1", "chkLoginServer1", "txtUsername1", "txtPassword1"},
        SaveOptionsBox::Compact);
    txtSaveAs1 = saveBox1->saveAs;
    cmdDlg1 = saveBox1->browse;
    cmbClass1 = saveBox1->category;
    cmdClass1 = saveBox1->newCategory;
    cmbNum1 = saveBox1->parts;
    cmbUserAgent1 = saveBox1->userAgent;
    cmbProxy1 = saveBox1->proxy;
    cmdProxy1 = saveBox1->proxyButton;
    chkLoginServer1 = saveBox1->login;
    txtUsername1 = saveBox1->user;
    txtPassword1 = saveBox1->password;

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 10, 4, 4);
    grid->setColumnStretch(1, 1);
    int row = 0;
    grid->addWidget(NamedWidgets::Caption(QStringLiteral("Url:"), txtUrl), row, 0);
    grid->addWidget(txtUrl, row++, 1, 1, 4);
    grid->addWidget(NamedWidgets::Caption(QStringLiteral("Refer:"), txtRef), row, 0);
    grid->addWidget(txtRef, row++, 1, 1, 4);
    grid->addWidget(NamedWidgets::Caption(QStringLiteral("Rename:"), txtRename), row, 0);
    grid->addWidget(txtRename, row, 1, 1, 3);
    grid->addWidget(Command1, row++, 4);
    grid->addWidget(NamedWidgets::Caption(QStringLiteral("Comment:"), txtComment), row, 0);
    grid->addWidget(txtComment, row++, 1, 1, 4);
    grid->addWidget(saveBox1, row++, 0, 1, 5);
    grid->setRowStretch(row, 1);

    connect(txtUrl, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) memory.SharedUrl = text;
        txtRename->setText(FileNameNoQuery(text));
    });
    connect(Command1, &QPushButton::clicked, this,
            [this] { txtRename->setText(FileNameNoQuery(txtUrl->text())); });
    txtUrl->installEventFilter(this);
    return panel;
}

QWidget* frmNewDown1::BuildSave() {
    auto* panel = Named(new QWidget, "picSave");
    saveBox = new SaveOptionsBox(
        {"txtSaveAs", "cmdDlg", "cmbClass", "cmdClass", "cmbNums", "cmbUserAgent", "cmbProxy",
         "cmdProxy", "chkLoginServer", "txtUserName", "txtPassWord"},
        SaveOptionsBox::Full);
    txtSaveAs = saveBox->saveAs;
    cmdDlg = saveBox->browse;
    cmbClass = saveBox->category;
    cmdClass = saveBox->newCategory;
    cmbNums = saveBox->parts;
    cmbUserAgent = saveBox->userAgent;
    cmbProxy = saveBox->proxy;
    cmdProxy = saveBox->proxyButton;
    chkLoginServer = saveBox->login;
    txtUserName = saveBox->user;
    txtPassWord = saveBox->password;

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 10, 4, 4);
    grid->setColumnStretch(1, 1);
    int row = 0;
    auto* heading = NamedWidgets::Caption(QStringLiteral("Please Select Save Option . "));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    grid->addWidget(heading, row++, 0, 1, 3);
    grid->addWidget(saveBox, row++, 0, 1, 3);
    grid->setRowStretch(row, 1);

    auto proxy = [this] {
        OptionPage = 2;
        if (hooks.openOptions) hooks.openOptions();
        FillProxyCombos();
    };
    auto category = [this](SaveOptionsBox* box) {
        if (hooks.openNewCategory) {
            hooks.openNewCategory();
            FillClassCombos();
            return;
        }
        if (!tree) return;
        // Without a hook: the new-category dialog below the category chosen here; the new
        // category becomes the choice of the box that asked for it.
        auto* dialog =
            new frmClassNew(tree, box->category->currentData(TreeRoles::Key).toString(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::accepted, this, [this, dialog, box] {
            FillClassCombos();
            const int index = FindComboKey(box->category, dialog->CreatedKey());
            if (index < 0) return;
            box->category->setCurrentIndex(index);
            box->ApplyClass();
        });
        dialog->open();
    };
    // The single-file panel's box is built first; both are wired here.
    for (SaveOptionsBox* box : {saveBox1, saveBox}) {
        connect(box, &SaveOptionsBox::ProxyAsked, this, proxy);
        connect(box, &SaveOptionsBox::CategoryAsked, this, [box, category] { category(box); });
    }
    return panel;
}

QWidget* frmNewDown1::BuildSearch() {
    auto* panel = Named(new QWidget, "picSearch");
    txtSearchUrl = NamedWidgets::LineEdit("txtSearchUrl");
    OpSearch1 = Named(new QRadioButton(QStringLiteral("Only search current page")), "OpSearch1");
    OpSearch2 =
        Named(new QRadioButton(QStringLiteral("Search current page and its links")), "OpSearch2");
    auto* group = new QButtonGroup(panel);
    group->addButton(OpSearch1);
    group->addButton(OpSearch2);

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 10, 4, 4);
    grid->setColumnStretch(1, 1);
    grid->addWidget(NamedWidgets::Caption(QStringLiteral("Url:"), txtSearchUrl), 0, 0);
    grid->addWidget(txtSearchUrl, 0, 1);
    auto* options = new QGroupBox(QStringLiteral("Search Option:"));
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(OpSearch1);
    optionsLayout->addWidget(OpSearch2);
    grid->addWidget(options, 1, 0, 1, 2);
    grid->setRowStretch(2, 1);

    connect(txtSearchUrl, &QLineEdit::textChanged, this,
            [this](const QString& text) { memory.SharedUrl = text; });
    // The choice counts however it is made (mouse, keyboard, a screen reader's action).
    connect(OpSearch1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) memory.DepthChoice = 0;
    });
    connect(OpSearch2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) memory.DepthChoice = 1;
    });
    txtSearchUrl->installEventFilter(this);
    return panel;
}

QWidget* frmNewDown1::BuildUrl() {
    auto* panel = Named(new QWidget, "picUrl");
    txtBatUrl = NamedWidgets::LineEdit("txtBatUrl");
    OpNumber = Named(new QRadioButton(QStringLiteral("Digit")), "OpNumber");
    OpAlp = Named(new QRadioButton(QStringLiteral("Denominator")), "OpAlp");
    auto* group = new QButtonGroup(panel);
    group->addButton(OpNumber);
    group->addButton(OpAlp);
    txtN1 = NamedWidgets::LineEdit("txtN1");
    txtN2 = NamedWidgets::LineEdit("txtN2");
    txtN3 = NamedWidgets::LineEdit("txtN3");
    txtA1 = NamedWidgets::LineEdit("txtA1");
    txtA2 = NamedWidgets::LineEdit("txtA2");
    txtN1->setText(QStringLiteral("0"));
    txtN2->setText(QStringLiteral("9"));
    txtN3->setText(QStringLiteral("1"));
    txtA1->setText(QStringLiteral("a"));
    txtA2->setText(QStringLiteral("z"));
    for (QLineEdit* box : {txtN1, txtN2}) {
        BatchKeyFilter::Install(box, BatchKeyFilter::Digits);
        box->setMaximumWidth(70);
    }
    BatchKeyFilter::Install(txtN3, BatchKeyFilter::OneDigit);
    txtN3->setMaximumWidth(40);
    for (QLineEdit* box : {txtA1, txtA2}) {
        BatchKeyFilter::Install(box, BatchKeyFilter::OneLetter);
        box->setMaximumWidth(40);
        connect(box, &QLineEdit::textChanged, box, [box](const QString& text) {
            const QString lower = text.toLower();
            if (lower != text) box->setText(lower);
        });
    }
    cmdCreateUrl = NamedWidgets::Button(QStringLiteral("&Generate"), "cmdCreateUrl");
    List1 = Named(new QListWidget, "List1");
    cmdListDel = NamedWidgets::Button(QStringLiteral("&Delete"), "cmdListDel");
    cmdListDelAll = NamedWidgets::Button(QStringLiteral("&Clear"), "cmdListDelAll");
    cmdCreateUrl->setEnabled(false);
    cmdListDel->setEnabled(false);
    cmdListDelAll->setEnabled(false);

    auto* hint = Named(new QLabel(QStringLiteral("For example: http://www.example.com/a*.zip")),
                       "lblBatHint");
    hint->setEnabled(false);

    auto* ranges = new QGroupBox(QStringLiteral("Range"));
    auto* rangeGrid = new QGridLayout(ranges);
    rangeGrid->addWidget(OpNumber, 0, 0);
    rangeGrid->addWidget(NamedWidgets::Caption(QStringLiteral("From:"), txtN1), 0, 1);
    rangeGrid->addWidget(txtN1, 0, 2);
    rangeGrid->addWidget(NamedWidgets::Caption(QStringLiteral("To:"), txtN2), 0, 3);
    rangeGrid->addWidget(txtN2, 0, 4);
    rangeGrid->addWidget(NamedWidgets::Caption(QStringLiteral("Digits count"), txtN3), 0, 5);
    rangeGrid->addWidget(txtN3, 0, 6);
    rangeGrid->addWidget(OpAlp, 1, 0);
    rangeGrid->addWidget(NamedWidgets::Caption(QStringLiteral("From:"), txtA1), 1, 1);
    rangeGrid->addWidget(txtA1, 1, 2, Qt::AlignLeft);
    rangeGrid->addWidget(NamedWidgets::Caption(QStringLiteral("To:"), txtA2), 1, 3);
    rangeGrid->addWidget(txtA2, 1, 4, Qt::AlignLeft);
    rangeGrid->setColumnStretch(7, 1);
    rangeGrid->addWidget(cmdCreateUrl, 0, 8, 2, 1, Qt::AlignVCenter);

    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(cmdListDel);
    listButtons->addWidget(cmdListDelAll);
    listButtons->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(List1, 1);
    listRow->addLayout(listButtons);

    auto* layout = new QGridLayout(panel);
    layout->setContentsMargins(4, 10, 4, 4);
    layout->setColumnStretch(1, 1);
    layout->addWidget(NamedWidgets::Caption(QStringLiteral("Url:"), txtBatUrl), 0, 0);
    layout->addWidget(txtBatUrl, 0, 1);
    layout->addWidget(hint, 1, 1);
    layout->addWidget(ranges, 2, 0, 1, 2);
    layout->addLayout(listRow, 3, 0, 1, 2);
    layout->setRowStretch(3, 1);

    connect(txtBatUrl, &QLineEdit::textChanged, this, [this](const QString& text) {
        memory.SharedUrl = text;
        cmdCreateUrl->setEnabled(text.contains(QLatin1Char('*')));
    });
    connect(OpNumber, &QRadioButton::toggled, this, [this](bool on) { ChooseRange(on); });
    connect(cmdCreateUrl, &QPushButton::clicked, this, &frmNewDown1::Generate);
    connect(List1, &QListWidget::itemSelectionChanged, this, [this] {
        if (List1->count() >= 1 && !List1->selectedItems().isEmpty()) cmdListDel->setEnabled(true);
    });
    connect(cmdListDel, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = List1->currentItem(); item && item->isSelected())
            delete List1->takeItem(List1->row(item));
        cmdListDel->setEnabled(false);
    });
    connect(cmdListDelAll, &QPushButton::clicked, this, [this] {
        cmdListDelAll->setEnabled(false);
        cmdListDel->setEnabled(false);
        List1->clear();
    });
    txtBatUrl->installEventFilter(this);
    OpNumber->setChecked(true);
    ChooseRange(true);
    return panel;
}

QWidget* frmNewDown1::BuildSelect() {
    auto* panel = Named(new QWidget, "picSelect");
    lblSelect = Named(new QLabel, "lblSelect");
    lblSelect->setWordWrap(true);
    ListView1 = Named(new QTreeWidget, "ListView1");
    ListView1->setHeaderLabels({QStringLiteral("FileName"), QStringLiteral("Comment")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->header()->resizeSection(0, 180);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 10, 4, 4);
    layout->addWidget(lblSelect);
    layout->addWidget(ListView1, 1);
    return panel;
}

// ---------------------------------------------------------------------------------------------
// Load step, tabs and focus

void frmNewDown1::LoadStep() {
    FillClassCombos();
    FillProxyCombos();

    cmbNum1->setCurrentText(QString::number(Settings.Parts));
    cmbNums->setCurrentText(QString::number(Settings.Parts));
    cmbUserAgent1->setCurrentText(Settings.Useragent);
    cmbUserAgent->setCurrentText(Settings.Useragent);

    saveBox1->ApplyClass();
    saveBox->ApplyClass();

    // The remembered depth choice shows in the option buttons it came from.
    (memory.DepthChoice == 1 ? OpSearch2 : OpSearch1)->setChecked(true);

    if (memory.Mode == ModePageLinks) {
        const MainTab* tab = NewJobTabs::Find(QStringLiteral("FromIe"));
        const int index = TabStrip1->addTab(tab->caption);
        TabStrip1->setTabData(index, tab->key);
    }
    if (memory.Mode < ModeSingleFile || memory.Mode > ModePageLinks) memory.Mode = ModeSingleFile;

    // The tabs are new at every opening: build the sub-tabs even when the remembered key is the
    // one selected now.
    memory.CurrentTabKey.clear();
    {
        const QSignalBlocker block(TabStrip1);
        TabStrip1->setCurrentIndex(memory.Mode - 1);
    }
    OnMainTab(memory.Mode - 1);

    cmbNums->setCurrentText(QStringLiteral("5"));

    if (memory.SharedUrl.isEmpty())
        memory.SharedUrl = UrlFromClipboardText(QApplication::clipboard()->text());
}

void frmNewDown1::FillClassCombos() {
    if (!tree) return;
    saveBox1->RefillClasses(*tree);
    saveBox->RefillClasses(*tree);
}

void frmNewDown1::FillProxyCombos() {
    saveBox1->RefillProxies();
    saveBox->RefillProxies();
}

void frmNewDown1::OnMainTab(int index) {
    if (index < 0) return;
    const QString key = TabStrip1->tabData(index).toString();
    if (key == memory.CurrentTabKey) return;
    const MainTab* tab = NewJobTabs::Find(key);
    if (!tab) return;
    {
        const QSignalBlocker block(Tab2);
        while (Tab2->count() > 0) Tab2->removeTab(0);
        for (const auto& [caption, subKey] : tab->subTabs) {
            const int subIndex = Tab2->addTab(caption);
            Tab2->setTabData(subIndex, subKey);
        }
        Tab2->setCurrentIndex(0);
    }
    memory.Mode = tab->mode;
    memory.CurrentTabKey = key;
    OnSubTab(0);
}

void frmNewDown1::OnSubTab(int index) {
    if (index < 0) return;
    SelectSubTab(Tab2->tabData(index).toString());
}

void frmNewDown1::SelectMainTab(const QString& key) {
    for (int i = 0; i < TabStrip1->count(); ++i)
        if (TabStrip1->tabData(i).toString() == key) TabStrip1->setCurrentIndex(i);
}

void frmNewDown1::SelectModeTab(NewJobModeValue mode) {
    if (const MainTab* tab = NewJobTabs::OfMode(mode)) SelectMainTab(tab->key);
}

void frmNewDown1::SelectSubTab(const QString& key) {
    for (int i = 0; i < Tab2->count(); ++i)
        if (Tab2->tabData(i).toString() == key && Tab2->currentIndex() != i) {
            const QSignalBlocker block(Tab2);
            Tab2->setCurrentIndex(i);
        }
    static const QList<QPair<QString, QWidget * frmNewDown1::*>> panelOfKey{
        {QStringLiteral("Gernal"), &frmNewDown1::picGernal},
        {QStringLiteral("Option"), &frmNewDown1::picOption},
        {QStringLiteral("Select"), &frmNewDown1::picSelect},
        {QStringLiteral("Search"), &frmNewDown1::picSearch},
        {QStringLiteral("Url"), &frmNewDown1::picUrl},
        {QStringLiteral("Save"), &frmNewDown1::picSave},
    };
    for (const auto& [panelKey, member] : panelOfKey)
        if (panelKey == key) panels->setCurrentWidget(this->*member);
    if (key == QLatin1String("Gernal")) txtUrl->setFocus();
    if (key == QLatin1String("Search")) txtSearchUrl->setFocus();
    if (key == QLatin1String("Url")) txtBatUrl->setFocus();
}

void frmNewDown1::FocusModeUrlBox() {
    QLineEdit* box = nullptr;
    switch (memory.Mode) {
        case ModeSingleFile:
            box = txtUrl;
            break;
        case ModePageSearch:
            box = txtSearchUrl;
            break;
        case ModeBatch:
            box = txtBatUrl;
            break;
        default:
            break;
    }
    if (!box || !box->isVisible() || !box->isEnabled()) return;
    if (box->hasFocus())
        TakeSharedUrl(box);
    else
        box->setFocus(Qt::OtherFocusReason);
}

void frmNewDown1::TakeSharedUrl(QLineEdit* box) {
    if (memory.SharedUrl.isEmpty() || box->text() == memory.SharedUrl) return;
    box->setText(memory.SharedUrl);
    // Taken from elsewhere (another box, the clipboard, a hand-off): typing replaces it.
    SelectWhole(box);
}

bool frmNewDown1::event(QEvent* e) {
    // The first activation after showing puts the focus into the mode's URL box; coming back
    // from another window leaves the focus where the user left it.
    if (e->type() == QEvent::WindowActivate && !activatedOnce) {
        activatedOnce = true;
        FocusModeUrlBox();
    }
    const bool escape =
        e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->matches(QKeySequence::Cancel);
    if (escape || (e->type() == QEvent::Close && isVisible())) {
        done(Unanswered);
        if (escape) return true;
    }
    return QDialog::event(e);
}

bool frmNewDown1::eventFilter(QObject* watched, QEvent* e) {
    // A box the user (or a tab change) moves into takes the shared URL; focus that only comes back
    // with the window or after a pop-up is not a new visit.
    if (e->type() == QEvent::FocusIn &&
        (watched == txtUrl || watched == txtSearchUrl || watched == txtBatUrl)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            TakeSharedUrl(static_cast<QLineEdit*>(watched));
    }
    return QDialog::eventFilter(watched, e);
}

void frmNewDown1::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    activatedOnce = false;
    if (memory.Mode == ModePageLinks && !linksFetched) StartLinkFetch();
}

// ---------------------------------------------------------------------------------------------
// Handed-in values, batch generation, page links

void frmNewDown1::Fill(const QString& url, const QString& referer, const QString& comment) {
    memory.SharedUrl = url;
    txtUrl->setText(url);
    txtRef->setText(referer);
    txtComment->setText(comment);
}

void frmNewDown1::ChooseRange(bool numbers) {
    for (QLineEdit* box : {txtN1, txtN2, txtN3}) box->setEnabled(numbers);
    for (QLineEdit* box : {txtA1, txtA2}) box->setEnabled(!numbers);
}

void frmNewDown1::Generate() {
    const QString pattern = txtBatUrl->text();
    const BatchResult result =
        OpNumber->isChecked()
            ? BatchGenerator::Numbers(pattern, txtN1->text(), txtN2->text(), txtN3->text())
            : BatchGenerator::Letters(pattern, txtA1->text(), txtA2->text());
    if (!result.Error.isEmpty()) {
        Refused(result.Error, OpNumber->isChecked() ? txtN2 : txtA2);
        return;
    }
    List1->clear();
    cmdListDel->setEnabled(false);
    List1->addItems(result.Urls);
    cmdListDelAll->setEnabled(true);
}

void frmNewDown1::StartLinkFetch() {
    linksFetched = true;
    const QString page = memory.SharedUrl.isEmpty() ? txtUrl->text() : memory.SharedUrl;
    ListView1->clear();
    if (page.isEmpty()) {
        lblSelect->setText(QStringLiteral("No page to read links from."));
        return;
    }
    lblSelect->setText(QStringLiteral("Reading the links of %1 ...").arg(page));
    QPointer<frmNewDown1> self(this);
    auto done = [self](const QStringList& links, const QString& error) {
        if (self) self->ShowLinks(links, error);
    };
    if (hooks.fetchPageLinks) {
        hooks.fetchPageLinks(page, done);
        return;
    }
    // The page analyser's link reader, through the proxy chosen in the save options.
    auto* reader = new clsPageLinks(this);
    connect(reader, &clsPageLinks::LinksReady, this,
            [done](const QStringList& links) { done(links, QString()); });
    connect(reader, &clsPageLinks::FetchFailed, this, [done](const QString& reason) {
        done({}, QStringLiteral("The page could not be read: %1").arg(reason));
    });
    QString host;
    uint16_t port = 0;
    const bool proxy =
        ParseProxyEntry(cmbProxy->currentIndex(), cmbProxy->currentText(), &host, &port);
    if (!reader->Fetch(page, proxy, host, port))
        done({}, QStringLiteral("Links can only be read from an http:// or https:// page: %1")
                     .arg(page));
}

void frmNewDown1::ShowLinks(const QStringList& links, const QString& error) {
    ListView1->clear();
    for (const PageLinkRows::Row& link : PageLinkRows::From(links)) {
        auto* row = new QTreeWidgetItem(ListView1, {link.fileName, link.url});
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(0, link.ticked ? Qt::Checked : Qt::Unchecked);
    }
    if (!error.isEmpty())
        lblSelect->setText(error);
    else
        lblSelect->setText(QStringLiteral("%1 links found. Tick the files to download:")
                               .arg(ListView1->topLevelItemCount()));
}

void frmNewDown1::Refused(const QString& text, QWidget* focus) {
    UserMessage::Show(UserMessage::Information, kTitle, text);
    if (focus) focus->setFocus();
}

void frmNewDown1::RefusedUrl(const QString& problem, const QString& url, QLineEdit* box) {
    Refused(problem + QStringLiteral("\n") + WithoutLogin(url), box);
    SelectWhole(box);
}

void frmNewDown1::SelectWhole(QLineEdit* box) {
    box->selectAll();
    // Again once the focus change and a click that gave it have been handled.
    QTimer::singleShot(0, box, [box] { box->selectAll(); });
}

void frmNewDown1::SelectPastedUrl(QLineEdit* box) {
    // An empty box that gets more than one character in one edit (a paste, a drop) keeps them
    // selected, so that typing replaces them; typing into it character by character does not.
    connect(box, &QLineEdit::textEdited, box, [box](const QString& text) {
        if (box->property("textBefore").toString().isEmpty() && text.size() > 1) box->selectAll();
    });
    connect(box, &QLineEdit::textChanged, box,
            [box](const QString& text) { box->setProperty("textBefore", text); });
}

// ---------------------------------------------------------------------------------------------
// OK and the records

SaveOptions frmNewDown1::SaveBoxes() const {
    SaveOptions options = saveBox->Read();
    options.Manual = Option3->isChecked();
    return options;
}

void frmNewDown1::NewJobOk() {
    switch (memory.Mode) {
        case ModeSingleFile:
            if (txtUrl->text().isEmpty()) {
                Refused(QStringLiteral("please input download url !"), txtUrl);
                return;
            }
            if (const QString problem = DownloadUrlProblem(txtUrl->text()); !problem.isEmpty()) {
                RefusedUrl(problem, txtUrl->text(), txtUrl);
                return;
            }
            AddNewJob();
            break;
        case ModePageSearch:
            if (txtSearchUrl->text().isEmpty()) {
                Refused(QStringLiteral("please input Search url !"), txtSearchUrl);
                return;
            }
            if (const QString problem = PageUrlProblem(txtSearchUrl->text()); !problem.isEmpty()) {
                SelectSubTab(QStringLiteral("Search"));
                RefusedUrl(problem, txtSearchUrl->text(), txtSearchUrl);
                return;
            }
            AddNewSearch();
            break;
        case ModeBatch:
            for (int i = 0; i < List1->count(); ++i) {
                const QString line = List1->item(i)->text();
                if (const QString problem = DownloadUrlProblem(line); !problem.isEmpty()) {
                    SelectSubTab(QStringLiteral("Url"));
                    List1->setCurrentRow(i);
                    RefusedUrl(problem, line, txtBatUrl);
                    return;
                }
            }
            AddBatFile();
            break;
        case ModePageLinks:
            AddPageLinks();
            break;
        default:
            break;
    }
    memory.SharedUrl.clear();
    accept();
}

void frmNewDown1::AddNewJob() {
    SaveOptions options = saveBox1->Read();
    options.Manual = Option3->isChecked();
    const JobRecord job =
        BuildNewJob(options, txtUrl->text(), txtRef->text(), txtComment->text(), txtRename->text());
    const int index = AddJob(job);
    if (index > 0 && hooks.AddToNowDownList) hooks.AddToNowDownList(index);
}

void frmNewDown1::AddNewSearch() {
    const SearchRecord search =
        BuildNewSearch(SaveBoxes(), txtSearchUrl->text(), memory.DepthChoice);
    const int index = AddSearch(search);
    if (index > 0 && hooks.AddToSearchList) hooks.AddToSearchList(index);
}

void frmNewDown1::AddBatFile() {
    const SaveOptions options = SaveBoxes();
    for (int i = 0; i < List1->count(); ++i) {
        const int index = AddJob(BuildBatchJob(options, List1->item(i)->text()));
        if (index <= 0) break;  // the job table is full; the user has been told
        if (hooks.AddToNowDownList) hooks.AddToNowDownList(index);
    }
}

void frmNewDown1::AddPageLinks() {
    const SaveOptions options = SaveBoxes();
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked) continue;
        const int index = AddJob(BuildBatchJob(options, row->text(1)));
        if (index <= 0) break;
        if (hooks.AddToNowDownList) hooks.AddToNowDownList(index);
    }
}
