#include "ui/frmTop.h"

#include <QApplication>
#include <QBitmap>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/DroppedLink.h"

namespace {

constexpr int kSize = 40;

// The drop area: a box with an arrow pointing down into it.
QPixmap DropPicture() {
    QPixmap pm(kSize, kSize);
    pm.fill(QColor(0xf4, 0xf6, 0xfa));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x2c, 0x5a, 0xa0), 2));
    p.drawRoundedRect(QRectF(4, 18, 32, 18), 3, 3);
    p.setBrush(QColor(0x2c, 0x5a, 0xa0));
    p.drawRect(QRectF(18, 4, 4, 12));
    p.drawPolygon(QPolygonF({QPointF(12, 14), QPointF(28, 14), QPointF(20, 24)}));
    return pm;
}

// The finder: a circle, with the cross hair in it while it rests in the window.
QPixmap FinderPicture(bool withCross) {
    QPixmap pm(kSize, kSize);
    pm.fill(QColor(0xf4, 0xf6, 0xfa));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QPointF(20, 20), 12, 12);
    if (withCross) {
        p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 2));
        p.drawLine(20, 4, 20, 36);
        p.drawLine(4, 20, 36, 20);
    }
    return pm;
}

// The pointer while the finder is dragged: the cross hair itself.
QCursor FinderPointer() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 4));
    p.drawEllipse(QPointF(16, 16), 10, 10);
    p.drawLine(16, 1, 16, 31);
    p.drawLine(1, 16, 31, 16);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QPointF(16, 16), 10, 10);
    p.drawLine(16, 1, 16, 31);
    p.drawLine(1, 16, 31, 16);
    p.end();
    return QCursor(pm, 16, 16);
}

}  // namespace

frmTop::frmTop(Hooks h, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      hooks(std::move(h)) {
    setObjectName("frmTop");
    // Not the main window's caption: the main window is the one found by "Quorvanta".
    setWindowTitle("Top Window");
    setAttribute(Qt::WA_DeleteOnClose);
    Image3 = FinderPicture(true);
    Image4 = FinderPicture(false);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(DropPicture());
    Image1->setAcceptDrops(true);
    Image2 = new QLabel(this);
    Image2->setObjectName("Image2");
    Image2->setPixmap(Image3);
    for (QLabel* image : {Image1, Image2}) {
        image->setFixedSize(kSize, kSize);
        image->installEventFilter(this);
    }
    const QString drop = QStringLiteral("Drop a link here");
    const QString finder = QStringLiteral("Drag over a browser window to find its Flash movies");
    Image1->setToolTip(drop);
    Image1->setAccessibleName(drop);
    Image2->setToolTip(finder);
    Image2->setAccessibleName(finder);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(Image1);
    layout->addWidget(Image2);
    setStyleSheet("frmTop { background: #dfe5ef; border: 1px solid #7a8699; }");
    setAttribute(Qt::WA_StyledBackground);
    adjustSize();
}

void frmTop::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Topmost, without moving or resizing: the flags are set at creation; the raise makes the
    // window manager put it above the others now.
    raise();
}

bool frmTop::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1) return Image1Event(event);
    if (watched == Image2) return Image2Event(event);
    return QWidget::eventFilter(watched, event);
}

void frmTop::PopupMenu(const QPoint& globalPos) {
    if (!hooks.popupMenu) return;
    if (QMenu* menu = hooks.popupMenu()) menu->popup(globalPos);
}

bool frmTop::Image1Event(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton) moving = true;
            if (e->button() == Qt::RightButton) PopupMenu(e->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (moving && (e->buttons() & Qt::LeftButton)) {
                // The window manager moves the window from here on, as a drag of its title bar.
                if (QWindow* w = windowHandle()) w->startSystemMove();
            }
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) moving = false;
            return true;
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && hooks.toggleMain)
                hooks.toggleMain();
            return true;
        case QEvent::DragEnter: {
            auto* e = static_cast<QDragEnterEvent*>(event);
            if (DroppedLink::Offered(e->mimeData())) e->acceptProposedAction();
            return true;
        }
        case QEvent::DragMove:
            static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
            return true;
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            const QString text = DroppedLink::Text(e->mimeData());
            if (text.isEmpty()) return true;
            e->acceptProposedAction();
            if (hooks.dropText) hooks.dropText(text);
            return true;
        }
        default:
            return false;
    }
}

bool frmTop::Image2Event(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::RightButton) {
                PopupMenu(e->globalPosition().toPoint());
                return true;
            }
            if (e->button() != Qt::LeftButton) return true;
            finding = true;
            Image2->setPixmap(Image4);
            const QCursor pointer = FinderPointer();
            Image2->setCursor(pointer);
            setCursor(pointer);
            if (hooks.finderDown) hooks.finderDown();
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (finding && (e->buttons() & Qt::LeftButton) && hooks.finderMove)
                hooks.finderMove(e->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton || !finding) return true;
            finding = false;
            Image2->setPixmap(Image3);
            Image2->unsetCursor();
            unsetCursor();
            if (hooks.finderUp) hooks.finderUp();
            return true;
        }
        default:
            return false;
    }
}
