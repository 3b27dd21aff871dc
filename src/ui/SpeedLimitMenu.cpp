#include "ui/SpeedLimitMenu.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

#include "store/Globals.h"
#include "store/Settings.h"
#include "store/clsIniFile.h"

const QList<int>& SpeedLimitMenu::Choices() {
    static const QList<int> choices{0, 50, 100, 200, 500, 1000, 2000, 5000};
    return choices;
}

SpeedLimitMenu::SpeedLimitMenu(QLabel* label, std::function<void(int)> applyLimit)
    : QObject(label), panel(label), menu(new QMenu(label)), apply(std::move(applyLimit)) {
    menu->setObjectName(QStringLiteral("popSpeedLimit"));
    auto* group = new QActionGroup(menu);
    for (int kb : Choices()) {
        QAction* a = menu->addAction(kb == 0 ? QStringLiteral("No speed limit")
                                             : QStringLiteral("Limit to %1 KB/s").arg(kb));
        a->setObjectName(QStringLiteral("popSpeedLimit_%1").arg(kb));
        a->setCheckable(true);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, kb] { Choose(kb); });
    }
    connect(menu, &QMenu::aboutToShow, this, &SpeedLimitMenu::Refresh);
    panel->setToolTip(QStringLiteral("Click to limit the download speed"));
    panel->installEventFilter(this);
}

void SpeedLimitMenu::Refresh() {
    for (QAction* a : menu->actions())
        a->setChecked(a->objectName() ==
                      QStringLiteral("popSpeedLimit_%1").arg(Settings.SpeedLimit));
}

void SpeedLimitMenu::Choose(int kb) {
    Settings.SpeedLimit = kb;
    clsIniFile ini(IniFile);
    ini.SaveSetting(QStringLiteral("Other"), QStringLiteral("SpeedLimit"), QString::number(kb));
    if (apply) apply(kb);
}

bool SpeedLimitMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel &&
        (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::ContextMenu)) {
        const QPoint at = event->type() == QEvent::ContextMenu
                              ? static_cast<QContextMenuEvent*>(event)->globalPos()
                              : static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        menu->popup(at);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
