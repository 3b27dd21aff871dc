#include "widgets/frmOption.h"
#include "widgets/DialogButtons.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "store/Globals.h"
#include "store/Settings.h"
#include "store/SettingsFile.h"
#include "widgets/frmProxy.h"

namespace {

const char* const kCheckNames[9] = {"chkStartMin",     "chkCloseMin",      "chkHideMin",
                                    "chkUseQV",        "chkStillDownload", "chkDoneExit",
                                    "chkDoneShutDown", "chkAutoBack",      "chkPopMessage"};
const char* const kCheckTexts[9] = {"Start main window minimized",
                                    "Minimize Main window on clicking X",
                                    "Hide window when minimized",
                                    "Use \"qv!\" as file extension until finished",
                                    "Still download from no-resumable web sites",
                                    "Exit Quorvanta when done downloading",
                                    "Shut Down when done",
                                    "Auto backup download database when exit",
                                    "Alaws pop up message window"};

// The style the desktop gave the program before any choice of ours.
QString& DesktopStyle() {
    static QString name;
    return name;
}

QComboBox* NewCombo(QWidget* parent, const char* name, bool editable, int highest) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(editable);
    for (int i = 1; i <= highest; ++i) combo->addItem(QString::number(i));
    combo->setMinimumWidth(80);
    return combo;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* text, QWidget* buddy) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

// Shows text in a box with a list: the list entry when there is one, else the text itself.
void SetComboText(QComboBox* combo, const QString& text) {
    const int at = combo->findText(text);
    if (at >= 0)
        combo->setCurrentIndex(at);
    else if (combo->isEditable())
        combo->setCurrentText(text);
}

}  // namespace

frmOption::frmOption(QWidget* parent) : QDialog(parent), ini(IniFile) {
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(QStringLiteral("Option"));
    setModal(true);

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("TabStrip1"));
    tabs->addTab(BuildGeneral(), QStringLiteral("General"));
    tabs->addTab(BuildProxy(), QStringLiteral("Proxy"));
    tabs->addTab(BuildSkins(), QStringLiteral("Skins"));
    tabs->addTab(BuildOther(), QStringLiteral("Other"));

    DialogButtons dialogButtons(this, DialogButtons::OkDefault);
    auto* cmdOk = dialogButtons.Ok();
    connect(cmdOk, &QPushButton::clicked, this, &frmOption::cmdOk_Click);

    QHBoxLayout* buttons = dialogButtons.Row();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);
    resize(500, 380);

    if (OptionPage < 1 || OptionPage > 4) OptionPage = 1;
    tabs->setCurrentIndex(OptionPage - 1);

    iniReadSetting();
}

QWidget* frmOption::BuildGeneral() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("fraGeneral"));
    cmbMaxJobs = NewCombo(page, "cmbMaxJobs", false, SettingsFile::kMaxJobsList);
    cmbParts = NewCombo(page, "cmbParts", false, SettingsFile::kPartsList);
    cmbRetries = NewCombo(page, "cmbRetries", false, SettingsFile::kRetriesList);
    cmbCTimeout = NewCombo(page, "cmbCTimeout", true, 0);
    cmbRTimeout = NewCombo(page, "cmbRTimeout", true, 0);
    cmbRdelay = NewCombo(page, "cmbRdelay", true, 0);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->addWidget(NewLabel(page, "lblMaxJobs", "Max downloading jobs:", cmbMaxJobs), 0, 0);
    grid->addWidget(cmbMaxJobs, 0, 1);
    grid->addWidget(NewLabel(page, "lblParts", "Default part nums:", cmbParts), 1, 0);
    grid->addWidget(cmbParts, 1, 1);
    grid->addWidget(NewLabel(page, "lblRetries", "Number of retries:", cmbRetries), 2, 0);
    grid->addWidget(cmbRetries, 2, 1);
    grid->addWidget(NewLabel(page, "lblCTimeout", "Connect timeout:", cmbCTimeout), 0, 3);
    grid->addWidget(cmbCTimeout, 0, 4);
    grid->addWidget(NewLabel(page, "lblRTimeout", "Receive timeout:", cmbRTimeout), 1, 3);
    grid->addWidget(cmbRTimeout, 1, 4);
    grid->addWidget(NewLabel(page, "lblRdelay", "Retry delay:", cmbRdelay), 2, 3);
    grid->addWidget(cmbRdelay, 2, 4);
    grid->setColumnMinimumWidth(2, 16);
    grid->setColumnStretch(2, 1);

    auto* fileExists = new QGroupBox(QStringLiteral("if download file exits then"), page);
    fileExists->setObjectName(QStringLiteral("fraFileExits"));
    Option1 = new QRadioButton(QStringLiteral("Overwrite"), fileExists);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option2 = new QRadioButton(QStringLiteral("Auto rename"), fileExists);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setChecked(true);
    auto* options = new QHBoxLayout(fileExists);
    options->addWidget(Option1);
    options->addSpacing(24);
    options->addWidget(Option2);
    options->addStretch();

    cmbUserAgent = new QComboBox(page);
    cmbUserAgent->setObjectName(QStringLiteral("cmbUserAgent"));
    cmbUserAgent->setEditable(true);
    cmbUserAgent->addItems(SettingsFile::UserAgents());

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addWidget(fileExists);
    layout->addSpacing(8);
    layout->addWidget(NewLabel(page, "lblUserAgent", "Set default user agent:", cmbUserAgent));
    layout->addWidget(cmbUserAgent);
    layout->addStretch();
    return page;
}

