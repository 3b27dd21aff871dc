// The tell-a-friend mail: found through dnsmasq's MX answer, delivered to aiosmtpd, and a
// scripted SMTP peer for every step that can fail.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include "common/TestEnv.h"
#include "net/DnsServers.h"
#include "net/DnsmasqServer.h"
#include "net/SmtpSender.h"
#include "net/frmTellFriend.h"
#include "store/Settings.h"

namespace {

// aiosmtpd on 127.0.0.1: each mail it accepts is written as JSON to the given file.
const char* kSmtpScript = R"PY(
import asyncio, json, sys
from aiosmtpd.controller import Controller
port, out = int(sys.argv[1]), sys.argv[2]
class Handler:
    async def handle_DATA(self, server, session, envelope):
        with open(out, "w") as f:
            json.dump({"helo": session.host_name, "from": envelope.mail_from,
                       "to": envelope.rcpt_tos,
                       "data": envelope.original_content.decode("utf-8")}, f)
        return "250 Message accepted for delivery"
c = Controller(Handler(), hostname="127.0.0.1", port=port)
c.start()
print("ready", flush=True)
sys.stdin.read()
c.stop()
)PY";

// An SMTP peer that answers each command from a table; "." is the end of the message. A reply
// may come late (delay in ms) or in two pieces (split at "|").
class ScriptedSmtp {
public:
    ScriptedSmtp() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) Serve(s);
        });
    }
    quint16 Port() const { return server.serverPort(); }

    QByteArray greeting = "220 scripted ready\r\n";
    QHash<QByteArray, QByteArray> replies;
    QHash<QByteArray, int> delays;
    QByteArray received;

private:
    void Say(QTcpSocket* s, const QByteArray& key, QByteArray reply) {
        const int delay = delays.value(key, 0);
        QList<QByteArray> pieces = reply.split('|');
        for (int i = 0; i < pieces.size(); ++i) {
            const QByteArray piece = pieces.at(i);
            QTimer::singleShot(delay + 200 * i, s, [s, piece] { s->write(piece); });
        }
    }
    void Serve(QTcpSocket* s) {
        if (!greeting.isEmpty()) Say(s, "220", greeting);
        auto inData = std::make_shared<bool>(false);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, inData, buffer] {
            const QByteArray bytes = s->readAll();
            received += bytes;
            *buffer += bytes;
            qsizetype end;
            while ((end = buffer->indexOf("\r\n")) >= 0) {
                const QByteArray line = buffer->left(end);
                buffer->remove(0, end + 2);
                QByteArray key;
                if (*inData) {
                    if (line != ".") continue;
                    *inData = false;
                    key = ".";
                } else {
                    key = line.left(4).toUpper();
                }
                QByteArray fallback = key == "DATA"   ? "354 go ahead\r\n"
                                      : key == "QUIT" ? "221 bye\r\n"
                                                      : "250 ok\r\n";
                const QByteArray reply = replies.value(key, fallback);
                if (key == "DATA" && reply.startsWith("354")) *inData = true;
                Say(s, key, reply);
            }
        });
    }
    QTcpServer server;
};

class MailTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dns = new DnsmasqServer({"--mx-host=friend.test,127.0.0.1,5", "--local=/test/"});
    }
    static void TearDownTestSuite() {
        delete dns;
        dns = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(dns->IsRunning()) << dns->Error().toStdString();
        Settings = SettingsRecord{};
        Settings.DnsServer = dns->Address();
        const QString conf = TestEnv::NewDir() + "/resolv.conf";
        TestEnv::WriteFile(conf, "nameserver 127.0.0.1\ndomain corp.sender.test\n");
        GetDnsServers(conf);
    }

    // Sends with a bare sender and collects its status lines until Done.
    QStringList Send(const SmtpSender::Mail& mail, int replyMs = 3000, int messageMs = 3000,
                     bool* delivered = nullptr) {
        SmtpSender sender;
        sender.SetLimits(replyMs, messageMs);
        QStringList lines;
        bool done = false;
        QObject::connect(&sender, &SmtpSender::StatusLine, [&](const QString& l) { lines << l; });
        QObject::connect(&sender, &SmtpSender::Done, [&](bool ok) {
            done = true;
            if (delivered) *delivered = ok;
        });
        sender.Send(mail);
        EXPECT_TRUE(TestEnv::WaitFor([&] { return done; }, 30000)) << lines.join('|').toStdString();
        return lines;
    }

    static DnsmasqServer* dns;
};
DnsmasqServer* MailTest::dns = nullptr;

