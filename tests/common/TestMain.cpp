// Test main: a QApplication on the offscreen platform, inside a temporary home. After every test
// the state a test could leave behind for the next one is put back.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "store/UserMessage.h"

namespace TestEnv {
QString& RootRef();
}

namespace {

// An event loop that returns at once (-1) means the application was left quitting: a test ended
// the event loop from a nested loop, and every later exec() of a dialog would return at once.
bool LeftQuitting() {
    QEventLoop probe;
    QTimer::singleShot(0, &probe, [&probe] { probe.exit(0); });
    return probe.exec() == -1;
}

class LeftoverCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override {
        UserMessage::SetHandler({});
        if (LeftQuitting()) {
            ADD_FAILURE() << test.test_suite_name() << "." << test.name()
                          << " left the application quitting (QCoreApplication::exit inside a "
                             "nested event loop); wait with TestEnv::RunUntilQuit instead";
            // The application's own loop clears it, so that the tests after it still run.
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
            QCoreApplication::exec();
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir root(QDir::tempPath() + "/quorvanta-test-XXXXXX");
    TestEnv::RootRef() = root.path();
    const QString runtime = root.path() + "/run";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    TestEnv::IsolateHome();
    QApplication app(argc, argv);
    TestEnv::IsolateHome();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LeftoverCheck);
    const int failed = RUN_ALL_TESTS();
    NginxServer::StopShared();
    return failed;
}
