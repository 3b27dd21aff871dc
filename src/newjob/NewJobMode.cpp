#include "newjob/NewJobMode.h"

int16_t NewJobMode = 0;
