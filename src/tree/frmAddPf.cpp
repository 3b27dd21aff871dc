#include "tree/frmAddPf.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "store/LocalFileImport.h"
#include "store/NumberRule.h"
#include "tree/NamedWidgets.h"
#include "widgets/DialogHooks.h"
#include "widgets/TreeFill.h"
#include "tree/frmClassNew.h"
#include "widgets/DialogHooks.h"
#include "widgets/Icons.h"
#include "widgets/TreeFill.h"

frmAddPf::frmAddPf(CategoryTree* tree, const QString& selectedKey, ImportHooks hooks,
                   QWidget* parent)
    : QDialog(parent), tree(tree), hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("frmAddPf"));
    setWindowTitle(QStringLiteral("Import Previous File . . ."));
    setWindowIcon(Icons::Get(QStringLiteral("AddPf")));
    setModal(true);

    txtFileName = NamedWidgets::LineEdit("txtFileName", this);
    cmbClass = new QComboBox(this);
    cmbClass->setObjectName(QStringLiteral("cmbClass"));
    txtDir = NamedWidgets::LineEdit("txtDir", this, true);
    txtFileDate = NamedWidgets::LineEdit("txtFileDate", this, true);
    txtFileSize = NamedWidgets::LineEdit("txtFileSize", this, true);
    txtRef = NamedWidgets::LineEdit("txtRef", this);
    txtComment = NamedWidgets::LineEdit("txtComment", this);
    chkMoveFile = new QCheckBox(QStringLiteral("Move File"), this);
    chkMoveFile->setObjectName(QStringLiteral("chkMoveFile"));
    cmdBrowse = NamedWidgets::Button(QStringLiteral("&Browse"), "cmdBrowse", this);
    cmdCategory = NamedWidgets::Button(QStringLiteral("&Category"), "cmdCategory", this);
    cmdImport = NamedWidgets::Button(QStringLiteral("&Import File"), "cmdImport", this);
    cmdImport->setDefault(true);
    cmdCancel = NamedWidgets::Button(QStringLiteral("Cancel"), "cmdCancel", this);

    auto* grid = new QGridLayout(this);
    int row = 0;
    auto label = [&](const QString& text, QWidget* box, QWidget* side = nullptr) {
        auto* l = new QLabel(text, this);
        l->setBuddy(box);
        grid->addWidget(l, row, 0);
        grid->addWidget(box, row, 1, 1, side ? 1 : 2);
        if (side) grid->addWidget(side, row, 2);
        ++row;
    };
    label(QStringLiteral("&Filename:"), txtFileName, cmdBrowse);
    label(QStringLiteral("C&ategory:"), cmbClass, cmdCategory);
    label(QStringLiteral("Directory:"), txtDir);
    label(QStringLiteral("Date:"), txtFileDate);
    label(QStringLiteral("Size:"), txtFileSize);
    label(QStringLiteral("&Url:"), txtRef);
    label(QStringLiteral("C&omment:"), txtComment);
    grid->addWidget(chkMoveFile, row++, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    resize(520, 320);

    FillCategories(selectedKey);
    connect(cmbClass, &QComboBox::currentIndexChanged, this, &frmAddPf::OnCategoryChosen);
    connect(txtFileName, &QLineEdit::textChanged, this, &frmAddPf::OnFileNameChanged);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmAddPf::OnBrowse);
    connect(cmdCategory, &QPushButton::clicked, this, &frmAddPf::OnCategory);
    connect(cmdImport, &QPushButton::clicked, this, &frmAddPf::OnImport);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmAddPf::FillCategories(const QString& keepKey) {
    const QSignalBlocker block(cmbClass);
    FillClassCombo(cmbClass, *tree);
    cmbClass->setCurrentIndex(std::max(0, FindComboKey(cmbClass, keepKey)));
    OnCategoryChosen();
}

void frmAddPf::OnCategoryChosen() {
    txtDir->setText(cmbClass->currentData(TreeRoles::Tag).toString());
}

void frmAddPf::OnFileNameChanged() {
    const QFileInfo info(txtFileName->text());
    if (!info.isFile()) return;
    txtFileDate->setText(LocalFileImport::DateText(info.lastModified()));
    txtFileSize->setText(QString::number(info.size()));
}

void frmAddPf::OnBrowse() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Open File"));
    dialog->setObjectName(QStringLiteral("dlgOpenFile"));
    dialog->setNameFilters({QStringLiteral("Flash File (*.swf)"),
                            QStringLiteral("Zip File (*.zip)"), QStringLiteral("All Files (*)")});
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::ReadOnly, false);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& path) { txtFileName->setText(path); });
    dialog->open();
}

void frmAddPf::OnCategory() {
    if (!hooks.newCategory) return;
    QDialog* dialog = hooks.newCategory(this);
    auto* created = qobject_cast<frmClassNew*>(dialog);
    if (!created) return;
    connect(created, &QDialog::finished, this, [this, created] {
        FillCategories(created->CreatedKey().isEmpty() ? cmbClass->currentData().toString()
                                                       : created->CreatedKey());
    });
}

void frmAddPf::OnImport() {
    const QString path = txtFileName->text();
    if (path.isEmpty()) {
        DialogHooks::Message(this, QMessageBox::Information,
                             QStringLiteral("Please Input FileName First!"));
        txtFileName->setFocus();
        return;
    }
    if (!QFileInfo(path).isFile()) {
        DialogHooks::Message(this, QMessageBox::Information, QStringLiteral("The File Not Found!"));
        txtFileName->setFocus();
        return;
    }
    QString notMoved;
    importedJob = LocalFileImport::ImportFile(
        path, NumberRule::ValInt32(txtFileSize->text()), cmbClass->currentData().toString(),
        txtDir->text(), chkMoveFile->isChecked(), txtRef->text(), txtComment->text(), &notMoved);
    QWidget* owner = parentWidget() ? parentWidget() : this;
    if (importedJob == 0)
        DialogHooks::Message(owner, QMessageBox::Warning,
                             QStringLiteral("The job list is full; the file was not imported."));
    else if (!notMoved.isEmpty())
        DialogHooks::Message(
            owner, QMessageBox::Warning,
            QStringLiteral("This file was not moved and is kept where it is:\n") + notMoved);
    if (hooks.saveJobDb) hooks.saveJobDb();
    accept();
}
