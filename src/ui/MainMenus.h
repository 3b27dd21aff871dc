#pragma once
// The main window's menus, tool bars and tray menu. Every entry is a QAction with its objectName;
// entries whose feature is not in this build stay disabled whatever the enabling rules say.

#include <QHash>
#include <QObject>
#include <QString>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

class MainMenus : public QObject {
    Q_OBJECT
public:
    explicit MainMenus(QMainWindow* window);

    QAction* Action(const QString& name) const;
    QMenu* Menu(const QString& name) const;
    QToolBar* tbMain() const { return mainBar; }
    QToolBar* tbOper() const { return operBar; }
    QMenu* popMain() const { return trayMenu; }

    // Marks an entry as backed by a working feature (or not). Unavailable entries are disabled.
    void SetAvailable(const QString& name, bool available);
    bool IsAvailable(const QString& name) const;
    // Enables an entry when it is available and the rule allows it.
    void Enable(const QString& name, bool rule);

    QStringList Names() const { return actions.keys(); }

signals:
    // A menu is about to open: the window refreshes enabled flags.
    void MenuAboutToShow(const QString& menuName);

private:
    QAction* Add(QMenu* menu, const QString& name, const QString& text, bool available = true);
    QAction* AddTool(QToolBar* bar, const QString& name, const QString& key, const QString& iconKey,
                     const QString& tip, bool available = true);
    void BuildMenus(QMainWindow* window);
    void BuildToolBars(QMainWindow* window);
    void BuildTrayMenu(QMainWindow* window);

    QHash<QString, QAction*> actions;
    QHash<QString, QMenu*> menus;
    QHash<QString, bool> availability;
    QToolBar* mainBar = nullptr;
    QToolBar* operBar = nullptr;
    QMenu* trayMenu = nullptr;
};
