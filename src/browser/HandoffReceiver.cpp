#include "browser/HandoffReceiver.h"

#include <QTimer>
#include <utility>

#include "browser/FoundMovies.h"

HandoffReceiver::HandoffReceiver(Hooks h, QObject* parent) : QObject(parent), hooks(std::move(h)) {
    timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("Timer1"));
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, &HandoffReceiver::Tick);
}

void HandoffReceiver::Enqueue(const QString& message, qint64 id) {
    if (message.isEmpty()) return;
    queue.append({message, id});
    Feed();
}

void HandoffReceiver::MailboxChanged() {
    if (!timer->isActive()) timer->start();
}

void HandoffReceiver::RequestDialog() {
    if (!timer->isActive()) timer->start();
}

void HandoffReceiver::Feed() {
    if (queue.isEmpty() || timer->isActive() || !hooks.mailboxText().isEmpty()) return;
    if (QObject* dialog = hooks.shownDialog ? hooks.shownDialog() : nullptr) {
        WaitForClose(dialog);
        return;
    }
    const Message next = queue.takeFirst();
    mailboxId = next.id;
    hooks.setMailboxText(next.text);
    // The mailbox's change event enables the timer; the mailbox may also be a plain store.
    MailboxChanged();
}

void HandoffReceiver::WaitForClose(QObject* dialog, qint64 id) {
    if (id != 0) {
        // Answered means OK or Cancel (QDialog::finished with 1 or 0); a dialog without that
        // signal is answered when it goes away.
        answering = dialog;
        answeringId = id;
        if (dialog->metaObject()->indexOfSignal("finished(int)") >= 0)
            connect(dialog, SIGNAL(finished(int)), this, SLOT(DialogFinished(int)),
                    Qt::UniqueConnection);
        else
            connect(dialog, &QObject::destroyed, this, [this] { DialogFinished(1); });
    }
    if (watched == dialog) return;
    watched = dialog;
    connect(dialog, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, [this] { Feed(); }); });
}

void HandoffReceiver::DialogFinished(int result) {
    if (sender() != answering.data() || answeringId == 0) return;
    // Closed unanswered: the message stays in the queue file, shown again at the next start.
    const qint64 id = std::exchange(answeringId, 0);
    if (result == 0 || result == 1) emit Answered(id);
}

void HandoffReceiver::Tick() {
    if (FoundCount != 0) {
        // The browser scanner's turn: its save dialog, nothing of the hand-off.
        timer->stop();
        if (hooks.showSaveDialog) hooks.showSaveDialog();
        if (!hooks.mailboxText().isEmpty()) timer->start();
        return;
    }
    const QString text = hooks.mailboxText();
    // The message the dialog about to open shows.
    const qint64 id = std::exchange(mailboxId, 0);
    if (!text.isEmpty()) {
        mailboxId = id;
        timer->stop();
        QString copy = text;
        hooks.setMailboxText(QString());
        Parser(copy);
        return;
    }
    timer->stop();
    if (hooks.windowMinimized && hooks.windowMinimized() && hooks.topWindow) hooks.topWindow();
    QObject* dialog = hooks.showDialog ? hooks.showDialog() : nullptr;
    if (dialog) {
        WaitForClose(dialog, id);
        return;
    }
    if (id != 0) emit Answered(id);
    Feed();
}

void HandoffReceiver::Parser(QString& s) {
    if (s.isEmpty()) return;
    const HandoffMessage message = HandoffMessage::Parse(s);
    if (message.Mode != 0 && hooks.fillDialog) hooks.fillDialog(message);
    s.clear();
    if (!timer->isActive()) timer->start();
}
