// End to end in Debian's firefox-esr, headless, with a profile of its own: the extension is
// installed temporarily over WebDriver BiDi (webExtension.install; Debian has no separate driver,
// the browser speaks it itself on --remote-debugging-port). A context-menu click cannot be made
// headless, so the background script's click handler is called from one of the extension's own
// pages (BiDi navigates there only with --remote-allow-system-access); the native message goes
// through the host manifest the program wrote, which Firefox reads and checks, the real host and
// the library into this process's main window and its new-job dialog.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QStandardPaths>

#include "browser/BrowserTestKit.h"
#include "browser/DevToolsSession.h"

using namespace BrowserTestKit;

namespace {

// The extension's moz-extension:// host, fixed through the profile instead of a random one.
const char* const kUuid = "0d6a3b2c-5e71-4a38-9c1f-7b2e4d8a6f10";

QJsonObject Parsed(const QString& json) {
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

}  // namespace

TEST(Firefox, ExtensionClickEndsInTheNewJobDialog) {
    const QString firefox = QStandardPaths::findExecutable("firefox-esr");
    if (firefox.isEmpty()) QV_SKIP_OR_FAIL("firefox-esr is not installed");

    const QString home = TestEnv::IsolateHome();
    BrowsersProgram program;
    program.window.show();
    ASSERT_NO_FATAL_FAILURE(program.Listen());
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
    TestEnv::ProcessEnder ender{browser};
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

    ASSERT_NO_FATAL_FAILURE(MenuClicksEndInTheNewJobDialog(*program.window.NewJobs(), click));

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
            frmNewDown1* d = ShownNewJob(*program.window.NewJobs(), 10000);
            ASSERT_TRUE(d);
            EXPECT_EQ(d->txtUrl->text(), "http://127.0.0.1:9/b.swf");
            CancelNewJob(*program.window.NewJobs(), d);
        } else {
            QTest::qWait(300);
            EXPECT_EQ(program.window.NewJobs()->Loaded(), nullptr);
            EXPECT_TRUE(answer["error"].toString().contains("No such native application"))
                << answer["error"].toString().toStdString();
        }
    }
}
