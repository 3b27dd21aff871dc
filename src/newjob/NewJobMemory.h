#pragma once
// What the new-job dialog keeps from one opening to the next. Its owner (NewJobLauncher) holds
// it; the dialog reads and writes it while it is open.

#include <QString>
#include <cstdint>

#include "newjob/NewJobMode.h"

struct NewJobMemory {
    // The tab the dialog opens on, and the one it shows while open.
    NewJobModeValue Mode = ModeUnset;
    // The last URL typed into a URL box or handed in by another part of the program. An empty
    // URL box takes it over when it gets the focus. OK empties it; Cancel does not.
    QString SharedUrl;
    // 0 "Only search current page", 1 "Search current page and its links".
    int16_t DepthChoice = 0;
    // Key of the current main tab ("OneFile", "Search", "BatFile", "FromIe").
    QString CurrentTabKey;
};
