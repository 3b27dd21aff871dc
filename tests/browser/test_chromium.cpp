// End to end in a real browser: Debian's chromium, headless, with the extension loaded and the
// host manifest in its profile. The extension's click handler (a context-menu click cannot be made
// headless) is driven through the DevTools protocol; the native message goes through the real
// host and library into this process's main window, whose new-job dialog then holds the values.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>

#include "browser/BrowserTestKit.h"
#include "browser/DevToolsSession.h"

using namespace BrowserTestKit;

TEST(Chromium, ExtensionClickEndsInTheNewJobDialog) {
    if (TestEnv::Installed("chromium").isEmpty()) QV_SKIP_OR_FAIL("chromium is not installed");

    const QString home = TestEnv::IsolateHome();
    BrowsersProgram program;
    program.window.show();
    ASSERT_NO_FATAL_FAILURE(program.Listen());

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

    ASSERT_NO_FATAL_FAILURE(MenuClicksEndInTheNewJobDialog(*program.window.NewJobs(), click));

    // Without the host's manifest the browser's own reason comes back.
    ASSERT_TRUE(QFile::remove(home + "/.config/chromium/NativeMessagingHosts/quorvanta.json"));
    const QJsonObject missing =
        click(R"({menuItemId: "quorvanta-download", linkUrl: "http://127.0.0.1:9/b.swf"})", "{}");
    EXPECT_EQ(missing["ok"], QJsonValue(false));
    EXPECT_TRUE(missing["error"].toString().contains("not found", Qt::CaseInsensitive))
        << missing["error"].toString().toStdString();
    EXPECT_EQ(program.window.NewJobs()->Loaded(), nullptr);
}
