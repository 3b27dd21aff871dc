#include "net/MovieFileKeeper.h"

#include <QFileInfo>

#include "engine/FileFetch.h"
#include "store/MovieFilesFolder.h"
#include "store/Settings.h"

MovieFileKeeper::MovieFileKeeper(const JobRecord& job, bool otherSites, qint64 sizeLimit,
                                 QObject* parent)
    : QObject(parent), job(job), otherSites(otherSites), sizeLimit(sizeLimit) {}

void MovieFileKeeper::Obtain(const QString& address, Done done) {
    Outcome out;
    out.KeptPath = MovieFilesFolder::KeptPath(job.LocalFile, job.Url, address, otherSites);
    if (out.KeptPath.isEmpty()) {
        out.Failure = MovieFilesFolder::SameSite(job.Url, address) || !address.startsWith("http")
                          ? QStringLiteral("not a file the movie may load")
                          : QStringLiteral("on another site");
        done(out);
        return;
    }
    const QFileInfo kept(out.KeptPath);
    if (kept.isFile() && !kept.isSymLink()) {
        out.Ok = true;
        done(out);
        return;
    }
    if (missing.contains(address)) {
        out.Failure = missing.value(address);
        done(out);
        return;
    }
    if (waiting.contains(address)) {
        waiting[address].append(std::move(done));
        return;
    }
    waiting[address].append(std::move(done));
    FileFetch::Request request;
    request.Address = address;
    request.Referrer = job.Url;
    request.LoginAddress = job.Url;
    request.UseLogin = job.UseLogin != 0;
    request.User = job.UserName;
    request.Password = job.Password;
    request.UserAgent = job.UserAgent.isEmpty() ? Settings.Useragent : job.UserAgent;
    request.UseProxy = job.UseProxy != 0;
    request.ProxyHost = job.ProxyHost;
    request.ProxyPort = job.ProxyPort;
    request.Limit = sizeLimit;
    request.TimeoutSeconds = Settings.Rtimeout > 0 ? Settings.Rtimeout : 60;
    auto* fetch = new FileFetch(this);
    const QString path = out.KeptPath;
    connect(fetch, &FileFetch::Done, this,
            [this, fetch, address, path](const FileFetch::Result& r) {
                fetch->deleteLater();
                Outcome result;
                result.KeptPath = path;
                if (!r.Ok) {
                    result.Failure = r.Failure;
                } else if (!MovieFilesFolder::Keep(job.LocalFile, path, r.Bytes, &result.Failure)) {
                    result.Failure = QStringLiteral("not kept: ") + result.Failure;
                } else {
                    result.Ok = result.Fetched = true;
                }
                if (!result.Ok) missing.insert(address, result.Failure);
                const QList<Done> callers = waiting.take(address);
                for (const Done& d : callers) d(result);
            });
    fetch->Start(request);
}
