// End to end in Debian's firefox-esr, headless, with a profile of its own: the extension is
// installed temporarily over WebDriver BiDi (webExtension.install; Debian has no separate driver,
// the browser speaks it itself on --remote-debugging-port). A context-menu click cannot be made
// headless, so the background script's click handler is called from one of the extension's own
// pages (BiDi navigates there only with --remote-allow-system-access); the native message goes
// through the host manifest the program wrote, which Firefox reads and checks, the real host and
// the library into this process's main window and its new-job dialog.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTabBar>
#include <QTest>
#include <functional>

#include "browser/DevToolsSession.h"
#include "browser/ExtensionTestSupport.h"
#include "browser/HandoffReceiver.h"
#include "browser/HandoffServer.h"
#include "browser/NativeHostManifests.h"
#include "browser/SocketPlace.h"
#include "common/TestEnv.h"
#include "newjob/NewJobMode.h"
#include "newjob/frmNewDown1.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/frmMain.h"

using namespace ExtensionTestSupport;

namespace {

// The extension's moz-extension:// host, fixed through the profile instead of a random one.
const char* const kUuid = "0d6a3b2c-5e71-4a38-9c1f-7b2e4d8a6f10";

QJsonObject Parsed(const QString& json) {
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

}  // namespace

TEST(Firefox, ExtensionClickEndsInTheNewJobDialog) {
    const QString firefox = QStandardPaths::findExecutable("firefox-esr");
    if (firefox.isEmpty()) {
        if (qEnvironmentVariable("QV_REQUIRE_ALL") == "1")
            FAIL() << "firefox-esr is not installed (QV_REQUIRE_ALL=1)";
        GTEST_SKIP() << "firefox-esr is not installed";
    }

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
    ASSERT_TRUE(NativeHostManifests::WriteAll(BinFolder()).isEmpty());
    const QString manifest = home + "/.mozilla/native-messaging-hosts/quorvanta.json";
    const QByteArray written = TestEnv::ReadFile(manifest);

    const QString profile = TestEnv::NewDir("firefox-profile");
    ASSERT_TRUE(TestEnv::WriteFile(
        profile + "/user.js",
        QStringLiteral(
            "user_pref(\"extensions.webextensions.uuids\", \"{\\\"%1\\\":\\\"%2\\\"}\");\n"
            "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
            "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
            "user_pref(\"app.update.disabledForTesting\", true);\n")
            .arg(NativeHostManifests::kFirefoxExtensionId, kUuid)
            .toUtf8()));
    const quint16 port = TestEnv::FreePort();
    QProcess browser;
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start(firefox,
                  {"--headless", "--no-remote", "--profile", profile, "--remote-debugging-port",
                   QString::number(port), "--remote-allow-system-access", "about:blank"});
    ASSERT_TRUE(browser.waitForStarted(10000)) << "firefox-esr cannot start";
    struct Ender {
        QProcess& p;
        ~Ender() {
            p.terminate();
            if (!p.waitForFinished(10000)) {
                p.kill();
                p.waitForFinished(5000);
            }
        }
    } ender{browser};
    QByteArray output;
    const bool listening = TestEnv::WaitFor(
        [&] {
            output += browser.readAll();
            return output.contains("WebDriver BiDi listening") ||
                   browser.state() != QProcess::Running;
        },
        60000);
    ASSERT_TRUE(listening && browser.state() == QProcess::Running)
        << "firefox-esr offers no WebDriver BiDi: " << output.right(2000).toStdString();

    DevToolsSession bidi(port);
    ASSERT_TRUE(bidi.Attach(QStringLiteral("ws://127.0.0.1:%1/session").arg(port)));
    auto call = [&](const QString& method, const QJsonObject& params) {
        const QJsonObject answer = bidi.Call(method, params);
        EXPECT_EQ(answer["type"].toString(), "success")
            << method.toStdString() << ": " << QJsonDocument(answer).toJson().toStdString();
        return answer["result"].toObject();
    };
    call("session.new", {{"capabilities", QJsonObject{}}});
    const QJsonObject installed = call(
        "webExtension.install",
        {{"extensionData", QJsonObject{{"type", "path"}, {"path", BinFolder() + "/extension"}}}});
    ASSERT_EQ(installed["extension"].toString(), NativeHostManifests::kFirefoxExtensionId);
    const QString tab = call("browsingContext.getTree", {})
                            .value("contexts")
                            .toArray()
                            .at(0)
                            .toObject()
                            .value("context")
                            .toString();
    ASSERT_FALSE(tab.isEmpty());
    call("browsingContext.navigate",
         {{"context", tab},
          {"url", QStringLiteral("moz-extension://%1/icon48.png").arg(kUuid)},
          {"wait", "complete"}});
    // A script in the extension's page; its promise's value as text.
    auto evaluate = [&](const QString& script) {
        return call("script.evaluate", {{"expression", script},
                                        {"target", QJsonObject{{"context", tab}}},
                                        {"awaitPromise", true}})
            .value("result")
            .toObject()
            .value("value")
            .toString();
    };
    auto click = [&](const QString& info, const QString& tabInfo) {
        return Parsed(
            evaluate("browser.runtime.getBackgroundPage().then(bg => "
                     "bg.quorvantaMenuClicked(" +
                     info + ", " + tabInfo + ")).then(r => JSON.stringify(r))"));
    };

    for (const char* id : {"quorvanta-download", "quorvanta-search"})
        EXPECT_EQ(
            evaluate(QStringLiteral("browser.contextMenus.update('%1', {}).then(() => 'there')")
                         .arg(id)),
            "there")
            << id;

    // "Using Quorvanta to download" on a link: URL, the page title as info, the page as referrer.
    const QJsonObject down =
        click(R"({menuItemId: "quorvanta-download", linkUrl: "http://127.0.0.1:9/movies/a.swf",
                  pageUrl: "http://127.0.0.1:9/movies/"})",
              R"({title: "  Flash\n movies ", url: "http://127.0.0.1:9/movies/"})");
    EXPECT_EQ(down, QJsonObject({{"ok", true}})) << QJsonDocument(down).toJson().toStdString();
    frmNewDown1* d = ShownDialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(NewJobMode, 1);
    EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1:9/movies/a.swf");
    EXPECT_EQ(d->txtComment->text(), "Flash movies");
    EXPECT_EQ(d->txtRef->text(), "http://127.0.0.1:9/movies/");
    Cancel(d);