// Server lines reduced to their code, so the dialogue can be compared whatever the server's text.
QStringList Codes(const QStringList& lines) {
    static const QRegularExpression reply(QStringLiteral("^(\\d{3})[ -]"));
    QStringList out;
    for (const QString& l : lines) {
        const auto m = reply.match(l);
        out << (m.hasMatch() ? m.captured(1) : l);
    }
    return out;
}

}  // namespace

TEST_F(MailTest, TheWindowDeliversTheMailToARealServer) {
    const quint16 port = TestEnv::FreePort();
    const QString out = TestEnv::NewDir() + "/mail.json";
    const QString script = TestEnv::NewDir() + "/smtp.py";
    TestEnv::WriteFile(script, kSmtpScript);
    QProcess smtp;
    // Debian's interpreter, where python3-aiosmtpd lives (not one earlier on PATH).
    smtp.start("/usr/bin/python3", {script, QString::number(port), out});
    ASSERT_TRUE(smtp.waitForReadyRead(15000)) << smtp.readAllStandardError().toStdString();
    Settings.SmtpPort = port;

    frmTellFriend w;
    w.show();
    EXPECT_EQ(w.windowTitle(), "Tell Friend Good Software");
    auto* txtFrom = w.findChild<QLineEdit*>("txtFrom");
    auto* txtTo = w.findChild<QLineEdit*>("txtTo");
    auto* txtSubject = w.findChild<QLineEdit*>("txtSubject");
    auto* txtContent = w.findChild<QPlainTextEdit*>("txtContent");
    auto* List1 = w.findChild<QListWidget*>("List1");
    auto* cmdSend = w.findChild<QPushButton*>("cmdSend");
    ASSERT_TRUE(txtFrom && txtTo && txtSubject && txtContent && List1 && cmdSend);
    EXPECT_EQ(txtFrom->text(), "Input your email address");
    EXPECT_EQ(txtTo->text(), "Input your friend email address");
    EXPECT_EQ(txtSubject->text(), "Hi, A good software - - Quorvanta");
    EXPECT_TRUE(txtContent->toPlainText().contains("More information as following"));

    // The start texts unchanged: the whole receiver text is the domain, and nobody serves it.
    cmdSend->click();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return cmdSend->isEnabled(); }, 15000));
    EXPECT_EQ(List1->item(List1->count() - 1)->text(), "Error !");
    EXPECT_EQ(List1->currentRow(), List1->count() - 1);
    // A domain too short for a lookup: the lookup's error shows as a status line.
    txtTo->setText("bob@a.bc");
    cmdSend->click();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return cmdSend->isEnabled(); }, 15000));
    EXPECT_EQ(List1->item(List1->count() - 1)->text(), "No Valid Domain Specified");

    List1->clear();
    // A zone of its own, so the Date header's offset is not the "+0000" of a test machine.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "QVT-05:30");
    txtFrom->setText("ann@sender.test");
    txtTo->setText("bob@friend.test");
    txtContent->setPlainText("Try it.\n.\n.hidden\nend");
    cmdSend->click();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return cmdSend->isEnabled(); }, 30000));
    QStringList lines;
    for (int i = 0; i < List1->count(); ++i) lines << List1->item(i)->text();
    EXPECT_EQ(Codes(lines),
              QStringList({"Resolve the email server address...",
                           "Connect to 127.0.0.1 Port " + QString::number(port) + " ...", "220",
                           "Connect Success", "SendCommand: Helo", "250",
                           "SendCommand:MAIL FROM: ann@sender.test", "250",
                           "SendCommand:RCPT TO: bob@friend.test", "250", "Send Message ... ",
                           "354", "250", "221", "Message send succeed"}))
        << lines.join('|').toStdString();

    ASSERT_TRUE(TestEnv::WaitFor([&] { return QFile::exists(out); }, 5000));
    const QJsonObject mail = QJsonDocument::fromJson(TestEnv::ReadFile(out)).object();
    EXPECT_EQ(mail["helo"].toString(), QHostInfo::localHostName());
    EXPECT_EQ(mail["from"].toString(), "ann@sender.test");
    EXPECT_EQ(mail["to"].toVariant().toStringList(), QStringList{"bob@friend.test"});
    const QString data = mail["data"].toString();
    static const QRegularExpression head(
        "^From: ann@sender\\.test\r\n"
        "Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d "
        "([+-]\\d{4})\r\n"
        "X-Mailer: Quorvanta Mailer\r\n"
        "To: bob@friend\\.test\r\n"
        "Subject: Hi, A good software - - Quorvanta\r\n"
        "\r\n"
        "Try it\\.\r\n\\.\r\n\\.hidden\r\nend\r\n$");
    const auto m = head.match(data);
    ASSERT_TRUE(m.hasMatch()) << data.toStdString();
    EXPECT_EQ(m.captured(3), "+0530");
    if (zone.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    smtp.closeWriteChannel();
    if (!smtp.waitForFinished(5000)) smtp.kill();
    smtp.waitForFinished(2000);
}

