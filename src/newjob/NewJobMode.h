#pragma once
// Which tab the new-job dialog opens on. Whoever opens the dialog sets it; the dialog sets it
// again whenever the user changes the main tab.

#include <cstdint>

enum NewJobModeValue : int16_t {
    ModeSingleFile = 1,
    ModePageSearch = 2,
    ModeBatch = 3,
    ModePageLinks = 4,
};

// 1 single file, 2 page search, 3 batch, 4 page links; 0 opens as 1.
extern int16_t NewJobMode;
