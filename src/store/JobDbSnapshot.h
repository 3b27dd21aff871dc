#pragma once
// A save of the job database taken apart in two steps: the tables as they stand at one moment
// (taken on the main thread; cheap, the strings are shared rather than copied), and the bytes of
// the files built and written from that copy, on any thread, while the tables go on changing.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <vector>

#include "store/JobDbFormat.h"
#include "store/JobRecord.h"
#include "store/JobValidators.h"

class CategoryTree;

struct JobDbSnapshot {
    std::vector<CategoryRecord> categories;   // below "Downloaded", in pre-order
    std::vector<JobRecord> jobs;              // Jobs as it stood; [0] unused
    QHash<QString, JobValidator> validators;  // JobValidators::All()
};

// The tree's categories, Jobs and the validators as they are now. Main thread.
JobDbSnapshot TakeJobDbSnapshot(const CategoryTree& tree);
// The same into an earlier snapshot, whose storage is reused (no new memory for the job table,
// which for a full table saves more time than the copy itself takes).
void TakeJobDbSnapshot(const CategoryTree& tree, JobDbSnapshot& into);

// The bytes of the database file (every job except deleted-for-good and empty keys). Any thread.
QByteArray JobDbBytes(const JobDbSnapshot& snapshot);

// The bytes of the validators file: the validators of the unfinished jobs; empty when none.
QByteArray JobValidatorBytes(const JobDbSnapshot& snapshot);

// Where the validators of unfinished jobs are kept beside the database (default.qvb:
// default.qvv).
QString JobValidatorsPath(const QString& dbPath);

// Writes the validators beside path (JobValidatorsPath; removed when there are none), then the
// database at path, each atomically: the validators first, so that a database never names a file
// whose validators were lost. Any thread. False with error set when either could not be written;
// the previous database then stays as it was.
bool WriteJobDb(const JobDbSnapshot& snapshot, const QString& path, QString* error);
