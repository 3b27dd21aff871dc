#include "browser/BrowserFinder.h"

#include "browser/FoundMovies.h"
#include "browser/MovieUrls.h"

namespace {
const QString kNotConnected = QStringLiteral("Browser extension not connected");
}

BrowserFinder::BrowserFinder(BrowserLink* l, Hooks h, QObject* parent)
    : QObject(parent), link(l), hooks(std::move(h)) {}

const BrowserWindow* BrowserFinder::Match(const QList<BrowserWindow>& windows,
                                          const QString& title) {
    const BrowserWindow* best = nullptr;
    for (const BrowserWindow& w : windows) {
        // Chromium joins the two with " - ", Firefox with an en or em dash.
        const QString rest = title.mid(w.Title.size());
        const bool shows = title == w.Title || (!w.Title.isEmpty() && title.startsWith(w.Title) &&
                                                (rest.startsWith(" - ") ||
                                                 rest.startsWith(QString::fromUtf8(" \u2014 ")) ||
                                                 rest.startsWith(QString::fromUtf8(" \u2013 "))));
        // The longest title wins: "Games" must not take the window of "Games - Flash".
        if (shows && (!best || w.Title.size() > best->Title.size())) best = &w;
    }
    return best;
}

void BrowserFinder::Begin() {
    active = true;
    listed = false;
    dueWhenScanned = false;
    shellList.clear();
    last = PointedWindow{};
    const quint64 serial = ++dragSerial;
    link->Windows([this, serial](bool ok, const QList<BrowserWindow>& windows) {
        if (!active || serial != dragSerial) return;
        listed = ok;
        shellList = windows;
        // The window under the pointer is looked at again with the list in hand.
        last = PointedWindow{};
        Move(lastPos);
    });
}

void BrowserFinder::Move(const QPoint& pos) {
    if (!active) return;
    lastPos = pos;
    const PointedWindow w = hooks.windowAt ? hooks.windowAt(pos) : PointedWindow{};
    if (hooks.messageVisible && hooks.messageVisible()) hooks.moveMessage(pos + QPoint(16, 16));
    if (!link->Connected()) {
        // Nothing can be found without the extension: say so instead of counting nothing.
        if (!hooks.messageVisible || !hooks.messageVisible()) {
            hooks.showMessage(kNotConnected);
            hooks.moveMessage(pos + QPoint(16, 16));
        }
        return;
    }
    if (w.Handle == last.Handle && w.TopLevel == last.TopLevel) return;
    Look(w);
    last = w;
}

void BrowserFinder::Look(const PointedWindow& w) {
    if (w.TopLevel == last.TopLevel && last.TopLevel != 0) return;  // another part of one window
    const BrowserWindow* entry = listed ? Match(shellList, w.Title) : nullptr;
    if (!entry) {
        if (hooks.messageVisible && hooks.messageVisible()) hooks.hideMessage();
        return;
    }
    if (!IsWebPage(entry->Url)) return;
    hooks.outline(w.Frame);
    FoundMovies.clear();
    FoundCount = 0;
    const quint64 serial = ++scanSerial;
    const int tab = entry->Tab;
    scanRunning = true;
    ++scans;
    link->Scan(
        tab, [this, serial, tab](bool ok, const QString& url, const QList<PageElement>& elements) {
            ScanDone(serial, tab, ok, url, elements);
        });
}

void BrowserFinder::ScanDone(quint64 serial, int tab, bool ok, const QString& url,
                             const QList<PageElement>& elements) {
    if (serial != scanSerial) return;  // the pointer went on to another window meanwhile
    scanRunning = false;
    // A page that moved on to a folder or a browser page meanwhile is ignored as well.
    if (!ok || !IsWebPage(url)) {
        dueWhenScanned = false;
        return;
    }
    FoundMovies = MoviesOfPage(url, elements);
    FoundCount = static_cast<int16_t>(qMin<qsizetype>(FoundMovies.size(), INT16_MAX));
    scannedPage = url;
    scannedTab = tab;
    if (active) {
        hooks.showMessage(FoundCount > 0 ? "Quorvanta have found " + QString::number(FoundCount) +
                                               " Flash files in this IE window."
                                         : QStringLiteral("No Flash file in this IE window."));
        hooks.moveMessage(lastPos + QPoint(16, 16));
    }
    if (dueWhenScanned) {
        dueWhenScanned = false;
        if (FoundCount > 0 && hooks.moviesDue) hooks.moviesDue();
    }
}

void BrowserFinder::End() {
    if (!active) return;
    active = false;
    if (hooks.messageVisible && hooks.messageVisible()) hooks.hideMessage();
    hooks.hideOutline();
    shellList.clear();
    listed = false;
    last = PointedWindow{};
    if (scanRunning) {
        // The scan of the window released over is still under way: its movies are due when it
        // answers.
        dueWhenScanned = true;
        return;
    }
    if (FoundCount > 0 && hooks.moviesDue) hooks.moviesDue();
}

void BrowserFinder::ScanChosen(const BrowserWindow& window) {
    if (active || !IsWebPage(window.Url)) return;
    FoundMovies.clear();
    FoundCount = 0;
    const quint64 serial = ++scanSerial;
    const int tab = window.Tab;
    scanRunning = true;
    dueWhenScanned = true;
    ++scans;
    link->Scan(
        tab, [this, serial, tab](bool ok, const QString& url, const QList<PageElement>& elements) {
            ScanDone(serial, tab, ok, url, elements);
        });
}
