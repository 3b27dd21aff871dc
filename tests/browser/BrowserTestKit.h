#pragma once
// What the browser tests share: the folder of the built programs, chromium started with the
// extension loaded, and the new-job dialog a hand-off opens.

#include <dlfcn.h>
#include <unistd.h>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include "common/TestEnv.h"
#include "handoff_lib/quorvanta.h"
#include "newjob/frmNewDown1.h"

namespace BrowserTestKit {

// The build's bin folder: where the hand-off library, the host and the extension are.
inline QString BinFolder() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&quorvanta_add_url), &info);
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalPath();
}

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
inline frmNewDown1* ShownNewJob(int ms) {
    frmNewDown1* d = nullptr;
    TestEnv::WaitFor(
        [&] {
            d = frmNewDown1::Loaded();
            return d && d->isVisible();
        },
        ms);
    return d && d->isVisible() ? d : nullptr;
}

// Cancel in the new-job dialog, and the dialog gone.
inline void CancelNewJob(frmNewDown1* d) {
    QTest::mouseClick(d->cmdCancle, Qt::LeftButton);
    TestEnv::WaitFor([] { return frmNewDown1::Loaded() == nullptr; }, 5000);
    TestEnv::Settle();
}

}  // namespace BrowserTestKit
