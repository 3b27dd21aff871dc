#include "store/Globals.h"

#include <QCoreApplication>
#include <QDir>

QString AppVersion;
QString AppLanguage;
QString DefaultDownDir;
QString AppDir;
QString DataDir;
QString JobDbFile;
QString IniFile;

void InitGlobals() {
    AppVersion = QStringLiteral("1.3");
    AppLanguage = QStringLiteral("English");
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) home = QDir::homePath();
    while (home.size() > 1 && home.endsWith(u'/')) home.chop(1);
    DefaultDownDir = home + QStringLiteral("/mydown/");
    AppDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = home + QStringLiteral("/.local/share");
    DataDir = QDir::cleanPath(dataHome + QStringLiteral("/quorvanta"));
    QDir().mkpath(DataDir);
    JobDbFile = DataDir + QStringLiteral("/default.qvb");
    IniFile = DataDir + QStringLiteral("/set.ini");
}
