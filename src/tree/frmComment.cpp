#include "tree/frmComment.h"

#include "widgets/DialogButtons.h"

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
    DialogButtons dialogButtons(this, DialogButtons::NoDefault);
    cmdOk = dialogButtons.Ok();
    cmdCancel = dialogButtons.Cancel();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtComment);
    QHBoxLayout* buttons = dialogButtons.Row();
    layout->addLayout(buttons);
    resize(380, 220);

    if (job >= 1 && job <= JobCount) txtComment->setPlainText(Jobs[job].Comment);
    txtComment->setFocus();
    connect(cmdOk, &QPushButton::clicked, this, &frmComment::OnOk);
}

void frmComment::OnOk() {
    if (job >= 1 && job <= JobCount) Jobs[job].Comment = txtComment->toPlainText();
    accept();
}
