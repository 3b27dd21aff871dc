#include "tree/frmAddPbf.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "store/LocalFileImport.h"
#include "store/NumberRule.h"
#include "store/VbDate.h"
#include "tree/NamedWidgets.h"
#include "widgets/DialogHooks.h"
#include "widgets/TreeFill.h"
#include "tree/frmClassNew.h"
#include "widgets/DialogHooks.h"
#include "widgets/Icons.h"
#include "widgets/SortableItem.h"
#include "widgets/TreeFill.h"

namespace {
constexpr int PathRole = Qt::UserRole;  // the item's tag: the file's full path

}  // namespace

frmAddPbf::frmAddPbf(CategoryTree* tree, const QString& selectedKey, ImportHooks hooks,
                     QWidget* parent)
    : QDialog(parent), tree(tree), hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("frmAddPbf"));
    setWindowTitle(QStringLiteral("Import Previous Batch File . . ."));
    setWindowIcon(Icons::Get(QStringLiteral("AddPbf")));
    setModal(true);

    txtDirName = new QLineEdit(this);
    txtDirName->setObjectName(QStringLiteral("txtDirName"));
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->addItems({QStringLiteral("*.swf"), QStringLiteral("*.zip")});
    File1 = new QListWidget(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->hide();
    lvFile = new QTreeWidget(this);
    lvFile->setObjectName(QStringLiteral("lvFile"));
    lvFile->setHeaderLabels(
        {QStringLiteral("FileName"), QStringLiteral("Size"), QStringLiteral("Date")});
    lvFile->setRootIsDecorated(false);
    lvFile->setUniformRowHeights(true);
    lvFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvFile->header()->resizeSection(0, 240);
    lvFile->header()->resizeSection(1, 90);
    SortableItem::EnableSorting(lvFile, {1});
    cmbClass = new QComboBox(this);
    cmbClass->setObjectName(QStringLiteral("cmbClass"));
    txtDir = new QLineEdit(this);
    txtDir->setObjectName(QStringLiteral("txtDir"));
    txtDir->setReadOnly(true);
    chkMoveFile = new QCheckBox(QStringLiteral("Move File"), this);
    chkMoveFile->setObjectName(QStringLiteral("chkMoveFile"));
    cmdBrowse = NamedWidgets::Button(QStringLiteral("&Browse"), "cmdBrowse", this);
    cmdCategory = NamedWidgets::Button(QStringLiteral("&Category"), "cmdCategory", this);
    cmdRefresh = NamedWidgets::Button(QStringLiteral("Refresh"), "cmdRefresh", this);
    cmdSelectAll = NamedWidgets::Button(QStringLiteral("Select All"), "cmdSelectAll", this);
    cmdInvert = NamedWidgets::Button(QStringLiteral("Invert Selection"), "cmdInvert", this);
    cmdCheckSelection =
        NamedWidgets::Button(QStringLiteral("Check All Selection"), "cmdCheckSelection", this);
    cmdUncheckSelection =
        NamedWidgets::Button(QStringLiteral("Uncheck All Selection"), "cmdUncheckSelection", this);
    cmdCheckAll = NamedWidgets::Button(QStringLiteral("Check All"), "cmdCheckAll", this);
    cmdImport = NamedWidgets::Button(QStringLiteral("&Import Select Files"), "cmdImport", this);
    cmdImport->setDefault(true);
    cmdCancel = NamedWidgets::Button(QStringLiteral("Cancel"), "cmdCancel", this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Folder:"), this), 0, 0);
    grid->addWidget(txtDirName, 0, 1);
    grid->addWidget(cmdBrowse, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("File type:"), this), 1, 0);
    grid->addWidget(Combo1, 1, 1);
    grid->addWidget(cmdRefresh, 1, 2);
    grid->addWidget(lvFile, 2, 0, 1, 2);
    auto* side = new QVBoxLayout;
    for (QPushButton* b :
         {cmdSelectAll, cmdInvert, cmdCheckSelection, cmdUncheckSelection, cmdCheckAll})
        side->addWidget(b);
    side->addStretch(1);
    grid->addLayout(side, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Category:"), this), 3, 0);
    grid->addWidget(cmbClass, 3, 1);
    grid->addWidget(cmdCategory, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("Directory:"), this), 4, 0);
    grid->addWidget(txtDir, 4, 1, 1, 2);
    grid->addWidget(chkMoveFile, 5, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    resize(640, 480);

    FillCategories(selectedKey);
    connect(cmbClass, &QComboBox::currentIndexChanged, this,
            [this] { txtDir->setText(cmbClass->currentData(TreeRoles::Tag).toString()); });
    connect(txtDirName, &QLineEdit::textChanged, this, &frmAddPbf::OnFolderTyped);
    connect(Combo1, &QComboBox::currentTextChanged, this,
            [this](const QString& pattern) { AddFiletoLv(pattern); });
    connect(cmdRefresh, &QPushButton::clicked, this,
            [this] { AddFiletoLv(Combo1->currentText()); });
    connect(cmdBrowse, &QPushButton::clicked, this, &frmAddPbf::OnBrowse);
    connect(cmdCategory, &QPushButton::clicked, this, &frmAddPbf::OnCategory);
    connect(cmdSelectAll, &QPushButton::clicked, lvFile, &QTreeWidget::selectAll);
    connect(cmdInvert, &QPushButton::clicked, this, [this] {
        for (int r = 0; r < lvFile->topLevelItemCount(); ++r) {
            QTreeWidgetItem* item = lvFile->topLevelItem(r);
            item->setSelected(!item->isSelected());
        }
    });
    connect(cmdCheckSelection, &QPushButton::clicked, this,
            [this] { SetChecked(true, Qt::Checked); });
    connect(cmdUncheckSelection, &QPushButton::clicked, this,
            [this] { SetChecked(true, Qt::Unchecked); });
    connect(cmdCheckAll, &QPushButton::clicked, this, [this] { SetChecked(false, Qt::Checked); });
    connect(cmdImport, &QPushButton::clicked, this, &frmAddPbf::OnImport);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmAddPbf::FillCategories(const QString& keepKey) {
    const QSignalBlocker block(cmbClass);
    FillClassCombo(cmbClass, *tree);
    cmbClass->setCurrentIndex(std::max(0, FindComboKey(cmbClass, keepKey)));
    txtDir->setText(cmbClass->currentData(TreeRoles::Tag).toString());
}

void frmAddPbf::AddFiletoLv(const QString& pattern) {
    lvFile->clear();
    File1->clear();
    if (listingFolder.isEmpty()) return;
    const QFileInfoList files =
        QDir(listingFolder).entryInfoList({pattern}, QDir::Files | QDir::Hidden, QDir::Name);
    QList<QTreeWidgetItem*> rows;
    for (const QFileInfo& file : files) {
        File1->addItem(file.fileName());
        auto* item = new SortableItem;
        item->setText(0, file.fileName());
        item->setText(1, QString::number(file.size()));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, LocalFileImport::DateText(file.lastModified()));
        item->setData(2, SortableItem::SortRole, VbDate::FromDateTime(file.lastModified()));
        item->setData(0, PathRole, DialogHooks::WithSeparator(listingFolder) + file.fileName());
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        rows.append(item);
    }
    lvFile->addTopLevelItems(rows);
}

void frmAddPbf::OnFolderTyped() {
    const QString folder = txtDirName->text();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
    listingFolder = folder;
    AddFiletoLv(Combo1->currentText());
}

void frmAddPbf::OnBrowse() {
    DialogHooks::PickFolder(this, txtDirName->text(), [this](const QString& folder) {
        // Setting the box lists the folder.
        txtDirName->setText(DialogHooks::WithSeparator(folder));
    });
}

void frmAddPbf::OnCategory() {
    if (!hooks.newCategory) return;
    auto* created = qobject_cast<frmClassNew*>(hooks.newCategory(this));
    if (!created) return;
    connect(created, &QDialog::finished, this, [this, created] {
        FillCategories(created->CreatedKey().isEmpty() ? cmbClass->currentData().toString()
                                                       : created->CreatedKey());
    });
}

void frmAddPbf::SetChecked(bool selectedOnly, Qt::CheckState state) {
    for (int r = 0; r < lvFile->topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = lvFile->topLevelItem(r);
        if (!selectedOnly || item->isSelected()) item->setCheckState(0, state);
    }
}

void frmAddPbf::OnImport() {
    const QString folder = txtDirName->text();
    if (folder.isEmpty()) {
        DialogHooks::Message(this, QMessageBox::Information,
                             QStringLiteral("Please Select Folder First!"));
        txtDirName->setFocus();
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        DialogHooks::Message(this, QMessageBox::Information,
                             QStringLiteral("The folder Not Found!"));
        txtDirName->setFocus();
        return;
    }
    QStringList notMoved;
    bool full = false;
    const QString classKey = cmbClass->currentData().toString();
    for (int r = 0; r < lvFile->topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = lvFile->topLevelItem(r);
        if (item->checkState(0) != Qt::Checked) continue;
        QString problem;
        const int job = LocalFileImport::ImportFile(
            item->data(0, PathRole).toString(), NumberRule::ValInt32(item->text(1)), classKey,
            txtDir->text(), chkMoveFile->isChecked(), QString(), QString(), &problem);
        if (job == 0) {
            full = true;
            break;
        }
        importedJobs.append(job);
        if (!problem.isEmpty()) notMoved.append(problem);
    }
    QWidget* owner = parentWidget() ? parentWidget() : this;
    QStringList told;
    if (full) told.append(QStringLiteral("The job list is full; not every file was imported."));
    if (!notMoved.isEmpty())
        told.append(QStringLiteral("These files were not moved and are kept where they are:\n") +
                    notMoved.join(QLatin1Char('\n')));
    if (!told.isEmpty())
        DialogHooks::Message(owner, QMessageBox::Warning, told.join(QStringLiteral("\n\n")));
    if (hooks.saveJobDb) hooks.saveJobDb();
    accept();
}
