#include "store/Settings.h"

SettingsRecord Settings;
int16_t OptionPage = 0;

// Filled in with the settings file reader.
void LoadSettingsFromFile(const QString&) {}
