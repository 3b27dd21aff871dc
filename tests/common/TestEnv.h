#pragma once
// Every test program runs in its own temporary HOME, XDG_DATA_HOME and XDG_CONFIG_HOME, so no
// test reads or writes the user's real files.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <functional>

class QProcess;

namespace TestEnv {

// The temporary root of this test program (created by the test main).
QString Root();
// A fresh, empty folder below the root.
QString NewDir(const QString& name = QString());
// Points HOME and the XDG folders at a fresh folder below the root and re-runs InitGlobals.
QString IsolateHome();
// A free TCP port on 127.0.0.1.
quint16 FreePort();
// Writes bytes to a file, creating folders; returns false on failure.
bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
// Runs the event loop until condition holds or ms have passed; true when it held. (Qt's QTRY_
// macros report to QTest, not to gtest, so a failed wait would not fail the test.) pollMs is how
// often the condition is looked at.
bool WaitFor(const std::function<bool()>& condition, int ms = 10000, int pollMs = 10);
// Runs the event loop for ms, for checks that something does NOT happen within that time. Every
// other wait is a wait for a condition.
void NothingWithin(int ms);
// Runs what is posted now and deletes what was given to deleteLater (a closed dialog, a finished
// socket), without waiting.
void Settle();
// Runs the application's own event loop until the code under test ends it (as the program's close
// step does) or ms have passed; the code it was ended with, 99 on time-out. Ending the event loop
// from a nested QEventLoop instead would leave the application quitting, so that every later
// exec() (a QMessageBox's too) returns at once.
int RunUntilQuit(int ms);
// The environment for a real program started by a test: offscreen, with a runtime folder (its
// socket and lock) of its own.
QProcessEnvironment ProgramEnvironment();
// terminate(), then kill() if it has not ended within graceMs.
void EndProcess(QProcess& process, int graceMs = 5000);
// Ends the process (as EndProcess) when it goes out of scope.
struct ProcessEnder {
    QProcess& process;
    ~ProcessEnder() { EndProcess(process); }
};
// Deterministic pseudo-random bytes (the same seed gives the same bytes).
QByteArray RandomBytes(qsizetype size, quint32 seed = 1);

// This test program run again with args on an Xvfb of its own with Qt's xcb platform; the
// environment variable marker holds the display, so the inner run knows itself. Leak checking
// is off in the inner run of a sanitizer build (desktop libraries on a real display keep memory
// to the end of the process); every other finding still ends it.
struct SelfRun {
    bool started = false;  // Xvfb and the program started
    bool ended = false;    // the program ended within its time
    int exitCode = -1;
    QByteArray output;
};
SelfRun RunSelfOnXvfb(const QStringList& args, const char* marker, int ms = 100000);

// True when QV_REQUIRE_ALL=1 (CI sets it): then a test that needs chromium, Xvfb, xdotool or the
// web engine fails where it would otherwise skip for want of them.
bool RequireAll();
// The program on the PATH, or empty.
QString Installed(const char* program);

}  // namespace TestEnv

// Skips the test for want of a tool (chromium, Xvfb, xdotool, the web engine); with
// QV_REQUIRE_ALL=1 fails it instead. Use in the test body, like GTEST_SKIP().
#define QV_SKIP_OR_FAIL(reason)                                                      \
    do {                                                                             \
        if (::TestEnv::RequireAll()) GTEST_FAIL() << "QV_REQUIRE_ALL=1: " << reason; \
        GTEST_SKIP() << reason;                                                      \
    } while (false)
