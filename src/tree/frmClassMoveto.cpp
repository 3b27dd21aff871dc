#include "tree/frmClassMoveto.h"

#include "widgets/DialogButtons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tree/CategoryEdit.h"
#include "tree/CategoryPicker.h"
#include "widgets/DialogHooks.h"
#include "widgets/TreeFill.h"

frmClassMoveto::frmClassMoveto(CategoryTree* tree, const QString& key, QWidget* parent)
    : QDialog(parent), tree(tree), key(key) {
    setObjectName(QStringLiteral("frmClassMoveto"));
    setWindowTitle(QStringLiteral("Move Category To . . ."));
    setModal(true);

    txtName = new QLineEdit(this);
    txtName->setObjectName(QStringLiteral("txtName"));
    txtName->setReadOnly(true);
    txtDir = new QLineEdit(this);
    txtDir->setObjectName(QStringLiteral("txtDir"));
    txtDir->setReadOnly(true);
    picker = new CategoryPicker(*tree, key, this);
    DialogButtons dialogButtons(this, DialogButtons::OkDefault);
    cmdOk = dialogButtons.Ok();
    cmdCancel = dialogButtons.Cancel();

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Category:"), this), 0, 0);
    grid->addWidget(txtName, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Directory:"), this), 1, 0);
    grid->addWidget(txtDir, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Move to:"), this), 2, 0, Qt::AlignTop);
    grid->addWidget(picker, 2, 1);
    QHBoxLayout* buttons = dialogButtons.Row();
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    resize(420, 380);

    if (const TreeNode* node = tree->Find(key)) {
        txtName->setText(node->Text);
        txtDir->setText(node->Tag);
    }
    connect(cmdOk, &QPushButton::clicked, this, &frmClassMoveto::OnOk);
}

QString frmClassMoveto::ChosenKey() const {
    return picker->ChosenKey();
}

QString frmClassMoveto::RefusalText() {
    return QStringLiteral("Error!\nCan not Move this Category!");
}

QString frmClassMoveto::OwnSubtreeText() {
    return QStringLiteral("Can not move a category into itself or one of its sub categories!");
}

void frmClassMoveto::OnOk() {
    switch (CategoryEdit::MoveCategory(*tree, key, ChosenKey())) {
        case CategoryEdit::MoveResult::Moved:
        case CategoryEdit::MoveResult::Unchanged:
            accept();
            return;
        case CategoryEdit::MoveResult::IntoOwnSubtree:
            // The user may pick another place.
            DialogHooks::Message(this, QMessageBox::Warning, OwnSubtreeText());
            return;
        case CategoryEdit::MoveResult::Refused:
            DialogHooks::Message(parentWidget(), QMessageBox::Critical, RefusalText());
            reject();
            return;
    }
}
