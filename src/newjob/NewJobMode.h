#pragma once
// Which tab the new-job dialog opens on. Whoever opens the dialog names it; the dialog notes it
// again whenever the user changes the main tab.

#include <cstdint>

enum NewJobModeValue : int16_t {
    ModeUnset = 0,  // opens as ModeSingleFile
    ModeSingleFile = 1,
    ModePageSearch = 2,
    ModeBatch = 3,
    ModePageLinks = 4,
};
