// The options dialog and the proxy editor, driven through their named controls, and the start-up
// rewrite of the settings file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "common/TestEnv.h"
#include "store/Globals.h"
#include "store/Settings.h"
#include "store/SettingsFile.h"
#include "widgets/ProxyCombo.h"
#include "widgets/frmOption.h"
#include "widgets/frmProxy.h"

namespace {

template <typename T>
T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// Runs action on the next modal window that opens (after the current event), then returns.
void OnNextModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            ADD_FAILURE() << "no modal window";
            return;
        }
        action(modal);
    });
}

// Presses OK on the message box that opens next and hands back its text.
void AnswerMessage(QString* text) {
    OnNextModal([text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        *text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        OptionPage = 0;
        Settings = SettingsRecord{};
    }
};

}  // namespace

TEST_F(OptionsTest, ControlsTextsAndLists) {
    frmOption form;
    EXPECT_EQ(form.objectName(), "frmOption");
    EXPECT_EQ(form.windowTitle(), "Option");
    auto* tabs = Child<QTabWidget>(&form, "TabStrip1");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Proxy");
    EXPECT_EQ(tabs->tabText(2), "Skins");
    EXPECT_EQ(tabs->tabText(3), "Other");

    const std::pair<const char*, int> lists[] = {{"cmbMaxJobs", 8},  {"cmbParts", 10},
                                                 {"cmbRetries", 10}, {"cmbCTimeout", 0},
                                                 {"cmbRTimeout", 0}, {"cmbRdelay", 0}};
    for (auto [name, count] : lists) {
        auto* combo = Child<QComboBox>(&form, name);
        EXPECT_EQ(combo->count(), count) << name;
        for (int i = 0; i < count; ++i) EXPECT_EQ(combo->itemText(i), QString::number(i + 1));
    }
    EXPECT_EQ(Child<QRadioButton>(&form, "Option1")->text(), "Overwrite");
    EXPECT_EQ(Child<QRadioButton>(&form, "Option2")->text(), "Auto rename");
    auto* agents = Child<QComboBox>(&form, "cmbUserAgent");
    ASSERT_EQ(agents->count(), 4);
    EXPECT_EQ(agents->itemText(3), "Mozilla/4.0 (Windows 95;US) Opera 3.60  [en]");

    QStringList labels;
    for (QLabel* l : form.findChildren<QLabel*>()) labels << l->text();
    for (const char* text :
         {"Max downloading jobs:", "Default part nums:", "Number of retries:", "Connect timeout:",
          "Receive timeout:", "Retry delay:", "Set default user agent:"})
        EXPECT_TRUE(labels.contains(text)) << text;

    EXPECT_EQ(Child<QPushButton>(&form, "cmdAdd")->text(), "&Add New");
    EXPECT_EQ(Child<QPushButton>(&form, "cmdModify")->text(), "&Modify");
    EXPECT_EQ(Child<QPushButton>(&form, "cmdDelete")->text(), "&Delete");
    EXPECT_EQ(Child<QPushButton>(&form, "cmdSetDefault")->text(), "&Set Default");
    EXPECT_EQ(Child<QCheckBox>(&form, "chkUseQV")->text(),
              "Use \"qv!\" as file extension until finished");
    EXPECT_EQ(Child<QCheckBox>(&form, "chkDoneShutDown")->text(), "Shut Down when done");
    EXPECT_EQ(Child<QCheckBox>(&form, "chkPopMessage")->text(), "Alaws pop up message window");
    EXPECT_NE(Child<QComboBox>(&form, "cmbSkin"), nullptr);
}

TEST_F(OptionsTest, PageSelectorTakesZeroAsOneAndKeepsItsValue) {
    {
        frmOption form;
        EXPECT_EQ(Child<QTabWidget>(&form, "TabStrip1")->currentIndex(), 0);
        EXPECT_EQ(OptionPage, 1);
    }
    OptionPage = 2;
    {
        frmOption form;
        auto* tabs = Child<QTabWidget>(&form, "TabStrip1");
        EXPECT_EQ(tabs->currentIndex(), 1);
        tabs->setCurrentIndex(3);  // the user looking at another tab does not move the selector
    }
    EXPECT_EQ(OptionPage, 2);
    frmOption again;
    EXPECT_EQ(Child<QTabWidget>(&again, "TabStrip1")->currentIndex(), 1);
}

