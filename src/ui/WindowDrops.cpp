#include "ui/WindowDrops.h"

#include <QApplication>
#include <QDropEvent>
#include <QWidget>

#include "ui/DroppedLink.h"

WindowDrops::WindowDrops(QWidget* w, std::function<void(const QString&)> onDrop)
    : QObject(w), window(w), dropped(std::move(onDrop)) {
    // Widgets that take no drops pass them up to the window; the others are caught in the filter.
    window->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

WindowDrops::~WindowDrops() {
    if (qApp) qApp->removeEventFilter(this);
}

bool WindowDrops::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!window || widget == nullptr || widget->window() != window) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (!DroppedLink::Offered(drop->mimeData())) return false;
    if (type != QEvent::Drop) {
        drop->acceptProposedAction();
        return true;
    }
    const QString link = DroppedLink::Text(drop->mimeData());
    if (link.isEmpty()) return true;
    drop->acceptProposedAction();
    if (dropped) dropped(link);
    return true;
}
