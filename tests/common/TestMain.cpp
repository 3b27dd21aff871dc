// Test main: a QApplication on the offscreen platform, inside a temporary home.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/TestEnv.h"

namespace TestEnv {
QString& RootRef();
}

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
    return RUN_ALL_TESTS();
}
