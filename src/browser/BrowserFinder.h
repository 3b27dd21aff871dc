#pragma once
// The finder's drag over the browser's windows. Pressed: the browser's window list is asked for.
// Each move looks at the window under the pointer; a new window that is a browser window showing
// an "http://" or "https://" page is outlined and its page scanned through the extension, and the
// count of its movies (FoundMovies, FoundCount) is told in the message that follows the pointer.
// Moving within one window does not scan again. Released: the outline and message go, and when
// movies were found the save dialog is due (at once, or when a scan still running ends).
// A browser window is matched to the window under the pointer by its active tab's title, which
// the browser shows as "<page title> - <browser name>".

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <functional>

#include "browser/BrowserLink.h"
#include "browser/X11Windows.h"

class BrowserFinder : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // The window under the pointer (Handle 0 when the platform cannot tell).
        std::function<PointedWindow(const QPoint&)> windowAt;
        std::function<void(const QString&)> showMessage;
        std::function<void(const QPoint&)> moveMessage;
        std::function<bool()> messageVisible;
        std::function<void()> hideMessage;
        std::function<void(const QRect&)> outline;
        std::function<void()> hideOutline;
        // Movies were found and the finder was released: the hand-off timer's save dialog.
        std::function<void()> moviesDue;
    };

    BrowserFinder(BrowserLink* link, Hooks hooks, QObject* parent = nullptr);

    void Begin();
    void Move(const QPoint& globalPos);
    void End();

    // Where the window under the pointer cannot be known (Wayland): the window the user chose
    // from the browser's list after releasing the finder is scanned, and its movies are due.
    void ScanChosen(const BrowserWindow& window);

    bool Active() const { return active; }
    int Scans() const { return scans; }
    // The page whose movies are in FoundMovies, and its tab.
    QString ScannedPage() const { return scannedPage; }
    int ScannedTab() const { return scannedTab; }
    // The browser window among windows whose title the window title shows; nullptr when none.
    static const BrowserWindow* Match(const QList<BrowserWindow>& windows, const QString& title);

private:
    void Look(const PointedWindow& w);
    void ScanDone(quint64 scan, int tab, bool ok, const QString& url,
                  const QList<PageElement>& elements);

    BrowserLink* link;
    Hooks hooks;
    bool active = false;
    bool listed = false;
    QList<BrowserWindow> shellList;
    PointedWindow last;
    QPoint lastPos;
    quint64 dragSerial = 0;  // the drag whose window list counts
    quint64 scanSerial = 0;  // the scan whose answer counts; older answers are dropped
    bool scanRunning = false;
    bool dueWhenScanned = false;
    int scans = 0;
    QString scannedPage;
    int scannedTab = 0;
};
