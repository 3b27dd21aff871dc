#include "ui/FloatingTools.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include "browser/BrowserFinder.h"
#include "browser/BrowserLink.h"
#include "browser/FoundMovies.h"
#include "browser/HandoffReceiver.h"
#include "browser/MovieUrls.h"
#include "browser/X11Windows.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/WindowPlace.h"
#include "ui/MainMenus.h"
#include "ui/WindowOutline.h"
#include "ui/frmDragMessage.h"
#include "ui/frmSaveSwfto.h"
#include "ui/frmTop.h"

FloatingTools::FloatingTools(QMainWindow* m, MainMenus* mm, HandoffReceiver* h, NewJobLauncher* nj,
                             CategoryTree* t, std::function<void()> um, std::function<void()> save)
    : QObject(m),
      main(m),
      menus(mm),
      handoff(h),
      newJobs(nj),
      tree(t),
      updateMenus(std::move(um)),
      saveJobDb(std::move(save)) {
    for (const char* name : {"mnuView_Pop", "popMain_Pop"}) {
        menus->SetAvailable(name, true);
        menus->Enable(name, true);
        if (QAction* a = menus->Action(name))
            connect(a, &QAction::triggered, this, [this] { ToggleTop(); });
    }
    keepOnScreen = new QTimer(this);
    keepOnScreen->setSingleShot(true);
    keepOnScreen->setInterval(300);
    connect(keepOnScreen, &QTimer::timeout, this, &FloatingTools::KeepTopOnScreen);
    // A screen unplugged or changed may leave the window where nothing shows it.
    auto screensChanged = [this] {
        if (top && top->isVisible()) keepOnScreen->start();
    };
    connect(qApp, &QGuiApplication::screenRemoved, this, screensChanged);
    connect(qApp, &QGuiApplication::screenAdded, this, screensChanged);
    for (QScreen* screen : QGuiApplication::screens())
        connect(screen, &QScreen::availableGeometryChanged, this, screensChanged);
    BrowserFinder::Hooks hooks;
    hooks.windowAt = [this](const QPoint&) {
        if (!x11) x11 = std::make_unique<X11Windows>();
        return x11->UnderPointer();
    };
    hooks.showMessage = [this](const QString& text) {
        if (!message) message = new frmDragMessage;
        message->SetText(text);
        message->show();
    };
    hooks.moveMessage = [this](const QPoint& at) {
        if (message) message->move(at);
    };
    hooks.messageVisible = [this] { return message && message->isVisible(); };
    hooks.hideMessage = [this] {
        if (message) message->hide();
    };
    hooks.outline = [this](const QRect& r) {
        if (!outline) outline = new WindowOutline;
        // The display's pixels, in the scaled coordinates of the program's windows.
        const qreal ratio = main->devicePixelRatioF() > 0 ? main->devicePixelRatioF() : 1.0;
        outline->Outline(QRectF(r.x() / ratio, r.y() / ratio, r.width() / ratio, r.height() / ratio)
                             .toAlignedRect());
    };
    hooks.hideOutline = [this] {
        if (outline) outline->hide();
    };
    // The save dialog opens at the hand-off timer's next tick.
    hooks.moviesDue = [this] { handoff->RequestDialog(); };
    finder = new BrowserFinder(BrowserLink::Instance(), hooks, this);
    cacheLookup = [this](const QString& url, std::function<void(bool, const QString&)> done) {
        BrowserLink::Instance()->LookupCacheEntry(scannedTab, url, std::move(done));
    };
}

FloatingTools::~FloatingTools() {
    if (top) {
        disconnect(top, nullptr, this, nullptr);
        delete top.data();
    }
    delete message.data();
    delete outline.data();
}

frmTop* FloatingTools::Top() const {
    return top;
}

frmSaveSwfto* FloatingTools::SaveDialog() const {
    return saveDialog;
}

void FloatingTools::ToggleTop() {
    if (top && top->isVisible())
        top->close();
    else
        ShowTop();
}

void FloatingTools::ShowTop() {
    if (!top) {
        frmTop::Hooks hooks;
        hooks.popupMenu = [this]() -> QMenu* {
            // The tray menu's start and pause entries follow the Jobs menu's.
            if (updateMenus) updateMenus();
            return menus->popMain();
        };
        hooks.toggleMain = [this] { ToggleMain(); };
        hooks.dropText = [this](const QString& text) { DropText(text); };
        hooks.finderDown = [this] {
            SaveMainState();
            finder->Begin();
        };
        hooks.finderMove = [this](const QPoint& at) { finder->Move(at); };
        hooks.finderUp = [this] {
            finder->End();
            RestoreMainState();
            if (!x11) x11 = std::make_unique<X11Windows>();
            if (!x11->Available() && BrowserLink::Instance()->Connected()) OfferBrowserWindows();
        };
        top = new frmTop(hooks);
        // While it is being destroyed the window is a plain QObject: the checks go off without
        // looking at it.
        connect(top, &QObject::destroyed, this, [this] { SetChecks(false); });
        top->installEventFilter(this);
        watchedTop = top.data();
        // Where it was left, on the screens there are now; the first time clear of the main
        // window's status bar and part chart at its bottom.
        const WindowPlace::Place saved = WindowPlace::Read(IniFile, QStringLiteral("Float"));
        if (saved.Rect.isValid()) {
            top->move(WindowPlace::Fit(QRect(saved.Rect.topLeft(), top->size()), ScreenAreas())
                          .topLeft());
        } else if (QScreen* screen = main->screen()) {
            // Over the top right of the job list, below the menus and the tool bar.
            const QRect area = screen->availableGeometry();
            const QRect inside = main->geometry().intersected(area);
            const QRect at = inside.isValid() ? inside : area;
            top->move(at.right() - top->width() - 24, at.top() + 110);
        }
    }
    top->show();
    top->raise();
    UpdateChecks();
}

