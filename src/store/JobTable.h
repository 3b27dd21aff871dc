#pragma once
// The global table of all jobs: 1-based, grows one record at a time, never shrinks while running.

#include <vector>

#include "store/JobRecord.h"

// Jobs[1..JobCount] are the jobs; Jobs[0] is unused. Always Jobs.size() == JobCount + 1.
extern std::vector<JobRecord> Jobs;
extern int16_t JobCount;

constexpr int kMaxJobs = 32767;

// Appends a copy of the record as Jobs[JobCount + 1]. Returns the new index, or 0 when the
// table is full (32767 jobs); the caller is told with a message.
int AddJob(const JobRecord& record);

// Empties the table (start-up, tests).
void ClearJobs();

// The index a list row key stands for: the numeric value of the key's leading digits.
int KeyIndex(const QString& rowKey);
