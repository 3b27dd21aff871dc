#include "browser/X11Windows.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

X11Windows::X11Windows() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    connection = c;
    root = it.data->root;
    wmClass = XCB_ATOM_WM_CLASS;
    wmName = XCB_ATOM_WM_NAME;
    stringAtom = XCB_ATOM_STRING;
    netWmName = Atom("_NET_WM_NAME");
    utf8String = Atom("UTF8_STRING");
}

X11Windows::~X11Windows() {
    if (connection) xcb_disconnect(connection);
}

uint32_t X11Windows::Atom(const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr);
    const uint32_t atom = r ? r->atom : 0;
    std::free(r);
    return atom;
}

QString X11Windows::TextProperty(uint32_t window, uint32_t property, uint32_t type) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr);
    QString text;
    if (r && r->format == 8) {
        const int length = xcb_get_property_value_length(r);
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(r));
        text = type == utf8String ? QString::fromUtf8(bytes, length)
                                  : QString::fromLatin1(bytes, length);
    }
    std::free(r);
    return text;
}

PointedWindow X11Windows::UnderPointer() {
    PointedWindow found;
    if (!connection) return found;
    uint32_t rootChild = 0;
    uint32_t window = root;
    // Down from the root, one child under the pointer at a time.
    for (int depth = 0; depth < 32; ++depth) {
        xcb_query_pointer_reply_t* r =
            xcb_query_pointer_reply(connection, xcb_query_pointer(connection, window), nullptr);
        const uint32_t child = r && r->same_screen ? r->child : 0;
        std::free(r);
        if (child == XCB_NONE) break;
        if (!rootChild) rootChild = child;
        window = child;
        if (!found.TopLevel) {
            const QString cls = TextProperty(child, wmClass, stringAtom);
            if (!cls.isEmpty()) {
                found.TopLevel = child;
                // "instance\0class\0": the class part.
                found.Class = cls.section(QChar(0), 1, 1);
                if (found.Class.isEmpty()) found.Class = cls.section(QChar(0), 0, 0);
            }
        }
    }
    if (!rootChild) return found;
    found.Handle = window;
    if (!found.TopLevel) found.TopLevel = rootChild;
    found.Title = TextProperty(found.TopLevel, netWmName, utf8String);
    if (found.Title.isEmpty()) found.Title = TextProperty(found.TopLevel, wmName, stringAtom);
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, rootChild), nullptr);
    if (g)
        found.Frame =
            QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
    std::free(g);
    return found;
}
