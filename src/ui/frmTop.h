#pragma once
// The floating window: a small frameless, always-on-top window with two pictures. Image1 takes a
// link or text dropped on it, moves the window when dragged, pops up the tray menu on the right
// button and shows or minimizes the main window on a double click. Image2 is the finder: pressed
// and dragged over a browser window it reports the pointer's way to its owner; Image3 and Image4
// only supply its two pictures (at rest, while dragging).

#include <QPixmap>
#include <QWidget>
#include <functional>

class QLabel;
class QMenu;

class frmTop : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        // The tray menu popMain, its entries' enabling brought up to date first.
        std::function<QMenu*()> popupMenu;
        // Image1's double click: the main window back to normal when it is not, else minimized.
        std::function<void()> toggleMain;
        // Text dropped on Image1.
        std::function<void(const QString&)> dropText;
        // The finder: pressed, moved with the left button held (global position), released.
        std::function<void()> finderDown;
        std::function<void(const QPoint&)> finderMove;
        std::function<void()> finderUp;
    };

    explicit frmTop(Hooks hooks, QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    QPixmap Image3;  // the finder at rest
    QPixmap Image4;  // the finder while dragging

    bool Moving() const { return moving; }
    bool FinderActive() const { return finding; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool Image1Event(QEvent* event);
    bool Image2Event(QEvent* event);
    void PopupMenu(const QPoint& globalPos);

    Hooks hooks;
    bool moving = false;
    bool finding = false;
};
