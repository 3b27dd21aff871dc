// A hand-off that is taken is never lost: the socket answers "taken" only once the message is
// synced into the queue file, a killed program shows it after its restart, and the socket refuses
// with a reason whatever the library would not send.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <future>

#include "browser/HandoffQueue.h"
#include "browser/HandoffReceiver.h"
#include "browser/HandoffServer.h"
#include "browser/SocketPlace.h"
#include "common/TestEnv.h"
#include "handoff_lib/quorvanta.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "ui/frmMain.h"

namespace {

QString QueueFile() {
    return DataDir + "/handoff.qvq";
}

// Connects to the program's socket; -1 on failure.
int Connect() {
    const QByteArray path = QFile::encodeName(SocketPlace::Path());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), path.size() + 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the peer closes, or until one line when untilLine.
QByteArray ReadAnswer(int fd, bool untilLine) {
    QByteArray answer;
    char buffer[256];
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    while (!(untilLine && answer.contains('\n'))) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        answer.append(buffer, n);
    }
    return answer;
}

// Sends the pieces on one connection, reading one answer line after each but the last, then
// ends its side and reads everything up to the close; runs on its own thread while the test's
// event loop serves.
QByteArray Exchange(const QList<QByteArray>& pieces) {
    auto result = std::async(std::launch::async, [pieces] {
        const int fd = Connect();
        if (fd < 0) return QByteArray("no connection");
        QByteArray answer;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            ::send(fd, pieces[i].constData(), pieces[i].size(), MSG_NOSIGNAL);
            if (i + 1 == pieces.size()) ::shutdown(fd, SHUT_WR);
            answer += ReadAnswer(fd, i + 1 < pieces.size());
        }
        ::close(fd);
        return answer;
    });
    TestEnv::WaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        10000);
    return result.get();
}

QByteArray Frame(const QByteArray& message) {
    return "QV-HANDOFF " + QByteArray::number(message.size()) + "\n" + message;
}

QByteArray Down(const QByteArray& url) {
    return "downmy_kvd_Url:=" + url + "||**KVDRMB**||";
}

}  // namespace