QWidget* frmOption::BuildProxy() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("fraProxy"));
    ListView1 = new QTreeWidget(page);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setHeaderLabels({QStringLiteral("Server"), QStringLiteral("Port")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ListView1->header()->resizeSection(1, 80);

    auto button = [page](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), page);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdAdd = button("cmdAdd", "&Add New");
    cmdModify = button("cmdModify", "&Modify");
    cmdDelete = button("cmdDelete", "&Delete");
    cmdSetDefault = button("cmdSetDefault", "&Set Default");
    // The default entry is always the first ("Direct Connection"); choosing another has no effect.
    cmdSetDefault->setEnabled(false);
    connect(cmdAdd, &QPushButton::clicked, this, &frmOption::cmdAdd_Click);
    connect(cmdModify, &QPushButton::clicked, this, &frmOption::cmdModify_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmOption::cmdDelete_Click);
    connect(ListView1, &QTreeWidget::currentItemChanged, this, &frmOption::UpdateProxyButtons);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, &frmOption::cmdModify_Click);

    auto* side = new QVBoxLayout;
    side->addWidget(cmdAdd);
    side->addWidget(cmdModify);
    side->addWidget(cmdDelete);
    side->addSpacing(12);
    side->addWidget(cmdSetDefault);
    side->addStretch();
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(ListView1, 1);
    layout->addLayout(side);
    UpdateProxyButtons();
    return page;
}

QWidget* frmOption::BuildSkins() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("fraSkins"));
    cmbSkin = new QComboBox(page);
    cmbSkin->setObjectName(QStringLiteral("cmbSkin"));
    cmbSkin->addItem(QStringLiteral("Desktop default"), QString());
    for (const QString& key : QStyleFactory::keys()) cmbSkin->addItem(key, key);
    cmbSkin->setMinimumWidth(200);
    auto* row = new QHBoxLayout;
    row->addWidget(NewLabel(page, "lblSkin", "Window style:", cmbSkin));
    row->addWidget(cmbSkin);
    row->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(row);
    layout->addStretch();
    return page;
}

QWidget* frmOption::BuildOther() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("fraOther"));
    auto* layout = new QVBoxLayout(page);
    for (int i = 0; i < 9; ++i) {
        checks[i] = new QCheckBox(QString::fromLatin1(kCheckTexts[i]), page);
        checks[i]->setObjectName(QString::fromLatin1(kCheckNames[i]));
        layout->addWidget(checks[i]);
    }
    chkNotify = new QCheckBox(
        QStringLiteral("Announce finished and failed jobs on the desktop (notifications)"), page);
    chkNotify->setObjectName(QStringLiteral("chkNotify"));
    layout->addWidget(chkNotify);
    chkResumeAtStart =
        new QCheckBox(QStringLiteral("Continue unfinished downloads at start"), page);
    chkResumeAtStart->setObjectName(QStringLiteral("chkResumeAtStart"));
    layout->addWidget(chkResumeAtStart);
    chkMovieOtherSites =
        new QCheckBox(QStringLiteral("Fetch files a movie loads from other sites"), page);
    chkMovieOtherSites->setObjectName(QStringLiteral("chkMovieOtherSites"));
    layout->addWidget(chkMovieOtherSites);
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(
        new QLabel(QStringLiteral("Speed limit for all downloads (KB/s, 0 for none):"), page));
    txtSpeedLimit = new QComboBox(page);
    txtSpeedLimit->setObjectName(QStringLiteral("txtSpeedLimit"));
    txtSpeedLimit->setEditable(true);
    txtSpeedLimit->addItems({"0", "50", "100", "200", "500", "1000", "2000"});
    limitRow->addWidget(txtSpeedLimit);
    limitRow->addStretch();
    layout->addLayout(limitRow);
    layout->addStretch();
    return page;
}

