#include "tree/frmClassP.h"

#include "widgets/DialogButtons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "tree/CategoryEdit.h"
#include "tree/CategoryNameForm.h"
#include "widgets/DialogHooks.h"

frmClassP::frmClassP(CategoryTree* tree, const QString& key, QWidget* parent)
    : QDialog(parent), tree(tree), key(key) {
    setObjectName(QStringLiteral("frmClassP"));
    setWindowTitle(QStringLiteral("Category Properties"));
    setModal(true);

    const CategoryNameForm form(this);
    txtName = form.Name();
    txtDir = form.Folder();
    cmdBrowse = form.Browse();
    DialogButtons dialogButtons(this, DialogButtons::OkDefault);
    cmdOk = dialogButtons.Ok();
    cmdCancel = dialogButtons.Cancel();

    auto* grid = new QGridLayout(this);
    form.PlaceName(grid, 0, QStringLiteral("Category Name"));
    form.PlaceFolder(grid, 1, QStringLiteral("Directory"));
    QHBoxLayout* buttons = dialogButtons.Row();
    grid->addLayout(buttons, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    resize(420, 130);

    if (const TreeNode* node = tree->Find(key)) {
        txtName->setText(node->Text);
        txtDir->setText(node->Tag);
    }
    connect(cmdBrowse, &QPushButton::clicked, this, &frmClassP::OnBrowse);
    connect(cmdOk, &QPushButton::clicked, this, &frmClassP::OnOk);
}

QString frmClassP::RefusalText() {
    return QStringLiteral("Error!\nCan not Change this Category!");
}

void frmClassP::OnBrowse() {
    DialogHooks::PickFolder(this, txtDir->text(), [this](const QString& folder) {
        txtDir->setText(DialogHooks::WithSeparator(folder));
    });
}

void frmClassP::OnOk() {
    // The fixed nodes are rebuilt at every start, so a change to them would not last.
    if (CategoryEdit::IsFixedNode(*tree, key)) {
        DialogHooks::Message(parentWidget(), QMessageBox::Critical, RefusalText());
        reject();
        return;
    }
    tree->SetText(key, txtName->text());
    tree->SetTag(key, txtDir->text());
    accept();
}
