#include "net/frmCheckNew.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "store/Settings.h"
#include "widgets/Icons.h"

frmCheckNew::frmCheckNew(OpenNewJob open, QWidget* parent)
    : QDialog(parent), check(this), openNewJob(std::move(open)) {
    setObjectName(QStringLiteral("frmCheckNew"));
    setWindowTitle(QStringLiteral("Check Newest Version"));
    setWindowIcon(Icons::Get("app"));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setMinimumSize(340, 64);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setWordWrap(true);
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Command1 = new QPushButton(QStringLiteral("DownLoad Now!"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("More Infomation"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    Command1->setEnabled(false);
    Command2->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addStretch();
    buttons->addWidget(OKButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Command1, &QPushButton::clicked, this, &frmCheckNew::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmCheckNew::Command2_Click);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(&check, &UpdateCheck::StatusChanged, Label1, &QLabel::setText);
    connect(&check, &UpdateCheck::NewVersion, this, [this](const QString& downSite) {
        site = downSite;
        QApplication::beep();
        Command1->setEnabled(true);
        Command2->setEnabled(true);
    });
}

frmCheckNew* frmCheckNew::Open(QWidget* parent, OpenNewJob openNewJob) {
    auto* form = new frmCheckNew(std::move(openNewJob), parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
    form->check.Start(Settings.UpdateHost, Settings.UpdatePort);
    return form;
}

void frmCheckNew::Command1_Click() {
    QString url = site;
    url.remove(QLatin1String("\r\n"));
    const OpenNewJob open = openNewJob;
    close();
    if (open) open(url);
}

void frmCheckNew::Command2_Click() {
    QDesktopServices::openUrl(QUrl(Settings.HomePage));
}