TEST(HandoffSocket, RefusesWhatTheLibraryWouldNotSendEachWithItsReason) {
    TestEnv::IsolateHome();
    HandoffServer server;
    ASSERT_TRUE(server.Listen(SocketPlace::Path())) << server.ErrorString().toStdString();
    ASSERT_TRUE(server.KeepQueueIn(QueueFile()));
    QStringList received;
    server.SetReceiver([&](const QString& m, qint64) { received << m; });

    const QByteArray taken = "QV-TAKEN\n";
    const QByteArray second = "QV-REFUSED one message per connection: a second one was sent\n";
    struct Case {
        QList<QByteArray> pieces;
        QByteArray answer;
        QStringList received;
    };
    const QList<Case> cases = {
        {{Frame(Down("http://127.0.0.1/a.swf"))}, taken, {Down("http://127.0.0.1/a.swf")}},
        {{Frame(Down(QByteArray("a\0b", 3)))}, "QV-REFUSED a text argument holds a NUL byte\n", {}},
        {{Frame(Down("\xC3\x28"))}, "QV-REFUSED a text argument is not UTF-8\n", {}},
        // Overlong form, surrogate, above U+10FFFF, cut short at the end.
        {{Frame("\xC0\x80")}, "QV-REFUSED a text argument is not UTF-8\n", {}},
        {{Frame("\xED\xA0\x80")}, "QV-REFUSED a text argument is not UTF-8\n", {}},
        {{Frame("\xF4\x90\x80\x80")}, "QV-REFUSED a text argument is not UTF-8\n", {}},
        {{Frame("ok\xE2\x82")}, "QV-REFUSED a text argument is not UTF-8\n", {}},
        {{"QV-HANDOFF 5x\nabcde"}, "QV-REFUSED the byte count is not a decimal number\n", {}},
        {{"QV-HANDOFF -1\n"}, "QV-REFUSED the byte count is not a decimal number\n", {}},
        {{"QV-HANDOFF \n"}, "QV-REFUSED the byte count is not a decimal number\n", {}},
        {{"QV-HANDOFF 65537\n"}, "QV-REFUSED the message is longer than 65536 bytes\n", {}},
        {{"QV-HANDOFF 99999999999999999999\n"},
         "QV-REFUSED the message is longer than 65536 bytes\n",
         {}},
        // No line end within the longest header: not this protocol.
        {{"QV-HANDOFF 000000000000000000000000"}, "QV-REFUSED unknown request\n", {}},
        // Framed well but no hand-off with an address: refused, kept nowhere.
        {{Frame("")},
         "QV-REFUSED the message starts with no command word (down, search or all)\n",
         {}},
        {{Frame("downmy_kvd_Info:=x||**KVDRMB**||")},
         "QV-REFUSED the message names no address\n",
         {}},
        // Two messages in one write, and a second one after the answer: the first is taken.
        {{Frame(Down("one")) + Frame(Down("two"))}, taken + second, {Down("one")}},
        {{Frame(Down("three")), Frame(Down("four"))}, taken + second, {Down("three")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pieces.join("|").toStdString());
        received.clear();
        EXPECT_EQ(Exchange(c.pieces), c.answer);
        QTest::qWait(20);
        EXPECT_EQ(received, c.received);
    }
    // Only the messages taken are in the queue file, in order, as they came.
    HandoffQueue onDisk;
    ASSERT_TRUE(onDisk.Open(QueueFile()));
    QList<QByteArray> kept;
    for (const HandoffQueue::Entry& e : onDisk.Entries()) kept << e.message;
    EXPECT_EQ(kept,
              (QList<QByteArray>{Down("http://127.0.0.1/a.swf"), Down("one"), Down("three")}));

    // Full: the next message is refused, not taken; one answered makes room again.
    for (int i = kept.size(); i < HandoffQueue::kMaxWaiting; ++i)
        ASSERT_EQ(Exchange({Frame(Down(QByteArray::number(i)))}), taken);
    EXPECT_EQ(Exchange({Frame(Down("full"))}),
              "QV-REFUSED the program already holds 100 hand-offs whose dialog is not answered "
              "yet\n");
    server.Forget(server.Queue().Entries().first().id);
    EXPECT_EQ(Exchange({Frame(Down("room"))}), taken);
    ASSERT_TRUE(onDisk.Open(QueueFile()));
    EXPECT_EQ(onDisk.Entries().size(), HandoffQueue::kMaxWaiting);
    EXPECT_EQ(onDisk.Entries().last().message, Down("room"));
}

TEST(HandoffQueueFile, KeepsMessagesAcrossOpensAndSetsATornFileAside) {
    TestEnv::IsolateHome();
    HandoffQueue queue;
    ASSERT_TRUE(queue.Open(QueueFile()));
    const qint64 a = queue.Add("first\nline");
    const qint64 b = queue.Add(QByteArray(65536, 'x'));
    ASSERT_GT(a, 0);
    ASSERT_GT(b, a);
    ASSERT_TRUE(queue.Remove(a));
    HandoffQueue again;
    ASSERT_TRUE(again.Open(QueueFile()));
    ASSERT_EQ(again.Entries().size(), 1);
    EXPECT_EQ(again.Entries()[0].id, b);
    EXPECT_EQ(again.Entries()[0].message, QByteArray(65536, 'x'));
    // Ids go on after a restart, so an answer never removes a newer message.
    EXPECT_GT(again.Add("next"), b);

    // Whatever cannot be read whole is set aside and the queue starts empty.
    const QByteArray whole = TestEnv::ReadFile(QueueFile());
    for (const QByteArray& torn :
         {whole.left(whole.size() - 1), QByteArray("QV-QUEUE 1\n1 5\nabc"),
          QByteArray("QV-QUEUE 1\n1 x\n\n"), QByteArray("something else")}) {
        SCOPED_TRACE(torn.left(40).toStdString());
        ASSERT_TRUE(TestEnv::WriteFile(QueueFile(), torn));
        QString error;
        EXPECT_FALSE(again.Open(QueueFile(), &error));
        EXPECT_TRUE(again.Entries().isEmpty());
        EXPECT_NE(error.indexOf(".bad"), -1) << error.toStdString();
        EXPECT_EQ(TestEnv::ReadFile(QueueFile() + ".bad"), torn);
        EXPECT_FALSE(QFile::exists(QueueFile()));
    }
}

// The program started by the library, killed with SIGKILL right after it answered "taken", and
// started again: the message is in its dialog. Answered, it is gone for good.
TEST(HandoffQueueFile, TakenMessageSurvivesAKillAndOpensAfterTheRestart) {
    TestEnv::IsolateHome();
    ClearJobs();
    ASSERT_EQ(quorvanta_add_url("http://127.0.0.1/kept.swf", "Kept", "http://127.0.0.1/"), 0)
        << quorvanta_last_error();
    // What is no hand-off is refused and never queued, so no restart opens a dialog for it.
    EXPECT_TRUE(Exchange({Frame("0123456789")}).startsWith("QV-REFUSED "));
    // The listener's pid, and the kill, at once.
    const int fd = Connect();
    ASSERT_GE(fd, 0);
    ucred peer{};
    socklen_t size = sizeof peer;
    ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size), 0);
    ::close(fd);
    ASSERT_EQ(::kill(peer.pid, SIGKILL), 0);
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            const QByteArray stat =
                TestEnv::ReadFile(QStringLiteral("/proc/%1/stat").arg(peer.pid));
            return stat.isEmpty() || stat.contains(") Z ");
        },
        5000));

    // The restart, wired as the program wires it.
    auto restart = [](HandoffServer& server, std::unique_ptr<frmMain>& window) {
        window = std::make_unique<frmMain>();
        window->Load();
        window->show();
        ASSERT_TRUE(server.Listen(SocketPlace::Path()));
        ASSERT_TRUE(server.KeepQueueIn(QueueFile()));
        QObject::connect(window->Handoff(), &HandoffReceiver::Answered, &server,
                         &HandoffServer::Forget);
        HandoffReceiver* receiver = window->Handoff();
        server.SetReceiver([receiver](const QString& m, qint64 id) { receiver->Enqueue(m, id); });
    };
    auto shown = [](frmMain& window) {
        frmNewDown1* d = nullptr;
        TestEnv::WaitFor([&] { return (d = window.NewJobs()->Loaded()) && d->isVisible(); }, 5000);
        return d && d->isVisible() ? d->txtUrl->text() : QString();
    };
    {
        // Ended with the dialog still open, unanswered: the message stays.
        HandoffServer server;
        std::unique_ptr<frmMain> window;
        restart(server, window);
        EXPECT_EQ(shown(*window), "http://127.0.0.1/kept.swf");
    }
    {
        // Closed with Escape (a press without its release), unanswered: the message stays.
        HandoffServer server;
        std::unique_ptr<frmMain> window;
        restart(server, window);
        ASSERT_EQ(shown(*window), "http://127.0.0.1/kept.swf");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(window->NewJobs()->Loaded(), &escape);
        ASSERT_TRUE(TestEnv::WaitFor([&] { return window->NewJobs()->Loaded() == nullptr; }, 5000));
        QTest::qWait(300);
        EXPECT_EQ(server.Queue().Entries().size(), 1);
    }
    {
        HandoffServer server;
        std::unique_ptr<frmMain> window;
        restart(server, window);
        frmNewDown1* d = nullptr;
        ASSERT_TRUE(TestEnv::WaitFor(
            [&] { return (d = window->NewJobs()->Loaded()) && d->isVisible(); }, 5000));
        EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1/kept.swf");
        EXPECT_EQ(d->txtComment->text(), "Kept");
        QTest::mouseClick(d->cmdCancle, Qt::LeftButton);
        ASSERT_TRUE(TestEnv::WaitFor([&] { return window->NewJobs()->Loaded() == nullptr; }, 5000));
        EXPECT_TRUE(server.Queue().Entries().isEmpty());
    }
    HandoffServer server;
    std::unique_ptr<frmMain> window;
    restart(server, window);
    QTest::qWait(500);
    EXPECT_EQ(window->NewJobs()->Loaded(), nullptr);
    window.reset();
    ClearJobs();
}
