#pragma once
// What the browser tests share: the folder of the built programs, the program as a browser meets
// it, chromium started with the extension loaded, the new-job dialog a hand-off opens, and the
// extension's two menu entries checked through whatever calls its click handler.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTabBar>
#include <QTest>
#include <functional>

#include "browser/HandoffReceiver.h"
#include "browser/HandoffServer.h"
#include "browser/NativeHostManifests.h"
#include "browser/SocketPlace.h"
#include "common/TestEnv.h"
#include "handoff_lib/quorvanta.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/frmMain.h"

namespace BrowserTestKit {

// The build's bin folder: where the hand-off library, the host and the extension are.
inline QString BinFolder() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&quorvanta_add_url), &info);
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalPath();
}

// No jobs, default settings and no search address left by an earlier test.
struct FreshProgramState {
    FreshProgramState() {
        ClearJobs();
        Settings = SettingsRecord{};
    }
};

// The program as a browser meets it, from a fresh state: its main window loaded (shown by the
// test as it needs), and, after Listen, its socket feeding the window's hand-off queue and the
// host manifests written beside the built programs, as the program's start-up does.
struct BrowsersProgram : FreshProgramState {
    explicit BrowsersProgram(NewJobModeValue newJobMode = ModeUnset) {
        window.NewJobs()->Memory().Mode = newJobMode;
        window.Load();
    }
    // Asserts: call it with ASSERT_NO_FATAL_FAILURE.
    void Listen() {
        ASSERT_TRUE(server.Listen(SocketPlace::Path())) << server.ErrorString().toStdString();
        server.SetReceiver(
            [this](const QString& m, qint64 id) { window.Handoff()->Enqueue(m, id); });
        ASSERT_TRUE(NativeHostManifests::WriteAll(BinFolder()).isEmpty());
    }
    frmMain window;
    HandoffServer server;
};

// Starts chromium with a profile below home and the extension loaded; extra comes before the
// profile. The browser is ended when the ProcessEnder of the caller goes.
inline bool StartChromium(QProcess& browser, const QString& home, const QStringList& extra,
                          const QString& page) {
    QStringList args{"--disable-gpu", "--no-first-run", "--no-default-browser-check"};
    if (::geteuid() == 0) args.prepend("--no-sandbox");
    args << extra << "--user-data-dir=" + home + "/.config/chromium"
         << "--load-extension=" + BinFolder() + "/extension"
         << "--disable-features=DisableLoadExtensionCommandLineSwitch" << page;
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start(TestEnv::Installed("chromium"), args);
    return browser.waitForStarted(10000);
}

// The shown new-job dialog, once it is open (nullptr if it did not open within ms).
inline frmNewDown1* ShownNewJob(NewJobLauncher& jobs, int ms) {
    frmNewDown1* d = nullptr;
    TestEnv::WaitFor(
        [&] {
            d = jobs.Loaded();
            return d && d->isVisible();
        },
        ms);
    return d && d->isVisible() ? d : nullptr;
}

// Cancel in the new-job dialog, and the dialog gone.
inline void CancelNewJob(NewJobLauncher& jobs, frmNewDown1* d) {
    QTest::mouseClick(d->cmdCancle, Qt::LeftButton);
    TestEnv::WaitFor([&] { return jobs.Loaded() == nullptr; }, 5000);
    TestEnv::Settle();
}

// The extension's click handler as a browser runs it: the menu info and the tab, as script
// literals, in; its answer out.
using MenuClick = std::function<QJsonObject(const QString& info, const QString& tab)>;

// "Using Quorvanta to download" on a link and "Using Quorvanta to search" on a page each end in
// the new-job dialog with the link's values; a click without a URL fails with the host's reason.
inline void MenuClicksEndInTheNewJobDialog(NewJobLauncher& jobs, const MenuClick& click) {
    const QJsonObject down =
        click(R"({menuItemId: "quorvanta-download", linkUrl: "http://127.0.0.1:9/movies/a.swf",
                  pageUrl: "http://127.0.0.1:9/movies/"})",
              R"({title: "  Flash\n movies ", url: "http://127.0.0.1:9/movies/"})");
    EXPECT_EQ(down, QJsonObject({{"ok", true}})) << QJsonDocument(down).toJson().toStdString();
    frmNewDown1* d = ShownNewJob(jobs, 10000);
    ASSERT_TRUE(d);
    EXPECT_EQ(jobs.Memory().Mode, 1);
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1:9/movies/a.swf");
    EXPECT_EQ(d->txtComment->text(), "Flash movies");
    EXPECT_EQ(d->txtRef->text(), "http://127.0.0.1:9/movies/");
    CancelNewJob(jobs, d);

    const QJsonObject search =
        click(R"({menuItemId: "quorvanta-search", pageUrl: "http://127.0.0.1:9/list.html"})",
              R"({title: "List", url: "http://127.0.0.1:9/list.html"})");
    EXPECT_EQ(search, QJsonObject({{"ok", true}}));
    d = ShownNewJob(jobs, 10000);
    ASSERT_TRUE(d);
    EXPECT_EQ(jobs.Memory().Mode, 2);
    EXPECT_EQ(d->TabStrip1->tabData(d->TabStrip1->currentIndex()).toString(), "Search");
    EXPECT_EQ(jobs.Memory().SharedUrl, "http://127.0.0.1:9/list.html");
    CancelNewJob(jobs, d);

    const QJsonObject failed = click(R"({menuItemId: "quorvanta-download"})", "undefined");
    EXPECT_EQ(failed["ok"], QJsonValue(false));
    EXPECT_TRUE(failed["error"].toString().contains("no URL"))
        << failed["error"].toString().toStdString();
    EXPECT_EQ(jobs.Loaded(), nullptr);
}

}  // namespace BrowserTestKit
