#pragma once
// Every test program runs in its own temporary HOME, XDG_DATA_HOME and XDG_CONFIG_HOME, so no
// test reads or writes the user's real files.

#include <QByteArray>
#include <QString>
#include <functional>

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
// macros report to QTest, not to gtest, so a failed wait would not fail the test.)
bool WaitFor(const std::function<bool()>& condition, int ms = 10000);
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

}  // namespace TestEnv
