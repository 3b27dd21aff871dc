#include "engine/DownloadSlot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QFile>
#include <cmath>

#include "engine/DownloadLogText.h"
#include "store/JobTable.h"
#include "store/JobValidators.h"
#include "store/Settings.h"
#include "store/VbDate.h"

DownloadSlot::DownloadSlot(int slot, QObject* parent) : QObject(parent), slotNo(slot) {
    connect(&job, &clsDownLoadJob::UpDataState, this, &DownloadSlot::OnUpDataState);
    connect(&job, &clsDownLoadJob::RecordChanged, this, &DownloadSlot::Save);
    connect(&job, &clsDownLoadJob::ShowStateIcon, this,
            [this](int state) { emit StateIcon(slotNo, state); });
    connect(&job, &clsDownLoadJob::LogNotice, this,
            [this](int part, const QString& text) { Tell(part, text); });
    connect(&job, &clsDownLoadJob::RetryWaiting, this,
            [this](int part, const QString& reason, int seconds, int attempt, int allowed) {
                emit RetryWaiting(slotNo, part, reason, seconds, attempt, allowed);
            });
    connect(&job, &clsDownLoadJob::FileAboutToBeMade, this,
            [this](const QString& name) { emit FileAboutToBeMade(slotNo, jobIndex, name); });
    connect(&job, &clsDownLoadJob::LayingOutFile, this,
            [this](const QString& name, qint64 done, qint64 size, bool ended) {
                emit LayingOutFile(slotNo, jobIndex, name, done, size, ended);
            });
    connect(&job, &clsDownLoadJob::LogInfo, this, [this](int part, const QString& text) {
        emit LogLine(slotNo, part, text, LogGeneral);
    });
}

clsDownLoadJob* DownloadSlot::Job() {
    return &job;
}
int DownloadSlot::Slot() const {
    return slotNo;
}
bool DownloadSlot::InUse() const {
    return job.InUse;
}
int DownloadSlot::JobIndex() const {
    return jobIndex;
}

void DownloadSlot::Save() {
    if (jobIndex < 1 || jobIndex >= static_cast<int>(Jobs.size())) return;
    // A move, a delete or a comment made while the job runs stays: the run's record takes them
    // over.
    JobRecord& stored = Jobs[jobIndex];
    JobRecord& r = job.Record();
    r.ClassKey = stored.ClassKey;
    r.Comment = stored.Comment;
    if (!usesSessionLogin) {
        stored = r;
        return;
    }
    // A login given for this run of the program only never reaches the record.
    const int16_t useLogin = stored.UseLogin;
    const QString user = stored.UserName, password = stored.Password;
    stored = r;
    stored.UseLogin = useLogin;
    stored.UserName = user;
    stored.Password = password;
}

bool DownloadSlot::BindAndStart(int j) {
    if (j < 1 || j > JobCount || j >= static_cast<int>(Jobs.size())) return false;
    if (job.InUse) job.Pause();
    ++bindId;
    jobIndex = j;
    job.InUse = true;
    options.ConnectTimeout = Settings.Ctimeout;
    options.ReceiveTimeout = Settings.Rtimeout;
    options.Retries = Settings.Retries;
    options.RetryDelay = Settings.Redelay;
    options.WorkingSuffix = Settings.UseQV == 1;
    options.AutoRename = Settings.Fileexits != 0;
    JobRecord record = Jobs[jobIndex];
    usesSessionLogin = false;
    if (record.UseLogin == 0 && sessionLogins != nullptr &&
        sessionLogins->Find(record.Url, &record.UserName, &record.Password)) {
        record.UseLogin = VbTrue;
        usesSessionLogin = true;
    }
    if (!job.Create(record, options)) {
        job.InUse = false;
        Jobs[jobIndex].State = StateError;
        const QList<DownloadLogLine> lines = DownloadLogText::Lines(
            1, ReportKind::RequestError, QStringLiteral("Invalid URL: ") + Jobs[jobIndex].Url);
        const QString reason = lines.value(0).Text;
        const quint64 id = bindId;
        emit StateIcon(slotNo, StateError);
        if (id == bindId) emit LogLine(slotNo, 1, reason, LogProblem);
        emit RunEnded(slotNo, jobIndex, reason);
        return false;
    }
    job.Start();
    return true;
}

