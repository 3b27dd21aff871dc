#include "newjob/JobEdit.h"

#include <algorithm>

#include "engine/UrlParts.h"
#include "store/LocalPath.h"

JobEdit JobEdit::Of(const JobRecord& job) {
    JobEdit e;
    e.Url = job.Url;
    e.Referer = job.Referer;
    e.UseLogin = job.UseLogin != 0;
    e.UserName = job.UserName;
    e.Password = job.Password;
    e.FileName = job.FileName;
    e.Folder = LocalPath::FolderPart(job.LocalFile);
    e.Parts = std::clamp<int16_t>(job.Parts, 1, kMaxParts);
    return e;
}

QString JobEdit::Problem() const {
    UrlParts u;
    if (!u.Split(Url, UrlParts::EngineRules()))
        return QStringLiteral("The address \"%1\" cannot be downloaded.").arg(Url.trimmed());
    const QString name = FileName.trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return QStringLiteral("\"%1\" is no file name.").arg(FileName);
    if (Folder.trimmed().isEmpty()) return QStringLiteral("Choose a folder for the file.");
    return QString();
}

bool JobEdit::ApplyTo(JobRecord& job, QString* oldFile) const {
    QString folder = Folder.trimmed();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    const QString name = FileName.trimmed();
    const bool fromZero = Url.trimmed() != job.Url.trimmed() || name != job.FileName ||
                          folder != LocalPath::FolderPart(job.LocalFile);
    if (oldFile) oldFile->clear();
    job.Referer = Referer.trimmed();
    job.UseLogin = VbBool(UseLogin);
    job.UserName = UserName;
    job.Password = Password;
    job.Parts = std::clamp<int16_t>(Parts, 1, kMaxParts);
    if (!fromZero) return false;
    // The partial file of the old address or name is no part of the new download.
    if (oldFile && job.IsNew == 0 && !job.LocalFile.isEmpty() && job.State != StateComplete)
        *oldFile = job.LocalFile;
    job.Url = Url.trimmed();
    job.FileName = name;
    job.LocalFile = folder + name;
    job.IsNew = VbTrue;
    job.FileOpen = VbFalse;
    job.CanResume = VbFalse;
    job.FileSize = 0;
    job.Received = 0;
    job.Segments = {};
    job.Host.clear();
    job.Path.clear();
    job.Port = 0;
    return true;
}
