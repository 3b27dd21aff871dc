#pragma once
// Values set once at start-up and read everywhere.

#include <QString>

extern QString AppVersion;      // "1.3"
extern QString AppLanguage;     // "English"
extern QString DefaultDownDir;  // home + "/mydown/"
extern QString AppDir;          // folder of the executable, no trailing "/"
extern QString DataDir;         // $XDG_DATA_HOME/quorvanta, no trailing "/"
extern QString JobDbFile;       // DataDir + "/default.qvb"
extern QString IniFile;         // DataDir + "/set.ini"

// Sets the globals from the environment (XDG_DATA_HOME, HOME) and the executable's folder, and
// creates the data folder. Safe to call more than once (tests change the environment).
void InitGlobals();