TEST_F(OptionsTest, OpeningShowsTheFileAndOkWritesTheControls) {
    TestEnv::WriteFile(IniFile,
                       "[General]\nMaxjobs=3\nParts=7\nCtimeout=12\nFileexits=True\n"
                       "Useragent=My Agent\n[Proxy]\nProxynum=1\nDefault=0\n 1=p.example:3128\n"
                       "[Other]\nStartMin=1\nPopMessage=0\n");
    frmOption form;
    EXPECT_EQ(Child<QComboBox>(&form, "cmbMaxJobs")->currentText(), "3");
    EXPECT_EQ(Child<QComboBox>(&form, "cmbParts")->currentText(), "7");
    EXPECT_EQ(Child<QComboBox>(&form, "cmbCTimeout")->currentText(), "12");
    EXPECT_EQ(Child<QComboBox>(&form, "cmbRTimeout")->currentText(), "60");
    EXPECT_TRUE(Child<QRadioButton>(&form, "Option1")->isChecked());
    EXPECT_EQ(Child<QComboBox>(&form, "cmbUserAgent")->currentText(), "My Agent");
    auto* list = Child<QTreeWidget>(&form, "ListView1");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "p.example");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "3128");
    EXPECT_TRUE(Child<QCheckBox>(&form, "chkStartMin")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(&form, "chkPopMessage")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(&form, "chkUseQV")->isChecked());
    // Opening already ran the writer: the record holds the file's values.
    EXPECT_EQ(Settings.Maxjobs, 3);
    EXPECT_EQ(Settings.Fileexits, 0);

    Child<QComboBox>(&form, "cmbMaxJobs")->setCurrentText("8");
    Child<QComboBox>(&form, "cmbRdelay")->setCurrentText("x7");
    Child<QRadioButton>(&form, "Option2")->setChecked(true);
    Child<QComboBox>(&form, "cmbUserAgent")->setCurrentIndex(1);
    Child<QCheckBox>(&form, "chkCloseMin")->setChecked(true);
    Child<QPushButton>(&form, "cmdDelete")->setEnabled(true);
    list->setCurrentItem(list->topLevelItem(0));
    Child<QPushButton>(&form, "cmdDelete")->click();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    Child<QPushButton>(&form, "cmdOk")->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);

    EXPECT_EQ(Settings.Maxjobs, 8);
    EXPECT_EQ(Settings.Redelay, 0);
    EXPECT_EQ(Settings.Fileexits, -1);
    EXPECT_EQ(Settings.Useragent, "Mozilla/4.06 [en] (Win98; I)");
    EXPECT_EQ(Settings.CloseMin, 1);
    EXPECT_EQ(Settings.StartMin, 1);
    const QByteArray file = TestEnv::ReadFile(IniFile);
    EXPECT_TRUE(file.contains("Maxjobs=8\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("Redelay=x7\n"));
    EXPECT_TRUE(file.contains("Fileexits=False\n"));
    EXPECT_TRUE(file.contains("[Proxy]\nProxynum=0\nDefault=0\n\n"));
    EXPECT_TRUE(file.contains("CloseMin=1\n"));
}

TEST_F(OptionsTest, CancelLeavesTheFileAsOpeningWroteIt) {
    OptionPage = 0;
    bool accepted = true;
    OnNextModal([](QWidget* w) {
        Child<QComboBox>(w, "cmbMaxJobs")->setCurrentText("2");
        Child<QPushButton>(w, "cmdCancel")->click();
    });
    accepted = frmOption::OpenModal(nullptr);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(Settings.Maxjobs, 5);
    EXPECT_TRUE(TestEnv::ReadFile(IniFile).contains("Maxjobs=5\n"));

    OnNextModal([](QWidget* w) {
        Child<QComboBox>(w, "cmbMaxJobs")->setCurrentText("2");
        Child<QPushButton>(w, "cmdOk")->click();
    });
    EXPECT_TRUE(frmOption::OpenModal(nullptr));
    EXPECT_EQ(Settings.Maxjobs, 2);
}

TEST_F(OptionsTest, ProxyEditorAddsChecksAndModifiesRows) {
    frmOption form;
    auto* list = Child<QTreeWidget>(&form, "ListView1");
    EXPECT_FALSE(Child<QPushButton>(&form, "cmdModify")->isEnabled());

    // "&Add New" through the button: an empty server box is refused first, then the port.
    QString first, second;
    OnNextModal([&](QWidget* w) {
        auto* editor = qobject_cast<frmProxy*>(w);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->windowTitle(), "Add New Proxy Server");
        auto* ok = Child<QPushButton>(w, "cmdOk");
        EXPECT_EQ(ok->text(), "OK");
        AnswerMessage(&first);
        ok->click();
        EXPECT_EQ(w->focusWidget(), Child<QLineEdit>(w, "Text1"));
        Child<QLineEdit>(w, "Text1")->setText("proxy.example");
        AnswerMessage(&second);
        ok->click();
        EXPECT_EQ(w->focusWidget(), Child<QLineEdit>(w, "Text2"));
        EXPECT_TRUE(w->isVisible());
        Child<QLineEdit>(w, "Text2")->setText("8080");
        ok->click();
    });
    Child<QPushButton>(&form, "cmdAdd")->click();
    EXPECT_EQ(first, "Please input Proxy Server Name or Ip!");
    EXPECT_EQ(second, "Please input Proxy Server Port!");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "proxy.example");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "8080");

    // "&Modify" starts with the selected row and overwrites it.
    list->setCurrentItem(list->topLevelItem(0));
    EXPECT_TRUE(Child<QPushButton>(&form, "cmdModify")->isEnabled());
    OnNextModal([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Modify Select Proxy Setting");
        EXPECT_EQ(Child<QPushButton>(w, "cmdOk")->text(), "&Modify");
        EXPECT_EQ(Child<QLineEdit>(w, "Text1")->text(), "proxy.example");
        EXPECT_EQ(Child<QLineEdit>(w, "Text2")->text(), "8080");
        Child<QLineEdit>(w, "Text2")->setText("3128");
        Child<QPushButton>(w, "cmdOk")->click();
    });
    Child<QPushButton>(&form, "cmdModify")->click();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "3128");

    // Cancel changes nothing; rows reach the file only with OK.
    OnNextModal([](QWidget* w) {
        Child<QLineEdit>(w, "Text1")->setText("other");
        Child<QPushButton>(w, "cmdCancel")->click();
    });
    Child<QPushButton>(&form, "cmdModify")->click();
    EXPECT_EQ(list->topLevelItem(0)->text(0), "proxy.example");
    EXPECT_FALSE(TestEnv::ReadFile(IniFile).contains("proxy.example"));
    Child<QPushButton>(&form, "cmdOk")->click();
    EXPECT_TRUE(TestEnv::ReadFile(IniFile).contains(
        "[Proxy]\nProxynum=1\nDefault=0\n 1=proxy.example:3128\n"));
}

