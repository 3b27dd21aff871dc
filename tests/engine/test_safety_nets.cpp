// The checks no other test reaches: a 206 answer for another piece than the one asked for (or of
// a file of another size) when a paused download goes on, and the completion check that every
// byte was received, reached through the test build's fault that loses a received piece.

#include <gtest/gtest.h>

#include "engine/EngineTestSupport.h"

using namespace EngineTest;

namespace {

using SafetyNets = SlotTest;

}  // namespace

TEST_F(SafetyNets, AnAnswerForAnotherPieceEndsTheRunWithNothingOfItOnDisk) {
    const QByteArray data = TestEnv::RandomBytes(200000, 5);
    struct Case {
        const char* name;
        qint64 shift;       // the answer's first byte minus the one asked for
        qint64 otherTotal;  // the size the answer names instead of the file's (0: the file's)
        const char* problem;
        QByteArray before = "";  // before the Content-Range line's name
    };
    const QList<Case> cases = {
        {"another start", 1000, 0, "The answer starts at byte 61000, not at byte 60000 as asked"},
        {"another total", 0, 300000, "The file on the server has 300000 bytes now, not 200000."},
        // A line starting with a blank goes on the line before: no Content-Range at all.
        {"folded range", 0, 0, "Invalid Content-Range in the answer", " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearJobs();
        watch.Clear();
        // The first run stalls after 60000 bytes and is paused; the second asks for the rest
        // and is answered with a piece that does not fit, all of it 'Z' bytes.
        bool secondRun = false;
        ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
            if (!secondRun) {
                s->write(ScriptServer::Head(
                    "HTTP/1.1 200 OK", {"Content-Length: " + QByteArray::number(data.size())}));
                s->write(data.left(60000));
                return;
            }
            if (r.rangeStart < 0) {  // a start from the beginning finds nothing any more
                s->write(ScriptServer::Head("HTTP/1.1 404 Not Found", {"Content-Length: 0"}));
                s->disconnectFromHost();
                return;
            }
            const qint64 first = r.rangeStart + c.shift;
            const qint64 total = c.otherTotal ? c.otherTotal : data.size();
            const QByteArray piece(data.size() - first, 'Z');
            s->write(ScriptServer::Head(
                "HTTP/1.1 206 Partial Content",
                {"Content-Length: " + QByteArray::number(piece.size()),
                 c.before + "Content-Range: bytes " + QByteArray::number(first) + "-" +
                     QByteArray::number(data.size() - 1) + "/" + QByteArray::number(total)}));
            s->write(piece);
            s->disconnectFromHost();
        });
        const int j =
            AddTestJob(server.Url("/n.swf"), dir, 1, QString(c.name).replace(' ', '_') + ".swf");
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 60000 || watch.ended; }));
        ASSERT_EQ(watch.ended, 0) << watch.endReason.toStdString();
        slot.Pause();
        ASSERT_EQ(Jobs[j].State, StatePaused);

        secondRun = true;
        watch.Clear();
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone());
        EXPECT_EQ(watch.completed, 0);
        EXPECT_EQ(Jobs[j].State, StateError);
        EXPECT_TRUE(watch.log.join('\n').contains(c.problem) || watch.endReason.contains(c.problem))
            << watch.endReason.toStdString() << "\n"
            << watch.log.join('\n').toStdString();
        EXPECT_FALSE(TestEnv::ReadFile(Jobs[j].LocalFile).contains(QByteArray(64, 'Z')));
    }
}

TEST_F(SafetyNets, APieceLostOnTheWayIsNoCompletion) {
    // The test build's fault: the piece holding byte 150000 is counted as received but never
    // written.
    qputenv("QV_TEST_DROP_PIECE", "150000");
    const QByteArray data = TestEnv::RandomBytes(300000, 6);
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        ScriptServer::ServeRanges(s, r, data);
    });
    const int j = AddTestJob(server.Url("/lost.swf"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    qunsetenv("QV_TEST_DROP_PIECE");
    EXPECT_EQ(watch.completed, 0);
    EXPECT_NE(Jobs[j].State, StateComplete);
    EXPECT_TRUE(watch.endReason.contains("The file is not complete: Bytes ") &&
                watch.endReason.contains(" of the file were never received"))
        << watch.endReason.toStdString();
}
