#pragma once
// Whether an answer fits the request it answers and the file being downloaded: the status, the
// start and total of a partial answer, the lengths, the validators. Pure rules on the head text.

#include <QString>
#include <cstdint>

#include "store/JobValidators.h"

class AnswerCheck {
public:
    // What the request asked and what is known of the file.
    struct Asked {
        int64_t RequestPos = 0;  // first byte asked for (0: the whole file)
        bool Chunked = false;    // the answer comes in chunks (its length with them)
        bool ResumeRun = false;  // the run goes on with a file on disk
        bool SizeUnknown = false;
        int64_t FileSize = 0;
        JobValidator Validator;  // of the file being downloaded
    };
    struct Verdict {
        QString Problem;        // "" when the answer fits
        bool Changed = false;   // the answer says the file on the server is another one
        int64_t BodyLeft = -1;  // the body's length when it fits (-1: not announced)
    };
    static Verdict Check(const QString& head, const Asked& asked);
    // The size of the file a partial answer names in its Content-Range, -1 when none.
    static int64_t NamedSize(const QString& head);
};