TEST_F(MailTest, EveryFailingStepEndsWithItsStatusLine) {
    const SmtpSender::Mail mail{"ann@sender.test", "bob@friend.test", "Subject", "Body"};

    // The exact dialogue, a reply in two pieces, dot-stuffing and CR LF line breaks.
    {
        ScriptedSmtp peer;
        peer.replies["HELO"] = "250-scripted greets you\r\n|250 SIZE 1000\r\n";
        Settings.SmtpPort = peer.Port();
        bool delivered = false;
        const QStringList lines =
            Send({"ann@sender.test", "bob@friend.test", "S", "a\n.\n..b\r\nc\rd"}, 3000, 3000,
                 &delivered);
        EXPECT_TRUE(delivered);
        EXPECT_EQ(lines.last(), "Message send succeed");
        EXPECT_TRUE(lines.contains("250-scripted greets you")) << lines.join('|').toStdString();
        const QByteArray r = peer.received;
        EXPECT_TRUE(r.startsWith("HELO " + QHostInfo::localHostName().toUtf8() +
                                 "\r\nMAIL FROM:<ann@sender.test>\r\n"
                                 "RCPT TO:<bob@friend.test>\r\nDATA\r\nFrom: ann@sender.test\r\n"))
            << r.toStdString();
        EXPECT_TRUE(r.endsWith("\r\nSubject: S\r\n\r\na\r\n..\r\n...b\r\nc\r\nd\r\n.\r\nQUIT\r\n"))
            << r.toStdString();
    }

    struct Case {
        QByteArray key;
        QByteArray reply;
        int delay;
        QString last;
    };
    const QList<Case> cases{
        {"220", "554 not today\r\n", 0, "Can't connect the email server..."},
        {"220", "", 0, "Can't connect the email server..."},
        {"HELO", "550 who are you\r\n", 0, "Can't open the email sending"},
        // "250" inside the text of a refusal is not success.
        {"MAIL", "550 5.1.1 sender 250 rejected\r\n", 0, "Can't send the mail from address"},
        {"RCPT", "550 no such user\r\n", 0, "Can't send the receiver's address "},
        // A reply that never ends fails its step once it is longer than any reply.
        {"HELO", QByteArray(200000, '2'), 0, "Can't open the email sending"},
        {"DATA", "554 no data\r\n", 0, "Can't send the message body"},
        {".", "554 spam\r\n", 0, "Message body send failure"},
        // The end of the message answered after its limit.
        {".", "250 queued\r\n", 3600, "Message body send failure"},
        // Every other reply has the shorter limit.
        {"RCPT", "250 ok\r\n", 2000, "Can't send the receiver's address "},
    };
    for (const Case& c : cases) {
        ScriptedSmtp peer;
        if (c.key == "220")
            peer.greeting = c.reply;
        else
            peer.replies[c.key] = c.reply;
        peer.delays[c.key] = c.delay;
        Settings.SmtpPort = peer.Port();
        bool delivered = true;
        const QStringList lines = Send(mail, 800, 2400, &delivered);
        EXPECT_EQ(lines.last(), c.last)
            << c.key.constData() << ": " << lines.join('|').toStdString();
        EXPECT_FALSE(delivered) << c.key.constData();
    }

    // The end of the message has the longer limit.
    {
        ScriptedSmtp peer;
        peer.replies["."] = "250 queued\r\n";
        peer.delays["."] = 1400;
        Settings.SmtpPort = peer.Port();
        bool delivered = false;
        const QStringList lines = Send(mail, 800, 2400, &delivered);
        EXPECT_TRUE(delivered);
        EXPECT_EQ(lines.last(), "Message send succeed") << lines.join('|').toStdString();
    }

    // No goodbye to QUIT: delivered, and no line after the server's last.
    {
        ScriptedSmtp peer;
        peer.replies["QUIT"] = "";
        Settings.SmtpPort = peer.Port();
        bool delivered = false;
        const QStringList lines = Send(mail, 500, 1000, &delivered);
        EXPECT_TRUE(delivered);
        EXPECT_EQ(lines.last(), "250 ok") << lines.join('|').toStdString();
    }

    // Nobody listening: the socket's error ends the sending.
    Settings.SmtpPort = TestEnv::FreePort();
    const QStringList refused = Send(mail);
    EXPECT_EQ(refused.last(), "0Connection refused") << refused.join('|').toStdString();
}
