#pragma once
// The options dialog: tabs "General", "Proxy", "Skins" and "Other" over the settings file. The
// dialog only shows values and forwards the user's actions; reading and writing the file is
// SettingsFile's.

#include <QDialog>

#include "store/OptionValues.h"
#include "store/clsIniFile.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;

class frmOption : public QDialog {
    Q_OBJECT
public:
    // The load step: builds the controls, opens on the tab OptionPage names (0 is taken as 1 and
    // stored) and runs iniReadSetting.
    explicit frmOption(QWidget* parent = nullptr);

    // The settings file into the controls, then iniSaveSetting.
    void iniReadSetting();
    // The controls into the settings file (General, Proxy, Other in the writer's order, the
    // style in "Skins"), then into the settings record, and the chosen style into the program.
    void iniSaveSetting();

    // Start-up: loads the dialog without showing it (which reads and saves the settings), saves
    // once more and unloads it. The file is then in the writer's order and Settings is filled.
    static void ReadSettingsAtStartup();
    // The menu's Options: shows the dialog modally on the tab OptionPage names. True when the
    // user confirmed with OK.
    static bool OpenModal(QWidget* parent);

    // The controls as values and back.
    OptionValues Values() const;
    void SetValues(const OptionValues& values);

    // Makes the named widget style (empty: the desktop's own) the program's style.
    static void ApplyStyle(const QString& style);

private slots:
    void cmdOk_Click();
    void cmdAdd_Click();
    void cmdModify_Click();
    void cmdDelete_Click();
    void UpdateProxyButtons();

private:
    QWidget* BuildGeneral();
    QWidget* BuildProxy();
    QWidget* BuildSkins();
    QWidget* BuildOther();

    clsIniFile ini;
    QTabWidget* tabs = nullptr;
    QComboBox* cmbMaxJobs = nullptr;
    QComboBox* cmbParts = nullptr;
    QComboBox* cmbRetries = nullptr;
    QComboBox* cmbCTimeout = nullptr;
    QComboBox* cmbRTimeout = nullptr;
    QComboBox* cmbRdelay = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QComboBox* cmbUserAgent = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdModify = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdSetDefault = nullptr;
    QComboBox* cmbSkin = nullptr;
    QCheckBox* checks[9] = {};
    QCheckBox* chkNotify = nullptr;
    QCheckBox* chkResumeAtStart = nullptr;
    QCheckBox* chkMovieOtherSites = nullptr;
    QComboBox* txtSpeedLimit = nullptr;
    // The values the dialog has no controls for ("Advanced"), kept from the file.
    OptionValues hidden;
};
