#include "tree/frmClassNew.h"

#include "widgets/DialogButtons.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "tree/CategoryEdit.h"
#include "tree/CategoryNameForm.h"
#include "widgets/DialogHooks.h"
#include "widgets/TreeFill.h"

frmClassNew::frmClassNew(CategoryTree* tree, const QString& selectedKey, QWidget* parent)
    : QDialog(parent), tree(tree) {
    setObjectName(QStringLiteral("frmClassNew"));
    setWindowTitle(QStringLiteral("Create New Category"));
    setModal(true);

    const CategoryNameForm form(this);
    txtName = form.Name();
    txtDir = form.Folder();
    cmdBrowse = form.Browse();
    tvClass = new QTreeWidget(this);
    tvClass->setObjectName(QStringLiteral("tvClass"));
    tvClass->setHeaderHidden(true);
    tvClass->setMinimumHeight(180);
    chkCreateDir = new QCheckBox(QStringLiteral("Create new directory with category name"), this);
    chkCreateDir->setObjectName(QStringLiteral("chkCreateDir"));
    chkCreateDir->setChecked(true);
    // Top to bottom, the tree between name and folder.
    setTabOrder(txtName, tvClass);
    setTabOrder(tvClass, chkCreateDir);
    setTabOrder(chkCreateDir, txtDir);
    setTabOrder(txtDir, cmdBrowse);
    DialogButtons dialogButtons(this, DialogButtons::OkDefault);
    cmdOk = dialogButtons.Ok();
    cmdCancel = dialogButtons.Cancel();

    auto* grid = new QGridLayout(this);
    form.PlaceName(grid, 0, QStringLiteral("Category Name:"));
    grid->addWidget(new QLabel(QStringLiteral("Create in:"), this), 1, 0, Qt::AlignTop);
    grid->addWidget(tvClass, 1, 1, 1, 2);
    grid->addWidget(chkCreateDir, 2, 1, 1, 2);
    form.PlaceFolder(grid, 3, QStringLiteral("Directory:"));
    QHBoxLayout* buttons = dialogButtons.Row();
    grid->addLayout(buttons, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    resize(440, 400);

    CopyClassTree(tvClass, *tree);
    QTreeWidgetItem* preselect = FindTreeItem(tvClass, selectedKey);
    if (!preselect && tvClass->topLevelItemCount() > 0) preselect = tvClass->topLevelItem(0);
    if (preselect) tvClass->setCurrentItem(preselect);
    OnParentChanged();

    connect(tvClass, &QTreeWidget::currentItemChanged, this, &frmClassNew::OnParentChanged);
    connect(txtName, &QLineEdit::textChanged, this, &frmClassNew::UpdateFolder);
    connect(chkCreateDir, &QCheckBox::toggled, this, &frmClassNew::UpdateFolder);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmClassNew::OnBrowse);
    connect(cmdOk, &QPushButton::clicked, this, &frmClassNew::OnOk);
    txtName->setFocus();
}

QString frmClassNew::ParentKey() const {
    return TreeItemKey(tvClass->currentItem());
}

void frmClassNew::UpdateFolder() {
    txtDir->setText(
        CategoryEdit::FolderFor(baseFolder, txtName->text(), chkCreateDir->isChecked()));
}

void frmClassNew::OnParentChanged() {
    const TreeNode* node = tree->Find(ParentKey());
    baseFolder = node ? node->Tag : QString();
    UpdateFolder();
}

void frmClassNew::OnBrowse() {
    DialogHooks::PickFolder(this, baseFolder, [this](const QString& folder) {
        baseFolder = folder;
        UpdateFolder();
    });
}

void frmClassNew::OnOk() {
    const QString name = txtName->text().trimmed();
    if (name.isEmpty()) {
        DialogHooks::Message(this, QMessageBox::Information,
                             QStringLiteral("Please Input Category Name First!"));
        txtName->setFocus();
        return;
    }
    const QString parentKey = tree->Exists(ParentKey()) ? ParentKey() : TreeKeys::Downloaded;
    createdKey = CategoryEdit::CreateCategory(*tree, parentKey, name, txtDir->text(),
                                              chkCreateDir->isChecked());
    accept();
}
