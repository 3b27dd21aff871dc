#include "engine/ResumeCheck.h"

#include "engine/TargetFile.h"
#include "store/JobValidators.h"

ResumeCheck::Outcome ResumeCheck::Apply(JobRecord& job, int32_t unknownEnd) {
    Outcome out;
    const bool wasOpen = job.FileOpen != 0;
    job.FileOpen = VbFalse;
    const bool progress =
        job.FileSize > 0 || job.Segments[1].CurPos > 0 || job.Segments[1].EndPos == unknownEnd;
    const bool named =
        wasOpen || job.IsNew == 0 || progress || job.LocalFile.endsWith(QLatin1String("!qv"));
    if (!named || job.LocalFile.isEmpty()) return out;
    const QString finished = TargetFile::FinishedAs(job.LocalFile, job.FileSize);
    if (!finished.isEmpty()) {
        // The last run renamed the whole file and was ended before its record said so: the job
        // goes on with the file under its final name (its record may owe a few bytes).
        JobValidators::Set(finished, JobValidators::Get(job.LocalFile));
        JobValidators::Remove(job.LocalFile);
        job.LocalFile = finished;
        out.notice = QStringLiteral("The file was finished as ") + finished +
                     QStringLiteral(" before the job was saved; it is checked again.");
    }
    if (!TargetFile::Exists(job.LocalFile)) {
        if (job.IsNew == 0 || progress)
            out.startOver = true;
        else if (job.LocalFile.endsWith(QLatin1String("!qv")))
            job.LocalFile.chop(3);
    } else if (progress) {
        job.IsNew = VbFalse;
    } else {
        // Named, but nothing of it was fetched: the file is made again under that name.
        job.IsNew = VbTrue;
        out.keepName = true;
    }
    return out;
}
