#include "manager/frmJobmessage.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "manager/clsJobManager.h"
#include "widgets/Icons.h"

frmJobmessage::frmJobmessage(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
    setObjectName("frmJobmessage");
    setWindowTitle("Job message");
    setModal(false);
    list1 = new QListWidget(this);
    list1->setObjectName("List1");
    cmdOK = new QPushButton("&OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, [this] {
        // Closing ends this batch of messages; the next completion starts a fresh list.
        list1->clear();
        hide();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list1);
    layout->addLayout(buttons);
    resize(420, 220);
}

void frmJobmessage::AddLine(const QString& line) {
    if (!isVisible()) {
        list1->clear();
        show();
        cmdOK->setFocus();  // Enter closes it; no focus frame on the first line
    }
    list1->addItem(new QListWidgetItem(Icons::Get("Ok"), line));
    list1->scrollToBottom();
}

void frmJobmessage::ConnectTo(clsJobManager* manager, QWidget* parent) {
    auto window = std::make_shared<QPointer<frmJobmessage>>();
    QObject::connect(manager, &clsJobManager::JobMessage,
                     parent ? parent : static_cast<QObject*>(manager),
                     [window, parent](const QString& line) {
                         if (window->isNull()) *window = new frmJobmessage(parent);
                         (*window)->AddLine(line);
                     });
}
