#include "ui/StartUp.h"

#include <QMessageBox>

#include "browser/NativeHostManifests.h"
#include "store/Globals.h"
#include "store/Regist.h"
#include "store/UserMessage.h"
#include "ui/frmMain.h"

namespace StartUp {

frmMain* Run() {
    InitGlobals();
    UserMessage::SetHandler([](UserMessage::Icon icon, const QString& title, const QString& text) {
        QMessageBox::Icon i = QMessageBox::Information;
        if (icon == UserMessage::Warning)
            i = QMessageBox::Warning;
        else if (icon == UserMessage::Critical)
            i = QMessageBox::Critical;
        else if (icon == UserMessage::Question)
            i = QMessageBox::Question;
        QMessageBox box(i, title, text, QMessageBox::Ok);
        box.exec();
    });
    auto* window = new frmMain;
    window->Load();
    window->ShowAfterLoad();
    Regist::WriteContextMenuKeys(AppDir);
    // The browser extension reaches the program through the host beside it.
    NativeHostManifests::WriteAll(AppDir);
    return window;
}

}  // namespace StartUp
