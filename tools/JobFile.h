#pragma once
// The job file quorvanta-get keeps beside its target, "<target>.qvjob": the job's record in the
// job database layout, followed by a text trailer with what the record cannot hold:
//
//   QVJOB-EXTRA 1
//   url=<the URL given on the command line>
//   job-url=<the record's Url in full; a redirect changes it, and the record cuts long texts>
//   etag=<ETag of the server's first answer>
//   last-modified=<Last-Modified of the server's first answer>
//   pending-file=<file the job is about to create; only before the job has a file>
//   end
//
// Values are percent-encoded UTF-8; unknown keys are skipped. A file of the record alone (written
// before the trailer existed) still reads, with the record's Url as the command-line URL.

#include <QByteArray>
#include <QString>

#include "store/JobRecord.h"
#include "store/JobValidators.h"

class JobFile {
public:
    JobRecord Record;
    QString CommandUrl;
    JobValidator Validator;
    QString PendingFile;

    enum class ReadResult { Ok, Missing, Bad };

    QByteArray ToBytes() const;
    // False when the bytes are not one whole record (and trailer); why says what is wrong.
    bool FromBytes(const QByteArray& bytes, QString* why = nullptr);
    ReadResult Read(const QString& path, QString* why = nullptr);
};