TEST_F(OptionsTest, StartUpRewritesTheFileInTheWritersOrder) {
    TestEnv::WriteFile(IniFile,
                       "; written by hand\n[Extra]\nmine=1\n\n[OTHER]\npopmessage=0\nUnknown=5\n"
                       "  startmin = 1 \n[General]\nUseragent=Agent\nMaxjobs=2\nObsolete=1\n"
                       "[Proxy]\nDefault=0\nProxyNum=1\n1=p:1\n");
    frmOption::ReadSettingsAtStartup();
    EXPECT_EQ(TestEnv::ReadFile(IniFile),
              "; written by hand\n[Extra]\nmine=1\n\n"
              "[General]\nMaxjobs=2\nParts=5\nRetries=5\nCtimeout=30\nRtimeout=60\nRedelay=5\n"
              "Fileexits=False\nUseragent=Agent\n\n"
              "[Proxy]\nProxynum=1\nDefault=0\n 1=p:1\n\n"
              "[Other]\nStartMin=1\nCloseMin=0\nHideMin=0\nUseQV=1\nStillDownload=0\nDoneExit=0\n"
              "DownShutDown=0\nAutoBack=0\nPopMessage=0\n\n"
              "[Advanced]\nHomePage=https://quorvanta.example.org/\n"
              "UpdateHost=quorvanta.example.org\nUpdatePort=80\nDnsServer=\nSmtpPort=25\n");
    EXPECT_EQ(Settings.Maxjobs, 2);
    EXPECT_EQ(Settings.StartMin, 1);
    EXPECT_EQ(Settings.PopMessage, 0);
    EXPECT_EQ(Settings.Useragent, "Agent");
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<frmOption*>(w), nullptr);
}

