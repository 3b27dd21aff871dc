#pragma once
// What "Job Properties" may change in a job that is not running, and what a change costs: a new
// address or another file starts the job again from zero (its partial file is given up); the
// referrer, the login and the number of connections keep the bytes it has.

#include <QString>

#include "store/JobRecord.h"

struct JobEdit {
    QString Url;
    QString Referer;
    bool UseLogin = false;
    QString UserName;
    QString Password;
    QString FileName;  // the finished file's name, without the folder
    QString Folder;    // ends with "/"
    int16_t Parts = 1;

    static JobEdit Of(const JobRecord& job);
    // Empty when the values can be taken; else what is wrong (shown to the user).
    QString Problem() const;
    // Applies the values. Returns true when the job starts again from zero; *oldFile then names
    // the partial file to remove ("" when there is none).
    bool ApplyTo(JobRecord& job, QString* oldFile) const;
};
