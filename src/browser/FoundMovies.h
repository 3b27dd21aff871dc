#pragma once
// The movies the browser window scanner found in its last scan. A non-zero FoundCount tells the
// hand-off timer that the save dialog is due instead of the new-job dialog.

#include <QStringList>
#include <cstdint>

extern QStringList FoundMovies;
extern int16_t FoundCount;
