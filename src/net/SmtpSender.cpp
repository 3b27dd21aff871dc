#include "net/SmtpSender.h"

#include <QHostInfo>

#include "store/Settings.h"

namespace {

// A line break inside an address or the subject would start a new header or command.
QString OneLine(const QString& text) {
    QString out = text;
    out.replace(u'\r', u' ').replace(u'\n', u' ');
    return out.trimmed();
}

// Per state: the code that lets the sending go on, and the status line when it does not come.
struct Step {
    const char* code;
    const char* failure;
};

}  // namespace

SmtpSender::SmtpSender(QObject* parent) : QObject(parent), mx(this), socket(this) {
    replyTimer.setSingleShot(true);
    connect(&mx, &MXQuery::Finished, this, &SmtpSender::OnExchanger);
    connect(&socket, &QTcpSocket::connected, this, &SmtpSender::OnConnected);
    connect(&socket, &QTcpSocket::readyRead, this, &SmtpSender::OnReadyRead);
    connect(&socket, &QTcpSocket::errorOccurred, this, &SmtpSender::OnSocketError);
    connect(&replyTimer, &QTimer::timeout, this, [this] { OnReply(QByteArray()); });
}

void SmtpSender::SetLimits(int reply, int message) {
    replyMs = reply;
    messageMs = message;
}

QString SmtpSender::DateHeader(const QDateTime& when) {
    static const char* days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int magnitude = offset < 0 ? -offset : offset;
    return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
        .arg(QLatin1String(days[d.dayOfWeek() - 1]))
        .arg(d.day(), 2, 10, QChar(u'0'))
        .arg(QLatin1String(months[d.month() - 1]))
        .arg(d.year(), 4, 10, QChar(u'0'))
        .arg(t.hour(), 2, 10, QChar(u'0'))
        .arg(t.minute(), 2, 10, QChar(u'0'))
        .arg(t.second(), 2, 10, QChar(u'0'))
        .arg(QString(QChar(offset < 0 ? u'-' : u'+')))
        .arg(magnitude / 60, 2, 10, QChar(u'0'))
        .arg(magnitude % 60, 2, 10, QChar(u'0'));
}

QByteArray SmtpSender::MessageBytes(const QString& headerBlock, const QString& content) {
    QString text = content;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        if (line.startsWith(u'.')) line.prepend(u'.');
    return headerBlock.toUtf8() + "\r\n" + lines.join(QLatin1String("\r\n")).toUtf8() + "\r\n" +
           ".\r\n";
}

QByteArray SmtpSender::ReplyCode(const QByteArray& data, qsizetype* consumed) {
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = data.indexOf('\n', start);
        if (end < 0) return {};
        const QByteArray line = data.mid(start, end - start);
        start = end + 1;
        if (line.size() >= 4 && line.at(3) == '-') continue;  // more lines follow
        if (consumed) *consumed = start;
        return line.left(3);
    }
}

void SmtpSender::Send(const Mail& m) {
    replyTimer.stop();
    socket.abort();
    buffer.clear();
    state = Resolving;
    emit StatusLine(QStringLiteral("Resolve the email server address..."));
    mail = {OneLine(m.From), OneLine(m.To), OneLine(m.Subject), m.Content};
    const qsizetype at = mail.To.indexOf(u'@');
    mx.Start(at < 0 ? mail.To : mail.To.mid(at + 1));
}

void SmtpSender::OnExchanger(const QString& exchanger, const QString& error) {
    if (state != Resolving) return;
    if (!error.isEmpty()) return Fail(error);
    host = exchanger.trimmed();
    if (host.isEmpty()) return Fail(QStringLiteral("Error !"));
    const QString date = DateHeader(QDateTime::currentDateTime());
    headers = QStringLiteral("From: ") + mail.From + QStringLiteral("\r\nDate: ") + date +
              QStringLiteral("\r\nX-Mailer: Quorvanta Mailer\r\nTo: ") + mail.To +
              QStringLiteral("\r\nSubject: ") + mail.Subject + QStringLiteral("\r\n");
    const quint16 port = Settings.SmtpPort ? Settings.SmtpPort : 25;
    socket.abort();
    state = Greeting;
    socket.connectToHost(host, port);
    emit StatusLine(QStringLiteral("Connect to ") + host + QStringLiteral(" Port ") +
                    QString::number(port) + QStringLiteral(" ..."));
    replyTimer.start(replyMs);
}

