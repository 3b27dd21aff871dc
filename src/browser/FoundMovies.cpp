#include "browser/FoundMovies.h"

QStringList FoundMovies;
int16_t FoundCount = 0;
