#include "ui/LoginQuestion.h"

#include <QCheckBox>
#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "manager/clsJobManager.h"
#include "store/JobTable.h"
#include "widgets/DialogButtons.h"

LoginQuestion::LoginQuestion(clsJobManager* m, QWidget* w, std::function<void()> onChange)
    : QObject(w), manager(m), window(w), changed(std::move(onChange)) {
    connect(manager, &clsJobManager::JobFailed, this, &LoginQuestion::OnFailed);
}

bool LoginQuestion::AsksForLogin(const QString& reason) {
    static const QRegularExpression status(QStringLiteral("HTTP/\\d(\\.\\d)? 401\\b"));
    return status.match(reason).hasMatch();
}

void LoginQuestion::OnFailed(int j, const QString& reason) {
    if (j < 1 || j > JobCount || !AsksForLogin(reason) || waiting.contains(j)) return;
    waiting << j;
    if (!dialog) AskNext();
}

void LoginQuestion::AskNext() {
    if (waiting.isEmpty()) return;
    const int j = waiting.first();
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    auto* d = new QDialog(window);
    d->setObjectName(QStringLiteral("frmLogin"));
    d->setWindowTitle(QStringLiteral("Login"));
    d->setAttribute(Qt::WA_DeleteOnClose);
    auto* text = new QLabel(QStringLiteral("The server %1 asks for a user name and password for "
                                           "%2.")
                                .arg(clsJobManager::ServerText(job.Url), job.FileName),
                            d);
    text->setWordWrap(true);
    auto* user = new QLineEdit(job.UserName, d);
    user->setObjectName(QStringLiteral("txtUserName"));
    auto* password = new QLineEdit(d);
    password->setObjectName(QStringLiteral("txtPassword"));
    password->setEchoMode(QLineEdit::Password);
    auto* keep = new QCheckBox(QStringLiteral("Keep the login with this job"), d);
    keep->setObjectName(QStringLiteral("chkKeepLogin"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User:"), user);
    form->addRow(QStringLiteral("Password:"), password);
    form->addRow(QString(), keep);
    DialogButtons buttons(d);
    auto* layout = new QVBoxLayout(d);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addLayout(buttons.Row());
    connect(buttons.Ok(), &QPushButton::clicked, d, [this, d, j, user, password, keep] {
        Answered(j, user->text(), password->text(), keep->isChecked());
        d->accept();
    });
    // However the dialog ends, the next job that waits is asked about.
    connect(d, &QDialog::finished, this, [this, j] {
        waiting.removeAll(j);
        QMetaObject::invokeMethod(
            this, [this] { AskNext(); }, Qt::QueuedConnection);
    });
    dialog = d;
    d->open();
}

void LoginQuestion::Answered(int j, const QString& user, const QString& password, bool keep) {
    if (j < 1 || j > JobCount) return;
    JobRecord& job = Jobs[static_cast<size_t>(j)];
    // A login of the job's own that was refused is replaced in the job; a kept one too.
    if (keep || job.UseLogin != 0) {
        job.UseLogin = VbTrue;
        job.UserName = user;
        job.Password = password;
        if (changed) changed();
    } else {
        manager->SetSessionLogin(job.Url, user, password);
    }
    manager->StartJob(j);
    // Jobs to the same server that wait for the question and have no login go on with it.
    if (keep) return;
    for (int other : QList<int>(waiting)) {
        const JobRecord& next = Jobs[static_cast<size_t>(other)];
        if (other == j || next.UseLogin != 0 || !clsJobManager::SameServer(next.Url, job.Url))
            continue;
        waiting.removeAll(other);
        manager->StartJob(other);
    }
}
