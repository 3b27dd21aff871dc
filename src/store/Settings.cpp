#include "store/Settings.h"

#include "store/SettingsFile.h"

SettingsRecord Settings;
int16_t OptionPage = 0;

void LoadSettingsFromFile(const QString& iniPath) {
    Settings = SettingsFile::ToRecord(SettingsFile::Read(iniPath));
}
