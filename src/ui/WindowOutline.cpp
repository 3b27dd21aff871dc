#include "ui/WindowOutline.h"

#include <QPainter>
#include <QRegion>

WindowOutline::WindowOutline(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                          Qt::X11BypassWindowManagerHint) {
    setObjectName("WindowOutline");
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void WindowOutline::Outline(const QRect& r) {
    if (r.width() <= 2 * kWidth || r.height() <= 2 * kWidth) {
        hide();
        return;
    }
    setGeometry(r);
    // Only the frame is part of the window: the inside shows the browser window itself.
    const QRect inside = QRect(QPoint(0, 0), r.size()).adjusted(kWidth, kWidth, -kWidth, -kWidth);
    setMask(QRegion(QRect(QPoint(0, 0), r.size())).subtracted(QRegion(inside)));
    show();
    raise();
}

void WindowOutline::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Qt::black);
}
