#include "store/ProxyList.h"

#include <algorithm>

#include "store/Globals.h"
#include "store/NumberRule.h"
#include "store/clsIniFile.h"

QStringList ProxyChoices(int* chosen) {
    clsIniFile ini(IniFile);
    const QString section = QStringLiteral("Proxy");
    const double counted = NumberRule::Val(ini.GetSetting(section, QStringLiteral("ProxyNum")));
    const int defaultEntry =
        NumberRule::ToInt32(NumberRule::Val(ini.GetSetting(section, QStringLiteral("Default"))));
    // No more entries than the section has keys, whatever the count says.
    const qsizetype keys = ini.KeyNames(section).size();
    const qsizetype count =
        std::clamp<qsizetype>(NumberRule::SaturatingCast<qsizetype>(counted), 0, keys);

    QStringList choices{QStringLiteral("Direct Connection")};
    if (chosen) *chosen = 0;
    for (qsizetype i = 1; i <= count; ++i) {
        QString entry = ini.GetSetting(section, QString::number(i));
        if (entry == clsIniFile::MissingValue) continue;
        if (entry == clsIniFile::EmptyValue) entry.clear();
        choices.append(entry);
        if (i == defaultEntry && chosen) *chosen = static_cast<int>(choices.size() - 1);
    }
    return choices;
}

bool ParseProxyEntry(int comboIndex, const QString& entry, QString* host, uint16_t* port) {
    const qsizetype colon = entry.indexOf(u':');
    const QString h = colon < 0 ? QString() : entry.left(colon).trimmed();
    if (comboIndex <= 0 || h.isEmpty()) {
        if (host) host->clear();
        if (port) *port = 0;
        return false;
    }
    if (host) *host = h;
    if (port) *port = NumberRule::ValUInt16(entry.mid(colon + 1));
    return true;
}
