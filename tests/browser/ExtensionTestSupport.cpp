#include "browser/ExtensionTestSupport.h"

#include <dlfcn.h>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

#include "common/TestEnv.h"
#include "handoff_lib/quorvanta.h"
#include "newjob/frmNewDown1.h"

namespace ExtensionTestSupport {

QString BinFolder() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&quorvanta_add_url), &info);
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalPath();
}

frmNewDown1* ShownDialog() {
    frmNewDown1* d = nullptr;
    TestEnv::WaitFor(
        [&] {
            d = frmNewDown1::Loaded();
            return d && d->isVisible();
        },
        10000);
    return d && d->isVisible() ? d : nullptr;
}

void Cancel(frmNewDown1* d) {
    QTest::mouseClick(d->cmdCancle, Qt::LeftButton);
    TestEnv::WaitFor([] { return frmNewDown1::Loaded() == nullptr; }, 5000);
    QTest::qWait(20);
}

}  // namespace ExtensionTestSupport
