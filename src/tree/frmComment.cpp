#include "tree/frmComment.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/JobTable.h"

frmComment::frmComment(int job, QWidget* parent) : QDialog(parent), job(job) {
    setObjectName(QStringLiteral("frmComment"));
    setWindowTitle(QStringLiteral("Comment"));
    setModal(true);

    txtComment = new QPlainTextEdit(this);
    txtComment->setObjectName(QStringLiteral("txtComment"));
    cmdOk = new QPushButton(QStringLiteral("OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtComment);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);
    resize(380, 220);

    if (job >= 1 && job <= JobCount) txtComment->setPlainText(Jobs[job].Comment);
    txtComment->setFocus();
    connect(cmdOk, &QPushButton::clicked, this, &frmComment::OnOk);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmComment::OnOk() {
    if (job >= 1 && job <= JobCount) Jobs[job].Comment = txtComment->toPlainText();
    accept();
}
