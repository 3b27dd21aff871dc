#pragma once
// The window under the pointer on an X11 display, through the program's own xcb connection:
// the pointer is queried from the root down to the deepest window; the top-level window is the
// first on that way that carries WM_CLASS (the client window a window manager framed), or the
// root's child when none does. Available only when the program runs on Qt's xcb platform.

#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>

struct xcb_connection_t;

struct PointedWindow {
    uint32_t Handle = 0;    // the deepest window under the pointer; 0 when none is known
    uint32_t TopLevel = 0;  // its top-level window
    QString Title;          // _NET_WM_NAME, else WM_NAME
    QString Class;          // WM_CLASS's class part
    QRect Frame;            // the top-level window's frame on the screen
};

class X11Windows {
public:
    X11Windows();
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    bool Available() const { return connection != nullptr; }
    PointedWindow UnderPointer();

private:
    QString TextProperty(uint32_t window, uint32_t property, uint32_t type);
    uint32_t Atom(const char* name);

    xcb_connection_t* connection = nullptr;
    uint32_t root = 0;
    uint32_t wmClass = 0, netWmName = 0, utf8String = 0, wmName = 0, stringAtom = 0;
};
