#pragma once
// The main window's receiving path for browser hand-offs: messages wait in a queue and go one at
// a time into the mailbox (the hidden text box Text1); a change of the mailbox enables Timer1
// (100 ms). A tick, unless the browser scanner's found movies are due (FoundCount not 0), either
// takes the mailbox's message, empties the mailbox and parses it into the new-job dialog, or, with
// the mailbox empty, opens that dialog. The next message waits until the dialog is closed, so none
// is lost and the dialog never opens twice. Other windows open the new-job dialog the same way:
// they fill it and call RequestDialog. A message kept in the hand-off queue file carries its id;
// Answered(id) follows when its dialog is answered: finished with 1 (OK) or 0 (Cancel). A dialog
// closed any other way (Escape, its window closed: any other result) or still open when the
// program ends leaves the message in the queue file for the next start.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "browser/HandoffMessage.h"

class QTimer;

class HandoffReceiver : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // The mailbox Text1.
        std::function<QString()> mailboxText;
        std::function<void(const QString&)> setMailboxText;
        // The parser's destinations: the dialog's mode, then the dialog (loaded, not shown) filled
        // with the URL, referrer and info.
        std::function<void(const HandoffMessage&)> fillDialog;
        // The new-job dialog while it is shown, else nullptr.
        std::function<QObject*()> shownDialog;
        // Shows the new-job dialog in the mode it was given and returns it.
        std::function<QObject*()> showDialog;
        std::function<bool()> windowMinimized;
        // The main window's "Top Window" command.
        std::function<void()> topWindow;
        // The browser scanner's save dialog (FoundCount not 0).
        std::function<void()> showSaveDialog;
    };

    explicit HandoffReceiver(Hooks hooks, QObject* parent = nullptr);

    QTimer* Timer1() const { return timer; }
    // A message from the socket: queued, shown after those before it. id: its place in the
    // hand-off queue file, 0 for none. An empty message does nothing.
    void Enqueue(const QString& message, qint64 id = 0);
    // Text1's change event.
    void MailboxChanged();
    // Opens the new-job dialog at the next tick (the caller filled it and set its mode).
    void RequestDialog();
    int Waiting() const { return static_cast<int>(queue.size()); }

    // Parses s into the dialog, empties s and enables Timer1; an empty s does nothing at all.
    void Parser(QString& s);

signals:
    // The dialog of the message with that id was answered.
    void Answered(qint64 id);

private slots:
    void DialogFinished(int result);

private:
    void Tick();
    // Moves the next queued message into the mailbox when the mailbox is free: empty, no tick
    // pending and no new-job dialog shown.
    void Feed();
    // Feeds the next message once dialog is gone; id: the message it was opened for (0: none).
    void WaitForClose(QObject* dialog, qint64 id = 0);

    struct Message {
        QString text;
        qint64 id = 0;
    };

    Hooks hooks;
    QTimer* timer = nullptr;
    QList<Message> queue;
    QPointer<QObject> watched;
    // The message in the mailbox or parsed into the dialog, until its dialog opens.
    qint64 mailboxId = 0;
    // The dialog shown for a kept message, and that message's id.
    QPointer<QObject> answering;
    qint64 answeringId = 0;
};
