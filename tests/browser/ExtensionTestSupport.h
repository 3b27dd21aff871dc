#pragma once
// What the browser tests share: the folder of the built program (where the extension, the host
// and the library sit) and the new-job dialog a hand-off opens.

#include <QString>

class frmNewDown1;

namespace ExtensionTestSupport {
// The folder of libquorvanta.so as loaded by this test, resolved.
QString BinFolder();
// The new-job dialog once it is shown (up to 10 s), else nullptr.
frmNewDown1* ShownDialog();
// Cancels the dialog and waits until it is gone.
void Cancel(frmNewDown1* d);
}  // namespace ExtensionTestSupport