QList<QRect> FloatingTools::ScreenAreas() {
    QList<QRect> areas;
    for (QScreen* screen : QGuiApplication::screens()) areas.append(screen->availableGeometry());
    return areas;
}

void FloatingTools::KeepTopOnScreen() {
    if (!top || !top->isVisible()) return;
    const QRect frame = top->frameGeometry();
    const QRect fitted = WindowPlace::Fit(frame, ScreenAreas());
    if (fitted.topLeft() != frame.topLeft()) top->move(fitted.topLeft());
    WindowPlace::Write(IniFile, QStringLiteral("Float"), {top->geometry(), false});
}

bool FloatingTools::eventFilter(QObject* watched, QEvent* event) {
    // Moved by the user (through the window manager) or by the program: checked once it rests.
    // Compared as a plain object: the window may be half destroyed when its last events come.
    if (event->type() == QEvent::Move && watched == watchedTop.data()) keepOnScreen->start();
    return QObject::eventFilter(watched, event);
}

void FloatingTools::OfferBrowserWindows() {
    const QPoint at = QCursor::pos();
    BrowserLink::Instance()->Windows([this, at](bool ok, const QList<BrowserWindow>& windows) {
        if (!ok) return;
        auto* menu = new QMenu;
        menu->setObjectName("popBrowserWindows");
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (const BrowserWindow& w : windows) {
            if (!IsWebPage(w.Url)) continue;
            QAction* a = menu->addAction(w.Title.isEmpty() ? w.Url : w.Title);
            a->setToolTip(w.Url);
            connect(a, &QAction::triggered, this, [this, w] { finder->ScanChosen(w); });
        }
        if (menu->isEmpty())
            menu->addAction("No browser window shows a web page")->setEnabled(false);
        menu->popup(at);
    });
}

void FloatingTools::UpdateChecks() {
    SetChecks(top && top->isVisible());
}

void FloatingTools::SetChecks(bool shown) {
    for (const char* name : {"mnuView_Pop", "popMain_Pop"})
        if (QAction* a = menus->Action(name)) a->setChecked(shown);
}

void FloatingTools::SaveMainState() {
    SavedMainState = main->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized);
    savedVisible = main->isVisible();
    mainStateSaved = true;
    // Out of the way of the windows the finder goes over; a hidden window stays hidden.
    if (savedVisible) main->showMinimized();
}

void FloatingTools::RestoreMainState() {
    if (!mainStateSaved) return;  // no finder drag yet
    if (SavedMainState & Qt::WindowMinimized)
        main->showMinimized();
    else if (SavedMainState & Qt::WindowMaximized)
        main->showMaximized();
    else if (savedVisible)
        main->showNormal();
}

void FloatingTools::LookupCacheEntry(const QString& url,
                                     std::function<void(bool, const QString&)> done) {
    if (!cacheLookup) {
        done(false, QString());
        return;
    }
    cacheLookup(url, std::move(done));
}

void FloatingTools::ToggleMain() {
    if (main->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized) || !main->isVisible()) {
        main->setWindowState(main->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        main->showNormal();
        main->raise();
        main->activateWindow();
    } else {
        main->showMinimized();
    }
}

void FloatingTools::DropText(const QString& text) {
    // A dropped link is one file: the new-job dialog opens at the next tick on "Add Single File"
    // with the link as its address, whatever tab was used last.
    newJobs->Memory().Mode = ModeSingleFile;
    frmNewDown1* dialog = newJobs->Load();
    newJobs->Memory().SharedUrl = text;
    dialog->SelectModeTab(ModeSingleFile);
    dialog->txtUrl->setText(text);
    handoff->RequestDialog();
}

void FloatingTools::ShowSaveDialog() {
    if (!saveDialog) {
        frmSaveSwfto::Hooks hooks;
        hooks.lookupCacheEntry = [this](const QString& url, auto done) {
            LookupCacheEntry(url, std::move(done));
        };
        hooks.newCategory = [this](QWidget* parent) {
            if (newCategory) newCategory(parent);
        };
        hooks.saveJobDb = saveJobDb;
        hooks.newJob = [this](const QString& url, const QString& comment, const QString& ref) {
            newJobs->Memory().Mode = ModeSingleFile;
            frmNewDown1* dialog = newJobs->Load();
            newJobs->Memory().SharedUrl = url;
            dialog->txtUrl->setText(url);
            dialog->txtComment->setText(comment);
            dialog->txtRef->setText(ref);
            handoff->RequestDialog();
        };
        saveDialog = new frmSaveSwfto(tree, hooks, main);
    }
    // The open dialog takes every new list, so FoundCount never stays set behind it.
    scannedPage = finder->ScannedPage();
    scannedTab = finder->ScannedTab();
    saveDialog->TakeMovies(FoundMovies, scannedPage);
    FoundMovies.clear();
    FoundCount = 0;
    saveDialog->show();
    saveDialog->raise();
    saveDialog->activateWindow();
    RestoreMainState();
}
