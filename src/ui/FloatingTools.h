#pragma once
// The main window's floating tools: the floating window frmTop (shown or closed by the "Top
// Window" commands, whose check marks follow it), the browser window finder behind its Image2 and
// the save dialog "Save Flash" that the hand-off timer opens when the finder found movies.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <memory>

class BrowserFinder;
class CategoryTree;
class HandoffReceiver;
class MainMenus;
class NewJobLauncher;
class QMainWindow;
class QTimer;
class WindowOutline;
class X11Windows;
class frmDragMessage;
class frmSaveSwfto;
class frmTop;

class FloatingTools : public QObject {
    Q_OBJECT
public:
    FloatingTools(QMainWindow* main, MainMenus* menus, HandoffReceiver* handoff,
                  NewJobLauncher* newJobs, CategoryTree* tree, std::function<void()> updateMenus,
                  std::function<void()> saveJobDb);
    ~FloatingTools() override;

    // The "Top Window" command: shows the floating window, or closes it when it is shown.
    void ToggleTop();
    void ShowTop();
    frmTop* Top() const;
    // The hand-off timer's save-dialog path: the dialog (opened when needed) takes FoundMovies.
    void ShowSaveDialog();
    frmSaveSwfto* SaveDialog() const;
    BrowserFinder* Finder() const { return finder; }

    // The new-category dialog of the save dialog's "&Category".
    void SetNewCategory(std::function<void(QWidget*)> open) { newCategory = std::move(open); }
    // The browser's cache behind LookupCacheEntry; without it nothing counts as cached.
    using CacheLookup =
        std::function<void(const QString& url, std::function<void(bool, const QString&)> done)>;
    void SetCacheLookup(CacheLookup lookup) { cacheLookup = std::move(lookup); }
    // A link dropped on the floating window or the main window: the new-job dialog opens at the
    // next tick, in the mode last used, with the link as its URL.
    void DropText(const QString& text);
    // The usable areas of the screens there are now.
    static QList<QRect> ScreenAreas();
    // The floating window back onto a screen when it has left them all or in part; its place is
    // kept in the settings file.
    void KeepTopOnScreen();
    // The finder's drag: the main window's state saved and the window minimized; then restored.
    void SaveMainState();
    void RestoreMainState();

private:
    void LookupCacheEntry(const QString& url, std::function<void(bool, const QString&)> done);
    void UpdateChecks();
    void SetChecks(bool shown);
    // Without a way to look under the pointer: the browser's windows to choose from.
    void OfferBrowserWindows();
    void ToggleMain();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QMainWindow* main;
    MainMenus* menus;
    HandoffReceiver* handoff;
    NewJobLauncher* newJobs;
    CategoryTree* tree;
    std::function<void()> updateMenus;
    std::function<void()> saveJobDb;
    QPointer<frmTop> top;
    QPointer<QObject> watchedTop;  // the floating window as the event filter sees it
    QPointer<frmSaveSwfto> saveDialog;
    BrowserFinder* finder = nullptr;
    std::function<void(QWidget*)> newCategory;
    CacheLookup cacheLookup;
    QString scannedPage;
    int scannedTab = 0;
    QPointer<frmDragMessage> message;
    QPointer<WindowOutline> outline;
    std::unique_ptr<X11Windows> x11;
    Qt::WindowStates SavedMainState;
    bool savedVisible = true;
    bool mainStateSaved = false;
    QTimer* keepOnScreen = nullptr;  // runs once the floating window has stopped moving
};
