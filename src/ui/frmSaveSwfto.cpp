#include "ui/frmSaveSwfto.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTreeWidget>

#include "newjob/UrlFileName.h"
#include "player/flash1.h"
#include "store/AtomicFile.h"
#include "store/CategoryTree.h"
#include "store/JobRecord.h"
#include "store/JobTable.h"
#include "store/LocalFileImport.h"
#include "store/VbDate.h"
#include "tree/NamedWidgets.h"
#include "widgets/DialogHooks.h"
#include "widgets/SliderClickStyle.h"
#include "widgets/TreeFill.h"

frmSaveSwfto::frmSaveSwfto(CategoryTree* t, Hooks h, QWidget* parent)
    : QDialog(parent), tree(t), hooks(std::move(h)) {
    setObjectName("frmSaveSwfto");
    setWindowTitle("Save Flash");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    ListView1 = new QTreeWidget;
    ListView1->setObjectName("ListView1");
    ListView1->setHeaderLabels({"Url"});
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->header()->setStretchLastSection(true);
    lblCount = new QLabel;
    lblCount->setObjectName("lblCount");

    myFlash1 = new flash1;
    myFlash1->setObjectName("myFlash1");
    myFlash1->setMinimumSize(260, 200);
    Slider1 = new QSlider(Qt::Horizontal);
    Slider1->setObjectName("Slider1");
    Slider1->setMinimum(1);
    Slider1->setMaximum(1);
    SliderClickStyle::Apply(Slider1);
    auto* preview = new QGroupBox("Preview");
    preview->setObjectName("fraPreview");
    auto* previewLayout = new QVBoxLayout(preview);
    previewLayout->addWidget(myFlash1, 1);
    previewLayout->addWidget(Slider1);
    lblCache = new QLabel;
    lblCache->setObjectName("lblCache");
    lblCache->setWordWrap(true);
    previewLayout->addWidget(lblCache);

    txtRename = NamedWidgets::LineEdit("txtRename");
    Command1 = NamedWidgets::Button("<=", "Command1");
    Command1->setFixedWidth(36);
    txtComment = NamedWidgets::LineEdit("txtComment");
    txtSaveAs1 = NamedWidgets::LineEdit("txtSaveAs1");
    cmdDlg1 = NamedWidgets::Button("&Browse", "cmdDlg1");
    cmbClass1 = new QComboBox;
    cmbClass1->setObjectName("cmbClass1");
    cmdClass1 = NamedWidgets::Button("&Category", "cmdClass1");
    cmdSave = NamedWidgets::Button("Save Flash", "cmdSave");
    cmdCancel = NamedWidgets::Button("Cancel", "cmdCancel");

    auto* left = new QVBoxLayout;
    left->addWidget(NamedWidgets::Caption("Include Url:", ListView1));
    left->addWidget(ListView1, 1);
    left->addWidget(lblCount);

    auto* boxes = new QGridLayout;
    int row = 0;
    boxes->addWidget(NamedWidgets::Caption("Rename:", txtRename), row, 0);
    boxes->addWidget(txtRename, row, 1);
    boxes->addWidget(Command1, row++, 2);
    boxes->addWidget(NamedWidgets::Caption("Comment:", txtComment), row, 0);
    boxes->addWidget(txtComment, row++, 1, 1, 2);
    boxes->addWidget(NamedWidgets::Caption("Save To:", txtSaveAs1), row, 0);
    boxes->addWidget(txtSaveAs1, row, 1);
    boxes->addWidget(cmdDlg1, row++, 2);
    boxes->addWidget(NamedWidgets::Caption("Cagetory:", cmbClass1), row, 0);
    boxes->addWidget(cmbClass1, row, 1);
    boxes->addWidget(cmdClass1, row++, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);

    auto* right = new QVBoxLayout;
    right->addWidget(preview, 1);
    right->addLayout(boxes);
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);
    resize(760, 440);

    FillClasses();
    // A row is chosen however it is selected: a click, the keys, an assistive tool. A row that
    // only becomes current (the list taking the focus, the row before it saved) changes nothing
    // the user typed, and "Save Flash" wants a selected row. A click on the chosen row takes its
    // name again, as "<=" does.
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
        if (!selected.isEmpty()) RowChosen(selected.first());
    });
    connect(ListView1, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { RowChosen(item); });
    connect(Command1, &QPushButton::clicked, this, [this] { RowChosen(ListView1->currentItem()); });
    // The folder follows the category the user chooses (again); a refill of the list keeps both.
    auto applyClass = [this] {
        if (cmbClass1->currentIndex() >= 0)
            txtSaveAs1->setText(cmbClass1->currentData(TreeRoles::Tag).toString());
    };
    connect(cmbClass1, &QComboBox::currentIndexChanged, this, applyClass);
    connect(cmbClass1, &QComboBox::activated, this, applyClass);
    connect(cmdClass1, &QPushButton::clicked, this, [this] {
        if (hooks.newCategory) hooks.newCategory(this);
    });
    // A category added (here or anywhere) is offered at once.
    connect(tree, &CategoryTree::Changed, this, [this] { FillClasses(); });
    connect(cmdDlg1, &QPushButton::clicked, this, [this] {
        QPointer<QLineEdit> box(txtSaveAs1);
        DialogHooks::PickFolder(this, txtSaveAs1->text(), [box](const QString& chosen) {
            if (!box || chosen.isEmpty()) return;
            box->setText(chosen.endsWith(u'/') ? chosen : chosen + u'/');
        });
    });
    connect(Slider1, &QSlider::sliderReleased, this,
            [this] { myFlash1->GotoFrame(Slider1->value()); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { Save(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmSaveSwfto::FillClasses() {
    const QString key = cmbClass1->currentData(TreeRoles::Key).toString();
    const QSignalBlocker quiet(cmbClass1);
    FillClassCombo(cmbClass1, *tree);
    const int again = cmbClass1->findData(key, TreeRoles::Key);
    if (again >= 0) cmbClass1->setCurrentIndex(again);
    if (txtSaveAs1->text().isEmpty() && cmbClass1->currentIndex() >= 0)
        txtSaveAs1->setText(cmbClass1->currentData(TreeRoles::Tag).toString());
}

void frmSaveSwfto::TakeMovies(const QStringList& movies, const QString& page) {
    ++generation;
    pageUrl = page;
    lblCount->setText("Quorvanta total have found " + QString::number(movies.size()).trimmed() +
                      " Flash files in Ie window.");
    ListView1->clear();
    for (const QString& m : movies) ListView1->addTopLevelItem(new QTreeWidgetItem({m.trimmed()}));
    FillClasses();
}

void frmSaveSwfto::RowChosen(QTreeWidgetItem* item) {
    if (!item) return;
    const QString url = item->text(0);
    txtRename->setText(FileNameNoQuery(url));
    // The row shown already (a click that selected it) is not looked up twice.
    if (url == shownUrl && generation == shownGeneration) return;
    shownUrl = url;
    shownGeneration = generation;
    lblCache->clear();
    auto notCached = [this] {
        // The movie shown before is not this row's.
        myFlash1->LoadMovie(QString());
        Slider1->setMaximum(1);
        lblCache->setText("Not in the browser's cache: it will be downloaded");
    };
    if (!hooks.lookupCacheEntry) {
        notCached();
        return;
    }
    QPointer<frmSaveSwfto> self(this);
    const int asked = generation;
    hooks.lookupCacheEntry(url, [self, asked, url, notCached](bool found, const QString& file) {
        // Another row was chosen meanwhile.
        if (!self || asked != self->generation || url != self->shownUrl) return;
        if (!found)
            notCached();
        else if (self->myFlash1->LoadMovie(file))
            self->Slider1->setMaximum(qMax(1, self->myFlash1->TotalFrames()));
    });
}

int frmSaveSwfto::CompleteJobOf(const QString& url) {
    const QString wanted = url.trimmed();
    if (wanted.isEmpty()) return 0;
    for (int i = JobCount; i >= 1; --i) {
        const JobRecord& job = Jobs[static_cast<size_t>(i)];
        if (job.State == StateComplete && job.Url.trimmed() == wanted) return i;
    }
    return 0;
}

void frmSaveSwfto::Save() {
    QTreeWidgetItem* item = ListView1->currentItem();
    if (!item || !item->isSelected()) return;
    const QString url = item->text(0);
    // The boxes as they are now: another row chosen while the cache answers does not change them.
    const Choice choice{txtRename->text(), txtSaveAs1->text(),
                        cmbClass1->currentData(TreeRoles::Key).toString(), txtComment->text()};
    if (!hooks.lookupCacheEntry) {
        AskDownload(item, url, choice.comment);
        return;
    }
    cmdSave->setEnabled(false);
    QPointer<frmSaveSwfto> self(this);
    const int asked = generation;
    hooks.lookupCacheEntry(url, [self, asked, item, url, choice](bool found, const QString& file) {
        if (!self) return;
        self->cmdSave->setEnabled(true);
        // The list was replaced by a newer scan meanwhile: the row asked about is gone.
        if (asked != self->generation) return;
        if (found)
            self->SaveCached(item, url, file, choice);
        else
            self->AskDownload(item, url, choice.comment);
    });
}

void frmSaveSwfto::SaveCached(QTreeWidgetItem* item, const QString& url, const QString& file,
                              const Choice& choice) {
    if (choice.name.isEmpty()) {
        Tell("Please Input FileName First!");
        txtRename->setFocus();
        return;
    }
    QString target = choice.folder + "/" + choice.name;
    target.replace(u'\\', u'/');
    while (target.contains("//")) target.replace("//", "/");
    if (QFileInfo::exists(target)) {
        auto* box = new QMessageBox(QMessageBox::Question, "Quorvanta",
                                    "File existed! Do you want to overwrite it?",
                                    QMessageBox::Yes | QMessageBox::No, this);
        box->setObjectName("msgOverwrite");
        box->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<frmSaveSwfto> self(this);
        const int asked = generation;
        connect(box, &QMessageBox::finished, this, [=](int result) {
            if (!self || asked != self->generation) return;
            if (result == QMessageBox::Yes) self->CopyAndRecord(item, url, file, target, choice);
        });
        box->open();
        return;
    }
    CopyAndRecord(item, url, file, target, choice);
}

void frmSaveSwfto::CopyAndRecord(QTreeWidgetItem* item, const QString& url, const QString& file,
                                 const QString& target, const Choice& choice) {
    // Copied into a temporary file that replaces the target only when complete.
    QString error;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        error = in.errorString();
    else
        AtomicFile::Copy(in, target, &error);
    if (!error.isEmpty()) {
        Tell(QStringLiteral("Could not save %1:\n%2").arg(target, error), true);
        return;
    }
    // A saved movie also keeps its file name, completion time and the page it was found on.
    JobRecord job = LocalFileImport::ImportedRecord(target, LocalFileImport::SizeOf(target),
                                                    choice.classKey, url, choice.comment);
    job.FileName = QFileInfo(target).fileName();
    job.CompleteTime = job.CreateTime;
    job.Referer = pageUrl;
    if (!AddJob(job)) {
        // The copy stays where it is; the job table is full.
        Tell(QStringLiteral("%1 was saved, but no more jobs can be recorded.").arg(target), true);
        RemoveRow(item);
        return;
    }
    if (hooks.saveJobDb) hooks.saveJobDb();
    Tell("Save Flash Catoon File :\r\n" + url + "\r\nto \r\n" + target + "\r\nsucceed .");
    RemoveRow(item);
}

void frmSaveSwfto::AskDownload(QTreeWidgetItem* item, const QString& url, const QString& comment) {
    QMessageBox* box;
    if (const int done = CompleteJobOf(url)) {
        // Downloaded before: the new job would quietly get a numbered name beside the first copy.
        box = new QMessageBox(
            QMessageBox::Question, "Quorvanta",
            QStringLiteral("This movie has been downloaded already:\n%1\nto %2\n\nDownload a "
                           "second copy?")
                .arg(url, Jobs[static_cast<size_t>(done)].LocalFile),
            QMessageBox::Yes | QMessageBox::No, this);
        box->setObjectName("msgSavedBefore");
        box->setDefaultButton(QMessageBox::No);
    } else {
        box = new QMessageBox(QMessageBox::Information, "Quorvanta",
                              "Flash catoon file has not downloaded completely by IE , do you "
                              "want to use Quorvanta to download it ?",
                              QMessageBox::Yes | QMessageBox::No, this);
        box->setObjectName("msgDownload");
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frmSaveSwfto> self(this);
    const int asked = generation;
    connect(box, &QMessageBox::finished, this, [=](int result) {
        if (!self) return;
        if (result == QMessageBox::Yes && self->hooks.newJob)
            self->hooks.newJob(url, comment, self->pageUrl);
        if (asked == self->generation) self->RemoveRow(item);
    });
    box->open();
}

void frmSaveSwfto::RemoveRow(QTreeWidgetItem* item) {
    const int index = ListView1->indexOfTopLevelItem(item);
    if (index >= 0) delete ListView1->takeTopLevelItem(index);
}

void frmSaveSwfto::Tell(const QString& text, bool warning) {
    auto* box = new QMessageBox(warning ? QMessageBox::Warning : QMessageBox::Information,
                                "Quorvanta", text, QMessageBox::Ok, this);
    box->setObjectName("msgSave");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
