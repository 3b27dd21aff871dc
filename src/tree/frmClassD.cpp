#include "tree/frmClassD.h"

#include "widgets/DialogButtons.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "tree/CategoryEdit.h"
#include "widgets/DialogHooks.h"

frmClassD::frmClassD(CategoryTree* tree, const QString& key, QWidget* parent)
    : QDialog(parent), tree(tree), key(key) {
    setObjectName(QStringLiteral("frmClassD"));
    setWindowTitle(QStringLiteral("Delete Category"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    lblText = new QLabel(
        QStringLiteral("Do you really want to delete this category and its sub category ?"), this);
    lblText->setObjectName(QStringLiteral("lblText"));
    lblText->setWordWrap(true);
    lblName = new QLabel(this);
    lblName->setObjectName(QStringLiteral("lblName"));
    lblDir = new QLabel(this);
    lblDir->setObjectName(QStringLiteral("lblDir"));
    lblDir->setTextInteractionFlags(Qt::TextSelectableByMouse);
    DialogButtons dialogButtons(this, DialogButtons::CancelDefault);
    cmdOk = dialogButtons.Ok();
    cmdCancel = dialogButtons.Cancel();

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(lblText, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Category:"), this), 1, 1);
    grid->addWidget(lblName, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Directory:"), this), 2, 1);
    grid->addWidget(lblDir, 2, 2);
    QHBoxLayout* buttons = dialogButtons.Row();
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    resize(480, 150);

    if (const TreeNode* node = tree->Find(key)) {
        lblName->setText(node->Text);
        lblDir->setText(node->Tag);
    }
    connect(cmdOk, &QPushButton::clicked, this, &frmClassD::OnOk);
}

QString frmClassD::RefusalText() {
    return QStringLiteral("Error!\nCan not Delete this Category!");
}

void frmClassD::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QApplication::beep();
}

void frmClassD::OnOk() {
    if (CategoryEdit::IsFixedNode(*tree, key)) {
        DialogHooks::Message(parentWidget(), QMessageBox::Critical, RefusalText());
        reject();
        return;
    }
    CategoryEdit::DeleteCategory(*tree, key);
    emit CategoryDeleted(key);
    accept();
}
