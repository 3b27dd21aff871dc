#include "store/Globals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "handoff_lib/HandoffProtocol.h"

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
    const QString home =
        QFile::decodeName(QByteArray::fromStdString(HandoffProtocol::HomeFolder()));
    DefaultDownDir = home + QStringLiteral("/mydown/");
    AppDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    // The same folder the hand-off socket's name is made from.
    DataDir = QFile::decodeName(QByteArray::fromStdString(HandoffProtocol::DataFolder()));
    // The jobs with their logins, the queues and the backups are the user's alone.
    if (QDir().mkpath(DataDir))
        QFile::setPermissions(
            DataDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    JobDbFile = DataDir + QStringLiteral("/default.qvb");
    IniFile = DataDir + QStringLiteral("/set.ini");
}