TEST_F(OptionsTest, FirstStartWritesTheThreeSections) {
    QFile::remove(IniFile);
    frmOption::ReadSettingsAtStartup();
    const QByteArray file = TestEnv::ReadFile(IniFile);
    EXPECT_TRUE(file.startsWith("[General]\nMaxjobs=5\n"));
    EXPECT_TRUE(file.contains("AutoBack=0\nPopMessage=1\n\n[Advanced]\nHomePage="));
    EXPECT_TRUE(file.endsWith("DnsServer=\nSmtpPort=25\n"));
    EXPECT_EQ(file.count('['), 4);
    EXPECT_EQ(Settings.Maxjobs, 5);
    EXPECT_EQ(Settings.UseQV, 1);

    // A file already in the writer's order is not written again (same inode: no rename).
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(QFile::encodeName(IniFile).constData(), &before), 0);
    frmOption::ReadSettingsAtStartup();
    ASSERT_EQ(::stat(QFile::encodeName(IniFile).constData(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(TestEnv::ReadFile(IniFile), file);
}

TEST_F(OptionsTest, StyleChoiceLivesInItsOwnSection) {
    const QString before = QApplication::style()->name();
    frmOption::ApplyStyle(QString());  // remember the desktop's style
    TestEnv::WriteFile(IniFile, "[Skins]\nStyle=Fusion\n[General]\nMaxjobs=4\n");
    frmOption::ReadSettingsAtStartup();
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    const QByteArray file = TestEnv::ReadFile(IniFile);
    EXPECT_TRUE(file.startsWith("[General]\nMaxjobs=4\n"));
    EXPECT_TRUE(file.contains("PopMessage=1\n\n[Skins]\nStyle=Fusion\n\n[Advanced]\n"))
        << file.toStdString();

    // A style that is not installed falls back to the desktop's, and the section goes away.
    TestEnv::WriteFile(IniFile, "[Skins]\nStyle=NoSuchStyle\n");
    {
        frmOption form;
        EXPECT_EQ(Child<QComboBox>(&form, "cmbSkin")->currentIndex(), 0);
    }
    EXPECT_FALSE(TestEnv::ReadFile(IniFile).contains("[Skins]"));
    EXPECT_EQ(QApplication::style()->name(), before);
}

TEST_F(OptionsTest, StartUpWithTwentyThousandProxiesTakesWellUnderASecond) {
    // The proxy list as the options dialog's OK writes it.
    constexpr int count = 20000;
    {
        frmOption form;
        auto* list = Child<QTreeWidget>(&form, "ListView1");
        for (int i = 1; i <= count; ++i)
            new QTreeWidgetItem(list, {"proxy" + QString::number(i) + ".example",
                                       QString::number(1000 + i % 60000)});
        Child<QPushButton>(&form, "cmdOk")->click();
    }
    QElapsedTimer clock;
    clock.start();
    frmOption::ReadSettingsAtStartup();
    const qint64 startUp = clock.elapsed();
    // A read that scans the file for every key takes many seconds here. Sanitizer builds run
    // several times slower, more so on a loaded machine.
#ifdef __SANITIZE_ADDRESS__
    EXPECT_LT(startUp, 8000);
#else
    EXPECT_LT(startUp, 2000);
#endif

    clsIniFile ini(IniFile);
    const OptionValues read = SettingsFile::Read(ini);
    ASSERT_EQ(read.Proxies.size(), count);
    EXPECT_EQ(read.Proxies.first().Host, "proxy1.example");
    EXPECT_EQ(read.Proxies.last().Host, "proxy20000.example");
    EXPECT_EQ(read.Proxies.last().Port, QString::number(1000 + count % 60000));
    QComboBox combo;
    clock.restart();
    FillProxyCombo(&combo);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(combo.count(), count + 1);
}

TEST_F(OptionsTest, AdvancedSettingsSurviveTheDialogAndFallBackToTheStandardPorts) {
    TestEnv::WriteFile(IniFile,
                       "[Advanced]\nSmtpPort=2525\nDnsServer= 127.0.0.1:5353 \nUpdatePort=abc\n"
                       "HomePage=http://127.0.0.1:8/\n[General]\nMaxjobs=3\n");
    frmOption::ReadSettingsAtStartup();
    EXPECT_EQ(Settings.DnsServer, "127.0.0.1:5353");
    EXPECT_EQ(Settings.SmtpPort, 2525);
    EXPECT_EQ(Settings.UpdatePort, 80);
    EXPECT_EQ(Settings.UpdateHost, "quorvanta.example.org");
    EXPECT_EQ(Settings.HomePage, "http://127.0.0.1:8/");
    {
        frmOption form;
        Child<QPushButton>(&form, "cmdOk")->click();
    }
    const QByteArray file = TestEnv::ReadFile(IniFile);
    EXPECT_TRUE(
        file.endsWith("\n[Advanced]\nHomePage=http://127.0.0.1:8/\n"
                      "UpdateHost=quorvanta.example.org\nUpdatePort=abc\n"
                      "DnsServer=127.0.0.1:5353\nSmtpPort=2525\n"))
        << file.toStdString();
    EXPECT_EQ(Settings.SmtpPort, 2525);
}