void SmtpSender::OnConnected() {
    // The greeting's wait started with the connect; it goes on until "220" arrives.
}

void SmtpSender::OnReadyRead() {
    const QByteArray piece = socket.readAll();
    if (piece.isEmpty()) return;
    QString shown = QString::fromUtf8(piece);
    while (shown.endsWith(u'\n') || shown.endsWith(u'\r')) shown.chop(1);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    emit StatusLine(shown);
    if (state == Idle || state == Resolving) return;
    buffer += piece;
    // No reply is that long: a server that never ends one fails the step instead of filling
    // the memory.
    if (buffer.size() > kMaxReply) return OnReply(QByteArray());
    qsizetype used = 0;
    const QByteArray code = ReplyCode(buffer, &used);
    if (code.isEmpty()) return;
    buffer.remove(0, used);
    OnReply(code);
}

void SmtpSender::OnSocketError(QAbstractSocket::SocketError error) {
    if (state == Idle || state == Resolving) return;
    if (state == Quit) {  // the server may close right after its goodbye
        replyTimer.stop();
        state = Idle;
        socket.abort();
        emit Done(true);
        return;
    }
    Fail(QString::number(int(error)) + socket.errorString());
}

void SmtpSender::OnReply(const QByteArray& code) {
    static const Step steps[] = {
        {"", ""},
        {"", ""},
        {"220", "Can't connect the email server..."},
        {"250", "Can't open the email sending"},
        {"250", "Can't send the mail from address"},
        {"250", "Can't send the receiver's address "},
        {"354", "Can't send the message body"},
        {"250", "Message body send failure"},
        {"221", ""},
    };
    if (state == Idle || state == Resolving) return;
    replyTimer.stop();
    buffer.clear();
    const Step& step = steps[state];
    if (code != step.code) {
        if (state == Quit) return End(true);  // delivered; no further line
        return Fail(QString::fromLatin1(step.failure));
    }
    switch (state) {
        case Greeting:
            emit StatusLine(QStringLiteral("Connect Success"));
            Command(QStringLiteral("HELO ") + (QHostInfo::localHostName().isEmpty()
                                                   ? QStringLiteral("localhost")
                                                   : QHostInfo::localHostName()));
            emit StatusLine(QStringLiteral("SendCommand: Helo"));
            return Wait(Helo, replyMs);
        case Helo:
            Command(QStringLiteral("MAIL FROM:<") + mail.From + u'>');
            emit StatusLine(QStringLiteral("SendCommand:MAIL FROM: ") + mail.From);
            return Wait(MailFrom, replyMs);
        case MailFrom:
            Command(QStringLiteral("RCPT TO:<") + mail.To + u'>');
            emit StatusLine(QStringLiteral("SendCommand:RCPT TO: ") + mail.To);
            return Wait(RcptTo, replyMs);
        case RcptTo:
            Command(QStringLiteral("DATA"));
            emit StatusLine(QStringLiteral("Send Message ... "));
            return Wait(Data, replyMs);
        case Data:
            socket.write(MessageBytes(headers, mail.Content));
            return Wait(Message, messageMs);
        case Message:
            Command(QStringLiteral("QUIT"));
            return Wait(Quit, replyMs);
        case Quit:
            socket.close();
            emit StatusLine(QStringLiteral("Message send succeed"));
            return End(true);
        default:
            return;
    }
}

void SmtpSender::Wait(State next, int ms) {
    state = next;
    replyTimer.start(ms);
}

void SmtpSender::Command(const QString& line) {
    socket.write(line.toUtf8() + "\r\n");
}

void SmtpSender::Fail(const QString& line) {
    emit StatusLine(line);
    socket.abort();
    End(false);
}

void SmtpSender::End(bool delivered) {
    replyTimer.stop();
    state = Idle;
    socket.abort();
    emit Done(delivered);
}
