#include "browser/HandoffReceiver.h"

#include <QTimer>

#include "browser/FoundMovies.h"

HandoffReceiver::HandoffReceiver(Hooks h, QObject* parent) : QObject(parent), hooks(std::move(h)) {
    timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("Timer1"));
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, &HandoffReceiver::Tick);
}

void HandoffReceiver::Enqueue(const QString& message) {
    queue.append(message);
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
    hooks.setMailboxText(queue.takeFirst());
    // The mailbox's change event enables the timer; the mailbox may also be a plain store.
    MailboxChanged();
}

void HandoffReceiver::WaitForClose(QObject* dialog) {
    if (watched == dialog) return;
    watched = dialog;
    connect(dialog, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, [this] { Feed(); }); });
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
    if (!text.isEmpty()) {
        timer->stop();
        QString copy = text;
        hooks.setMailboxText(QString());
        Parser(copy);
        return;
    }
    timer->stop();
    if (hooks.windowMinimized && hooks.windowMinimized() && hooks.topWindow) hooks.topWindow();
    QObject* dialog = hooks.showDialog ? hooks.showDialog() : nullptr;
    if (dialog)
        WaitForClose(dialog);
    else
        Feed();
}

void HandoffReceiver::Parser(QString& s) {
    if (s.isEmpty()) return;
    const HandoffMessage message = HandoffMessage::Parse(s);
    if (message.Mode != 0 && hooks.fillDialog) hooks.fillDialog(message);
    s.clear();
    if (!timer->isActive()) timer->start();
}
