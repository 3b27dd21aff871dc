#pragma once
// Jobs for the job table, as the program makes them.

#include <QString>

#include "store/JobRecord.h"
#include "store/VbDate.h"

namespace TestJobs {

// A job in state for url, its file at localFile (named after it), made now.
inline JobRecord Job(const QString& classKey, int state, const QString& url,
                     const QString& localFile) {
    JobRecord job;
    job.ClassKey = classKey;
    job.State = state;
    job.Url = url;
    job.FileName = localFile.section('/', -1);
    job.LocalFile = localFile;
    job.CreateTime = VbDate::Now();
    return job;
}

// A new download of url into folder (ending with "/") over parts connections, as the new-job
// dialog adds it: waiting, with the program's user agent.
inline JobRecord Download(const QString& classKey, const QString& url, const QString& folder,
                          int parts) {
    JobRecord job = Job(classKey, StateWaiting, url, folder + url.section('/', -1));
    job.Parts = static_cast<int16_t>(parts);
    job.IsNew = VbTrue;
    job.UserAgent = QStringLiteral("Quorvanta 1.0");
    return job;
}

}  // namespace TestJobs