    // "Using Quorvanta to search" on a page: the search tab with the page's URL.
    const QJsonObject search =
        click(R"({menuItemId: "quorvanta-search", pageUrl: "http://127.0.0.1:9/list.html"})",
              R"({title: "List", url: "http://127.0.0.1:9/list.html"})");
    EXPECT_EQ(search, QJsonObject({{"ok", true}}));
    d = ShownDialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(NewJobMode, 2);
    EXPECT_EQ(d->TabStrip1->tabData(d->TabStrip1->currentIndex()).toString(), "Search");
    EXPECT_EQ(frmNewDown1::SharedUrl, "http://127.0.0.1:9/list.html");
    Cancel(d);

    // Firefox itself checks the manifest on every message: one that does not allow this
    // extension, one with a relative host path, and none at all are refused before the host
    // runs; the manifest as the program wrote it works again.
    const QJsonObject ours = QJsonDocument::fromJson(written).object();
    struct Case {
        const char* what;
        std::function<QJsonObject()> manifest;  // empty object: no file
        bool ok;
    };
    const Case cases[] = {
        {"another extension allowed",
         [&] {
             QJsonObject m = ours;
             m["allowed_extensions"] = QJsonArray{"other@quorvanta.example.org"};
             return m;
         },
         false},
        {"relative host path",
         [&] {
             QJsonObject m = ours;
             m["path"] = "quorvanta-host";
             return m;
         },
         false},
        {"no manifest", [] { return QJsonObject{}; }, false},
        {"as the program wrote it", [&] { return ours; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(manifest);
        const QJsonObject m = c.manifest();
        if (!m.isEmpty()) {
            ASSERT_TRUE(TestEnv::WriteFile(manifest, QJsonDocument(m).toJson()));
        }
        const QJsonObject answer = click(
            R"({menuItemId: "quorvanta-download", linkUrl: "http://127.0.0.1:9/b.swf"})", "{}");
        EXPECT_EQ(answer["ok"].toBool(), c.ok) << QJsonDocument(answer).toJson().toStdString();
        if (c.ok) {
            d = ShownDialog();
            ASSERT_TRUE(d);
            EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1:9/b.swf");
            Cancel(d);
        } else {
            QTest::qWait(300);
            EXPECT_EQ(frmNewDown1::Loaded(), nullptr);
            EXPECT_TRUE(answer["error"].toString().contains("No such native application"))
                << answer["error"].toString().toStdString();
        }
    }

    // A failure of the host comes back with its reason.
    const QJsonObject failed = click(R"({menuItemId: "quorvanta-download"})", "undefined");
    EXPECT_EQ(failed["ok"], QJsonValue(false));
    EXPECT_TRUE(failed["error"].toString().contains("no URL"))
        << failed["error"].toString().toStdString();
    EXPECT_EQ(frmNewDown1::Loaded(), nullptr);
}
