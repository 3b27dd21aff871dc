// The rules the program, the library and the host share: exact bytes on the wire, and the socket
// and lock places under the environment variables that decide them.

#include <gtest/gtest.h>

#include <unistd.h>
#include <string>
#include <utility>

#include "common/TestEnv.h"
#include "handoff_lib/HandoffProtocol.h"

namespace {

// Sets the three variables for one case (an empty value unsets it) and restores them after.
struct Environment {
    const char* names[3] = {"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "HOME"};
    QByteArray saved[3];
    bool had[3];
    Environment(const QByteArray& runtime, const QByteArray& data, const QByteArray& home) {
        const QByteArray values[3] = {runtime, data, home};
        for (int i = 0; i < 3; ++i) {
            had[i] = qEnvironmentVariableIsSet(names[i]);
            saved[i] = qgetenv(names[i]);
            if (values[i].isEmpty())
                qunsetenv(names[i]);
            else
                qputenv(names[i], values[i]);
        }
    }
    ~Environment() {
        for (int i = 0; i < 3; ++i) had[i] ? qputenv(names[i], saved[i]) : qunsetenv(names[i]);
    }
};

TEST(HandoffProtocol, WireBytes) {
    struct Case {
        std::string sent, expected;
    } cases[] = {
        {HandoffProtocol::Frame(HandoffProtocol::DownMessage("http://h/a.swf", "c", "http://h/")),
         "QV-HANDOFF 107\ndownmy_kvd_Url:=http://h/a.swf||**KVDRMB**||my_kvd_Info:=c||**KVDRMB**||"
         "my_kvd_Ref:=http://h/||**KVDRMB**||"},
        {HandoffProtocol::SearchMessage("http://h/p"),
         "searchmy_kvd_Url:=http://h/p||**KVDRMB**||my_kvd_Info:= ||**KVDRMB**||my_kvd_Ref:= "
         "||**KVDRMB**||"},
        {HandoffProtocol::Frame(""), "QV-HANDOFF 0\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.sent, c.expected);
}

TEST(HandoffProtocol, HashIsFnv1a64) {
    EXPECT_EQ(HandoffProtocol::Hash(""), "cbf29ce484222325");
    EXPECT_EQ(HandoffProtocol::Hash("a"), "af63dc4c8601ec8c");
    EXPECT_EQ(HandoffProtocol::Hash("foobar"), "85944171f73967e8");
}

// The data folder is hashed after cleaning, so every spelling of one folder gives one socket.
TEST(HandoffProtocol, CleanPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a//b/./c/", "/a/b/c"},
        {"/../x", "/x"},
        {"a/../../b", "../b"},
        {"/a/b/..", "/a"},
        {"./", "."},
        {"", "."},
        {"/", "/"},
        {"//x//y//", "/x/y"},
        {"a/b/../../..", ".."},
    };
    for (const auto& [path, clean] : cases)
        EXPECT_EQ(HandoffProtocol::CleanPath(path), clean) << path;
}

TEST(HandoffProtocol, Places) {
    const std::string uid = std::to_string(getuid());
    const QByteArray runtime = TestEnv::NewDir("runtime").toUtf8();
    struct Case {
        QByteArray runtime, data, home;
        std::string socket, lockFolder;
    } cases[] = {
        {runtime + "/", "/d//x/", "/h",
         runtime.toStdString() + "/quorvanta/quorvanta-" + uid + "-" +
             HandoffProtocol::Hash("/d/x/quorvanta") + ".sock",
         runtime.toStdString() + "/"},
        {"", "", "/h//",
         "/tmp/quorvanta-" + uid + "/quorvanta-" + uid + "-" +
             HandoffProtocol::Hash("/h/.local/share/quorvanta") + ".sock",
         "/h/.local/share/quorvanta"},
        // A relative runtime folder is not used for the socket; a missing one not for the lock.
        {"relative", "/d", "/h",
         "/tmp/quorvanta-" + uid + "/quorvanta-" + uid + "-" +
             HandoffProtocol::Hash("/d/quorvanta") + ".sock",
         "/d/quorvanta"},
    };
    for (const Case& c : cases) {
        Environment env(c.runtime, c.data, c.home);
        EXPECT_EQ(HandoffProtocol::SocketPath(), c.socket);
        EXPECT_EQ(HandoffProtocol::LockFolder(), c.lockFolder);
    }
}

}  // namespace
