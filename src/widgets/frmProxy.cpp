#include "widgets/frmProxy.h"
#include "widgets/DialogButtons.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmProxy::frmProxy(QTreeWidget* proxyList, int editMode, QWidget* parent)
    : QDialog(parent), list(proxyList), mode(editMode) {
    setObjectName(QStringLiteral("frmProxy"));
    setModal(true);

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setMaximumWidth(90);
    auto* label1 = new QLabel(QStringLiteral("Server Name or IP:"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setBuddy(Text1);
    auto* label2 = new QLabel(QStringLiteral("Server Port:"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setBuddy(Text2);

    DialogButtons dialogButtons(this, DialogButtons::OkDefault);
    cmdOk = dialogButtons.Ok();

    auto* form = new QFormLayout;
    form->addRow(label1, Text1);
    form->addRow(label2, Text2);
    QHBoxLayout* buttons = dialogButtons.Row();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Text1->setMinimumWidth(260);

    if (mode == ModeModify) {
        setWindowTitle(QStringLiteral("Modify Select Proxy Setting"));
        cmdOk->setText(QStringLiteral("&Modify"));
        if (list && list->currentItem()) {
            Text1->setText(list->currentItem()->text(0));
            Text2->setText(list->currentItem()->text(1));
        }
    } else {
        setWindowTitle(QStringLiteral("Add New Proxy Server"));
    }

    connect(cmdOk, &QPushButton::clicked, this, &frmProxy::cmdOk_Click);
}

void frmProxy::cmdOk_Click() {
    auto complain = [this](const QString& text, QLineEdit* box) {
        QMessageBox::warning(this, QStringLiteral("Quorvanta"), text);
        box->setFocus();
    };
    if (Text1->text().isEmpty()) {
        complain(QStringLiteral("Please input Proxy Server Name or Ip!"), Text1);
        return;
    }
    if (Text2->text().isEmpty()) {
        complain(QStringLiteral("Please input Proxy Server Port!"), Text2);
        return;
    }
    if (list) {
        if (mode == ModeModify) {
            if (QTreeWidgetItem* row = list->currentItem()) {
                row->setText(0, Text1->text());
                row->setText(1, Text2->text());
            }
        } else {
            auto* row = new QTreeWidgetItem(list, {Text1->text(), Text2->text()});
            list->setCurrentItem(row);
        }
    }
    accept();
}
