#include "net/frmTellFriend.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/Settings.h"
#include "widgets/Icons.h"

QString frmTellFriend::StartFrom() {
    return QStringLiteral("Input your email address");
}

QString frmTellFriend::StartTo() {
    return QStringLiteral("Input your friend email address");
}

QString frmTellFriend::StartSubject() {
    return QStringLiteral("Hi, A good software - - Quorvanta");
}

QString frmTellFriend::StartContent() {
    QString site = Settings.HomePage;
    if (!site.endsWith(u'/')) site += u'/';
    return QStringLiteral(
               "Hi,\n\n"
               "I have been using Quorvanta, a download manager made for Flash movies. It fetches "
               "a file over several connections at once, picks up broken downloads where they "
               "stopped, finds the movies embedded in a web page, files them in folders of your "
               "own and plays them right away. I think you will like it too.\n\n"
               "More information as following\n"
               "Web site: %1\n"
               "Download: %1download/quorvanta.tar.gz\n"
               "There is also Quorvanta Lite, a smaller edition for the download alone: "
               "%1download/quorvanta-lite.tar.gz\n")
        .arg(site);
}

frmTellFriend::frmTellFriend(QWidget* parent) : QDialog(parent), sender(this) {
    setObjectName(QStringLiteral("frmTellFriend"));
    setWindowTitle(QStringLiteral("Tell Friend Good Software"));
    setWindowIcon(Icons::Get("app"));

    auto line = [this](const char* name, const QString& text) {
        auto* box = new QLineEdit(text, this);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    txtFrom = line("txtFrom", StartFrom());
    txtTo = line("txtTo", StartTo());
    txtSubject = line("txtSubject", StartSubject());
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("From (Sender)"), txtFrom);
    form->addRow(QStringLiteral("To (Receiver)"), txtTo);
    form->addRow(QStringLiteral("Subject"), txtSubject);

    auto* content = new QGroupBox(QStringLiteral("Content"), this);
    content->setObjectName(QStringLiteral("fraContent"));
    txtContent = new QPlainTextEdit(StartContent(), content);
    txtContent->setObjectName(QStringLiteral("txtContent"));
    (new QVBoxLayout(content))->addWidget(txtContent);

    auto* status = new QGroupBox(QStringLiteral("Status"), this);
    status->setObjectName(QStringLiteral("fraStatus"));
    List1 = new QListWidget(status);
    List1->setObjectName(QStringLiteral("List1"));
    (new QVBoxLayout(status))->addWidget(List1);

    cmdSend = new QPushButton(QStringLiteral("&Send"), this);
    cmdSend->setObjectName(QStringLiteral("cmdSend"));
    cmdSend->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(content, 3);
    layout->addWidget(status, 2);
    layout->addLayout(buttons);
    resize(520, 560);

    sender.Lookup()->SetAskServer([this] {
        return QInputDialog::getText(this, QStringLiteral("Input DNS Server Ip"),
                                     QStringLiteral(" No DNS entries found,Please Input The DNS "
                                                    "Server Ip:"));
    });
    connect(&sender, &SmtpSender::StatusLine, this, &frmTellFriend::AddStatusLine);
    connect(&sender, &SmtpSender::Done, this, [this] { cmdSend->setEnabled(true); });
    connect(cmdSend, &QPushButton::clicked, this, &frmTellFriend::cmdSend_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

frmTellFriend* frmTellFriend::Open(QWidget* parent) {
    auto* form = new frmTellFriend(parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
    return form;
}

void frmTellFriend::AddStatusLine(const QString& text) {
    List1->addItem(text);
    List1->setCurrentRow(List1->count() - 1);
}

void frmTellFriend::cmdSend_Click() {
    auto refuse = [this](QLineEdit* box, const QString& text) {
        box->setFocus();
        QMessageBox::information(this, QStringLiteral("Quorvanta"), text);
    };
    if (txtFrom->text().isEmpty())
        return refuse(txtFrom, QStringLiteral("Please input your email adddress ."));
    if (txtTo->text().isEmpty())
        return refuse(txtTo, QStringLiteral("Please input your friend's email adddress ."));
    cmdSend->setEnabled(false);
    sender.Send({txtFrom->text(), txtTo->text(), txtSubject->text(), txtContent->toPlainText()});
}