OptionValues frmOption::Values() const {
    OptionValues v;
    v.Maxjobs = cmbMaxJobs->currentText();
    v.Parts = cmbParts->currentText();
    v.Retries = cmbRetries->currentText();
    v.Ctimeout = cmbCTimeout->currentText();
    v.Rtimeout = cmbRTimeout->currentText();
    v.Redelay = cmbRdelay->currentText();
    v.Option1 = Option1->isChecked();
    v.Useragent = cmbUserAgent->currentText();
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        v.Proxies.append({row->text(0), row->text(1)});
    }
    for (int i = 0; i < 9; ++i) v.Other[i] = checks[i]->isChecked() ? 1 : 0;
    v.Notify = chkNotify->isChecked();
    v.ResumeAtStart = chkResumeAtStart->isChecked();
    v.MovieOtherSites = chkMovieOtherSites->isChecked();
    v.SpeedLimit = txtSpeedLimit->currentText().trimmed();
    v.Style = cmbSkin->currentData().toString();
    v.MovieFileLimit = hidden.MovieFileLimit;
    v.HomePage = hidden.HomePage;
    v.UpdateHost = hidden.UpdateHost;
    v.UpdatePort = hidden.UpdatePort;
    v.DnsServer = hidden.DnsServer;
    v.SmtpPort = hidden.SmtpPort;
    return v;
}

void frmOption::SetValues(const OptionValues& v) {
    hidden = v;
    SetComboText(cmbMaxJobs, v.Maxjobs);
    SetComboText(cmbParts, v.Parts);
    SetComboText(cmbRetries, v.Retries);
    SetComboText(cmbCTimeout, v.Ctimeout);
    SetComboText(cmbRTimeout, v.Rtimeout);
    SetComboText(cmbRdelay, v.Redelay);
    Option1->setChecked(v.Option1);
    Option2->setChecked(!v.Option1);
    SetComboText(cmbUserAgent, v.Useragent);
    ListView1->clear();
    for (const ProxyRow& p : v.Proxies) new QTreeWidgetItem(ListView1, {p.Host, p.Port});
    for (int i = 0; i < 9; ++i) checks[i]->setChecked(v.Other[i] != 0);
    chkNotify->setChecked(v.Notify);
    chkResumeAtStart->setChecked(v.ResumeAtStart);
    chkMovieOtherSites->setChecked(v.MovieOtherSites);
    SetComboText(txtSpeedLimit, v.SpeedLimit);
    // A style that is not installed falls back to the desktop's own.
    int style = 0;
    for (int i = 1; i < cmbSkin->count(); ++i)
        if (cmbSkin->itemData(i).toString().compare(v.Style, Qt::CaseInsensitive) == 0) style = i;
    cmbSkin->setCurrentIndex(style);
    UpdateProxyButtons();
}

void frmOption::iniReadSetting() {
    SetValues(SettingsFile::Read(ini));
    iniSaveSetting();
}

void frmOption::iniSaveSetting() {
    const OptionValues v = Values();
    // A file that cannot be written keeps its old values; the record takes the dialog's anyway.
    SettingsFile::Write(ini, v);
    Settings = SettingsFile::ToRecord(v);
    ApplyStyle(v.Style);
}

void frmOption::ApplyStyle(const QString& style) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return;
    if (DesktopStyle().isEmpty()) DesktopStyle() = QApplication::style()->name();
    const QString wanted = style.isEmpty() ? DesktopStyle() : style;
    if (wanted.compare(QApplication::style()->name(), Qt::CaseInsensitive) == 0) return;
    if (!QStyleFactory::keys().contains(wanted, Qt::CaseInsensitive)) return;
    QApplication::setStyle(wanted);
}

void frmOption::ReadSettingsAtStartup() {
    frmOption form;
    form.iniSaveSetting();
}

bool frmOption::OpenModal(QWidget* parent) {
    frmOption form(parent);
    return form.exec() == QDialog::Accepted;
}

void frmOption::cmdOk_Click() {
    iniSaveSetting();
    accept();
}

void frmOption::cmdAdd_Click() {
    frmProxy editor(ListView1, frmProxy::ModeAdd, this);
    editor.exec();
    UpdateProxyButtons();
}

void frmOption::cmdModify_Click() {
    if (!ListView1->currentItem()) return;
    frmProxy editor(ListView1, frmProxy::ModeModify, this);
    editor.exec();
}

void frmOption::cmdDelete_Click() {
    delete ListView1->currentItem();
    UpdateProxyButtons();
}

void frmOption::UpdateProxyButtons() {
    const bool selected = ListView1 && ListView1->currentItem();
    if (cmdModify) cmdModify->setEnabled(selected);
    if (cmdDelete) cmdDelete->setEnabled(selected);
}
