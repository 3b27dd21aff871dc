// The INI reader on a file as found on disk, and the settings the program reads on top of it.

#include <QFile>

#include "fuzz/FuzzSupport.h"
#include "store/SettingsFile.h"
#include "store/clsIniFile.h"

QV_FUZZ_ENTRY(ini) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = Fuzz::TempFolder() + QStringLiteral("/settings.ini");
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
    }
    clsIniFile ini(path);
    for (const QString& section :
         {QStringLiteral("Option"), QStringLiteral("Proxy"), QStringLiteral("a"), QString()}) {
        QStringList names;
        const int16_t n = ini.GetSection(section, names);
        QV_FUZZ_CHECK(n >= 0);
        for (const QString& key : ini.KeyNames(section)) {
            QV_FUZZ_CHECK(!key.contains(u'\n'));
            const QString value = ini.GetSetting(section, key);
            QV_FUZZ_CHECK(!value.contains(u'\n'));
        }
        ini.SectionExists(section);
    }
    SettingsFile::Read(ini);
    SettingsFile::Read(path);
    return 0;
}
