// End to end in a real browser: Debian's chromium, headless, with the extension loaded and the
// host manifest in its profile. The extension's click handler (a context-menu click cannot be made
// headless) is driven through the DevTools protocol; the native message goes through the real
// host and library into this process's main window, whose new-job dialog then holds the values.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include "browser/BrowserTestKit.h"
#include "browser/DevToolsSession.h"
#include "browser/ExtensionTestSupport.h"
#include "browser/HandoffReceiver.h"
#include "browser/HandoffServer.h"
#include "browser/NativeHostManifests.h"
#include "browser/SocketPlace.h"
#include "common/TestEnv.h"
#include "handoff_lib/quorvanta.h"
#include "newjob/NewJobMode.h"
#include "newjob/frmNewDown1.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/frmMain.h"

using namespace ExtensionTestSupport;
using namespace BrowserTestKit;

TEST(Chromium, ExtensionClickEndsInTheNewJobDialog) {
    if (TestEnv::Installed("chromium").isEmpty()) QV_SKIP_OR_FAIL("chromium is not installed");

    const QString home = TestEnv::IsolateHome();
    ClearJobs();
    Settings = SettingsRecord{};
    NewJobMode = 0;
    frmNewDown1::SharedUrl.clear();
    frmMain window;
    window.Load();
    window.show();
    HandoffServer server;
    ASSERT_TRUE(server.Listen(SocketPlace::Path())) << server.ErrorString().toStdString();
    server.SetReceiver(
        [&window](const QString& m, qint64 id) { window.Handoff()->Enqueue(m, id); });
    // The program's start-up step: manifests for the host beside the program.
    ASSERT_TRUE(NativeHostManifests::WriteAll(ExtensionTestSupport::BinFolder()).isEmpty());

    const quint16 port = TestEnv::FreePort();
    QProcess browser;
    if (!StartChromium(browser, home,
                       {"--headless=new", QStringLiteral("--remote-debugging-port=%1").arg(port)},
                       "about:blank"))
        QV_SKIP_OR_FAIL("chromium cannot start");
    TestEnv::ProcessEnder ender{browser};

    // DevTools answers once the browser runs; the extension's service worker shows among the
    // targets with the id its fixed key gives.
    DevToolsSession devtools(port);
    QString worker;
    const bool answered = TestEnv::WaitFor(
        [&] {
            if (browser.state() != QProcess::Running) return true;
            for (const QJsonValue& t : devtools.Targets())
                if (t["type"].toString() == "service_worker" &&
                    t["url"].toString().startsWith(
                        QStringLiteral("chrome-extension://%1/")
                            .arg(NativeHostManifests::kChromeExtensionId)))
                    worker = t["webSocketDebuggerUrl"].toString();
            return !worker.isEmpty();
        },
        40000);
    if (browser.state() != QProcess::Running)
        QV_SKIP_OR_FAIL("chromium cannot start: " << browser.readAll().right(2000).toStdString());
    ASSERT_TRUE(answered && !worker.isEmpty()) << "the extension's worker never showed";
    ASSERT_TRUE(devtools.Attach(worker));

    auto click = [&](const QString& info, const QString& tab) {
        const QJsonObject answer = devtools.Call(
            "Runtime.evaluate", {{"expression", "quorvantaMenuClicked(" + info + ", " + tab + ")"},
                                 {"awaitPromise", true},
                                 {"returnByValue", true}});
        return answer["result"]["result"]["value"].toObject();
    };

    // Both context-menu entries exist.
    for (const char* id : {"quorvanta-download", "quorvanta-search"}) {
        const QJsonObject answer = devtools.Call(
            "Runtime.evaluate",
            {{"expression",
              QStringLiteral("chrome.contextMenus.update('%1', {}).then(() => 'there')").arg(id)},
             {"awaitPromise", true},
             {"returnByValue", true}});
        EXPECT_EQ(answer["result"]["result"]["value"].toString(), "there") << id;
    }

    // "Using Quorvanta to download" on a link: URL, the page title as info, the page as referrer.
    const QJsonObject down =
        click(R"({menuItemId: "quorvanta-download", linkUrl: "http://127.0.0.1:9/movies/a.swf",
                  pageUrl: "http://127.0.0.1:9/movies/"})",
              R"({title: "  Flash\n movies ", url: "http://127.0.0.1:9/movies/"})");
    EXPECT_EQ(down, QJsonObject({{"ok", true}})) << QJsonDocument(down).toJson().toStdString();
    frmNewDown1* d = ShownNewJob(10000);
    ASSERT_TRUE(d);
    EXPECT_EQ(NewJobMode, 1);
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1:9/movies/a.swf");
    EXPECT_EQ(d->txtComment->text(), "Flash movies");
    EXPECT_EQ(d->txtRef->text(), "http://127.0.0.1:9/movies/");
    CancelNewJob(d);

    // "Using Quorvanta to search" on a page: the search tab with the page's URL.
    const QJsonObject search =
        click(R"({menuItemId: "quorvanta-search", pageUrl: "http://127.0.0.1:9/list.html"})",
              R"({title: "List", url: "http://127.0.0.1:9/list.html"})");
    EXPECT_EQ(search, QJsonObject({{"ok", true}}));
    d = ShownNewJob(10000);
    ASSERT_TRUE(d);
    EXPECT_EQ(NewJobMode, 2);
    EXPECT_EQ(d->TabStrip1->tabData(d->TabStrip1->currentIndex()).toString(), "Search");
    EXPECT_EQ(frmNewDown1::SharedUrl, "http://127.0.0.1:9/list.html");
    CancelNewJob(d);

    // A failure comes back with its reason (and is shown as a notification).
    const QJsonObject failed = click(R"({menuItemId: "quorvanta-download"})", "undefined");
    EXPECT_EQ(failed["ok"], QJsonValue(false));
    EXPECT_TRUE(failed["error"].toString().contains("no URL"))
        << failed["error"].toString().toStdString();

    // Without the host's manifest the browser's own reason comes back.
    ASSERT_TRUE(QFile::remove(home + "/.config/chromium/NativeMessagingHosts/quorvanta.json"));
    const QJsonObject missing =
        click(R"({menuItemId: "quorvanta-download", linkUrl: "http://127.0.0.1:9/b.swf"})", "{}");
    EXPECT_EQ(missing["ok"], QJsonValue(false));
    EXPECT_TRUE(missing["error"].toString().contains("not found", Qt::CaseInsensitive))
        << missing["error"].toString().toStdString();
    EXPECT_EQ(frmNewDown1::Loaded(), nullptr);
}
