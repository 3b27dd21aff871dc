#include "newjob/frmJobProperties.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "store/UserMessage.h"
#include "widgets/DialogButtons.h"

namespace {

QLineEdit* Box(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

}  // namespace

frmJobProperties::frmJobProperties(const JobEdit& v, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmJobProperties"));
    setWindowTitle(QStringLiteral("Job Properties"));
    setModal(true);
    txtUrl = Box(this, "txtUrl", v.Url);
    txtReferer = Box(this, "txtReferer", v.Referer);
    chkLogin = new QCheckBox(QStringLiteral("Login to server"), this);
    chkLogin->setObjectName(QStringLiteral("chkLogin"));
    chkLogin->setChecked(v.UseLogin);
    txtUserName = Box(this, "txtUserName", v.UserName);
    txtPassword = Box(this, "txtPassword", v.Password);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtFileName = Box(this, "txtFileName", v.FileName);
    txtFolder = Box(this, "txtFolder", v.Folder);
    cmbParts = new QComboBox(this);
    cmbParts->setObjectName(QStringLiteral("cmbParts"));
    for (int n = 1; n <= kMaxParts; ++n) cmbParts->addItem(QString::number(n));
    cmbParts->setCurrentIndex(std::clamp<int>(v.Parts, 1, kMaxParts) - 1);
    // The login boxes follow the check box however it is changed.
    auto loginBoxes = [this](bool on) {
        txtUserName->setEnabled(on);
        txtPassword->setEnabled(on);
    };
    connect(chkLogin, &QCheckBox::toggled, this, loginBoxes);
    loginBoxes(v.UseLogin);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("URL:"), txtUrl);
    form->addRow(QStringLiteral("Referer:"), txtReferer);
    form->addRow(QString(), chkLogin);
    form->addRow(QStringLiteral("User:"), txtUserName);
    form->addRow(QStringLiteral("Password:"), txtPassword);
    form->addRow(QStringLiteral("File name:"), txtFileName);
    form->addRow(QStringLiteral("Save to:"), txtFolder);
    form->addRow(QStringLiteral("Split into:"), cmbParts);
    auto* note = new QLabel(
        QStringLiteral("A new URL, file name or folder starts the download again from the start."),
        this);
    note->setWordWrap(true);
    DialogButtons dialogButtons(this);
    cmdOk = dialogButtons.Ok();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addLayout(dialogButtons.Row());
    resize(520, sizeHint().height());
    connect(cmdOk, &QPushButton::clicked, this, &frmJobProperties::OnOk);
}

JobEdit frmJobProperties::Values() const {
    JobEdit v;
    v.Url = txtUrl->text().trimmed();
    v.Referer = txtReferer->text().trimmed();
    v.UseLogin = chkLogin->isChecked();
    v.UserName = txtUserName->text();
    v.Password = txtPassword->text();
    v.FileName = txtFileName->text().trimmed();
    v.Folder = txtFolder->text().trimmed();
    v.Parts = static_cast<int16_t>(cmbParts->currentIndex() + 1);
    return v;
}

void frmJobProperties::OnOk() {
    const QString problem = Values().Problem();
    if (!problem.isEmpty()) {
        UserMessage::Show(UserMessage::Warning, QStringLiteral("Job Properties"), problem);
        return;
    }
    accept();
}
