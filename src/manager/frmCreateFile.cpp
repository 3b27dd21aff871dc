#include "manager/frmCreateFile.h"

#include <QDir>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <memory>

#include "manager/clsJobManager.h"

frmCreateFile::frmCreateFile(const QString& name, qint64 size, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint) {
    setObjectName("frmCreateFile");
    setWindowTitle("Quorvanta");
    setModal(false);
    lblCreate = new QLabel("Create New File for saving ...", this);
    lblCreate->setObjectName("lblCreate");
    lblFile = new QLabel(QDir::toNativeSeparators(name), this);
    lblFile->setObjectName("lblFile");
    lblFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblFile->setWordWrap(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, static_cast<int>(std::clamp<qint64>(size, 1, INT_MAX)));
    ProgressBar1->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCreate);
    layout->addWidget(lblFile);
    layout->addWidget(ProgressBar1);
    setMinimumWidth(380);
}

void frmCreateFile::SetDone(qint64 done) {
    ProgressBar1->setValue(static_cast<int>(std::clamp<qint64>(done, 0, ProgressBar1->maximum())));
}

void frmCreateFile::ConnectTo(clsJobManager* manager, QWidget* parent) {
    struct Layout {
        quint64 serial = 0;
        QString name;
        qint64 done = 0;
        qint64 size = 0;
        QPointer<frmCreateFile> window;
    };
    auto layouts = std::make_shared<QHash<int, Layout>>();
    auto serials = std::make_shared<quint64>(0);
    QObject* context = parent ? static_cast<QObject*>(parent) : manager;
    QObject::connect(manager, &clsJobManager::JobFileLayout, context,
                     [layouts, serials, context, parent](int job, const QString& name, qint64 done,
                                                         qint64 size, bool ended) {
                         auto it = layouts->find(job);
                         if (ended) {
                             if (it == layouts->end()) return;
                             if (it->window) it->window->deleteLater();
                             layouts->erase(it);
                             return;
                         }
                         if (it != layouts->end()) {
                             it->done = done;
                             if (it->window) it->window->SetDone(done);
                             return;
                         }
                         const quint64 serial = ++*serials;
                         layouts->insert(job, {serial, name, done, size, {}});
                         QTimer::singleShot(kShowAfterMs, context, [layouts, job, serial, parent] {
                             auto it = layouts->find(job);
                             if (it == layouts->end() || it->serial != serial || it->window) return;
                             it->window = new frmCreateFile(it->name, it->size, parent);
                             it->window->SetDone(it->done);
                             it->window->show();
                         });
                     });
}
