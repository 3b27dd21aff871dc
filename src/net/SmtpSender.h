#pragma once
// Delivers one plain-text mail without a mail account: the receiver's mail exchanger is looked up
// (MXQuery) and the mail is handed to it over SMTP. Every step is reported as a status line; the
// dialogue is a small state machine on the socket's signals, each reply waited for with a limit.

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

#include "net/MXQuery.h"

class SmtpSender : public QObject {
    Q_OBJECT
public:
    struct Mail {
        QString From;
        QString To;
        QString Subject;
        QString Content;
    };
    static constexpr int kReplyMs = 10000;    // every reply but the one to the message
    static constexpr int kMessageMs = 20000;  // the reply to the end of the message
    static constexpr qsizetype kMaxReply = 64 * 1024;

    explicit SmtpSender(QObject* parent = nullptr);

    // The lookup, for its input box and reply limit.
    MXQuery* Lookup() { return &mx; }
    void SetLimits(int replyMs, int messageMs);

    // Starts sending; an earlier sending still running is dropped. StatusLine reports each step
    // and each piece the server sends; Done ends every sending.
    void Send(const Mail& mail);
    bool IsSending() const { return state != Idle; }

    // "Ddd, dd Mmm yyyy hh:mm:ss +hhmm" with English names and the time's own offset from UTC.
    static QString DateHeader(const QDateTime& when);
    // The message as sent: the header block, an empty line, the content with every line that
    // begins with "." given one more and every line break sent as CR LF, then the end mark.
    static QByteArray MessageBytes(const QString& headers, const QString& content);
    // The code of a complete reply in data (the first three characters of the first line that
    // has no "-" after its code), or empty while the reply is incomplete; consumed is set to the
    // number of bytes the reply took.
    static QByteArray ReplyCode(const QByteArray& data, qsizetype* consumed = nullptr);

signals:
    void StatusLine(const QString& text);
    void Done(bool delivered);

private:
    enum State { Idle, Resolving, Greeting, Helo, MailFrom, RcptTo, Data, Message, Quit };

    void OnExchanger(const QString& host, const QString& error);
    void OnConnected();
    void OnReadyRead();
    void OnSocketError(QAbstractSocket::SocketError error);
    void OnReply(const QByteArray& code);
    void Wait(State next, int ms);
    void Command(const QString& line);
    void Fail(const QString& line);
    void End(bool delivered);

    MXQuery mx;
    QTcpSocket socket;
    QTimer replyTimer;
    State state = Idle;
    int replyMs = kReplyMs;
    int messageMs = kMessageMs;
    Mail mail;
    QString host;
    QString headers;
    QByteArray buffer;
};
