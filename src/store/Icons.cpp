#include "store/Icons.h"

#include <QFile>
#include <QHash>

static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace {
// Theme names tried first for each key.
const QHash<QString, QString>& ThemeNames() {
    static const QHash<QString, QString> names = {
        {"app", "folder-download"},
        {"AddNewJob", "list-add"},
        {"AddNewJobB", "edit-copy"},
        {"AddSearch", "edit-find"},
        {"Start", "media-playback-start"},
        {"Pause", "media-playback-pause"},
        {"AllStart", "media-seek-forward"},
        {"AllPause", "media-playback-stop"},
        {"Comment", "document-edit"},
        {"Delete", "edit-delete"},
        {"Openfile", "document-open"},
        {"Opendir", "folder-open"},
        {"AddPf", "document-new"},
        {"AddPbf", "folder-new"},
        {"Option", "preferences-system"},
        {"Help", "help-contents"},
        {"Home", "go-home"},
        {"About", "help-about"},
        {"Play", "media-playback-start"},
        {"Stop", "media-playback-stop"},
        {"Last", "media-skip-backward"},
        {"Next", "media-skip-forward"},
        {"FullS", "view-fullscreen"},
        {"Waitfor", "appointment-soon"},
        {"Error", "dialog-error"},
        {"Ok", "emblem-ok"},
        {"Info1", "dialog-information"},
        {"1", "network-server"},
        {"2", "edit-find"},
        {"3", "folder-download"},
        {"4", "folder"},
        {"5", "folder"},
        {"6", "folder-open"},
        {"7", "user-trash"},
        {"History", "document-open-recent"},
        {"History1", "x-office-calendar"},
    };
    return names;
}
}  // namespace

QIcon QvIcon(const QString& key) {
    static bool initialised = false;
    if (!initialised) {
        InitIconResources();
        initialised = true;
    }
    static QHash<QString, QIcon> cache;
    auto it = cache.constFind(key);
    if (it != cache.cend()) return *it;
    QIcon icon;
    const QString fallback = QStringLiteral(":/icons/%1.png").arg(key);
    if (QFile::exists(fallback)) icon = QIcon(fallback);
    const QString theme = ThemeNames().value(key);
    if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) icon = QIcon::fromTheme(theme, icon);
    if (icon.isNull()) icon = QIcon(QStringLiteral(":/icons/app.png"));
    cache.insert(key, icon);
    return icon;
}