void DownloadSlot::Pause() {
    if (!job.InUse) return;
    job.Pause();
}

void DownloadSlot::OnUpDataState(int part, ReportKind kind, const QString& detail) {
    const quint64 id = bindId;
    const int j = jobIndex;
    job.CalcHaveDown();
    Save();
    emit Report(slotNo, part, kind, detail);
    const QList<DownloadLogLine> lines = DownloadLogText::Lines(part, kind, detail);
    for (const DownloadLogLine& line : lines) {
        if (id != bindId) break;
        emit LogLine(slotNo, part, line.Text, line.Kind);
    }
    if (kind == ReportKind::RequestError) {
        // The engine has ended the run in state 5 and given the slot back.
        emit RunEnded(slotNo, j, lines.value(0).Text);
        return;
    }
    if (kind != ReportKind::Close || id != bindId || !job.InUse) return;
    const JobRecord& r = job.Record();
    // A new job is complete only once its file exists (a server may close before answering).
    const bool hasFile = r.IsNew == 0 || r.FileOpen != 0;
    if (r.State != StateComplete && hasFile && !job.SizeUnknown() && r.Received == r.FileSize) {
        // The ranges say every byte is here; the job is complete only when the file says so too.
        QString why;
        if (!job.VerifyComplete(&why)) {
            job.EndWithError(QStringLiteral("The file is not complete: ") + why);
            return;
        }
        Finish();
    }
}

void DownloadSlot::Tell(int part, const QString& text) {
    emit Notice(slotNo, part, text);
    emit LogLine(slotNo, part, text, LogProblem);
}

void DownloadSlot::Finish() {
    const int j = jobIndex;
    JobRecord& r = job.Record();
    job.StopAll();
    job.CloseFile();
    if (options.WorkingSuffix && r.LocalFile.endsWith(QLatin1String("!qv"))) {
        QString final = r.LocalFile.chopped(3);
        if (options.AutoRename && QFile::exists(final)) {
            // A file of that name appeared meanwhile: keep it and take the next free name.
            for (int counter = 0; counter <= 32767 && QFile::exists(final); ++counter)
                final = clsDownLoadJob::GetFileBase(final) + QString::number(counter) +
                        clsDownLoadJob::GetFileExt(final);
        }
        emit FileAboutToBeRenamed(slotNo, j, final);
        if (std::rename(QFile::encodeName(r.LocalFile).constData(),
                        QFile::encodeName(final).constData()) == 0) {
            JobValidators::Remove(r.LocalFile);
            r.LocalFile = final;
        } else {
            // The file is whole under its temporary name: it stays there, nothing is lost.
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            Tell(1, QStringLiteral("Cannot rename ") + r.LocalFile + QStringLiteral(" to ") +
                        final + QStringLiteral(": ") + reason +
                        QStringLiteral("; the file keeps its name."));
        }
    }
    JobValidators::Remove(r.LocalFile);
    const double now = VbDate::Now();
    r.State = StateComplete;
    r.CompleteTime = now;
    r.RunTime = now - r.RunStart;
    r.TimeElapsed += r.RunTime;
    r.AvgSpeed = AverageSpeed(r.FileSize, r.TimeElapsed);
    job.InUse = false;
    Save();
    emit Completed(slotNo, j);
}

float DownloadSlot::AverageSpeed(int32_t fileSize, double timeElapsed) {
    // Whole seconds of the total time. A damaged stored time (NaN, negative) gives no speed
    // rather than a NaN or a made-up one.
    const double seconds = std::floor(VbDate::DurationSeconds(timeElapsed) + 1e-6);
    if (!std::isfinite(seconds) || seconds < 0) return 0;
    return static_cast<float>(static_cast<double>(fileSize) / std::max(seconds, 1.0));
}
