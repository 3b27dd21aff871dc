#pragma once
// A record stored while its job ran (the program ended during a run), or one whose file has been
// named already: the file on disk decides whether the job goes on or starts again.

#include <QString>

#include "store/JobRecord.h"

class ResumeCheck {
public:
    struct Outcome {
        bool startOver = false;  // the partial file is gone: the job starts from the beginning
        bool keepName = false;   // the file is made again under the name it has
        QString notice;          // a line for the job's log, "" when none
    };
    // Brings the record in line with its file (FileOpen off, IsNew, LocalFile).
    static Outcome Apply(JobRecord& job, int32_t unknownEnd);
};
