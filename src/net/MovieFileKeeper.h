#pragma once
// Obtains the files one finished movie loads: a copy kept in the movie's files folder when there
// is one, else fetched from its site (the movie's address as referrer, the job's login and proxy)
// and kept there. Other sites only when allowed; a file that could not be had is not asked for
// again while the keeper lives (one play, one "Get Movie's Files").

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

#include "store/JobRecord.h"

class MovieFileKeeper : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        bool Ok = false;
        bool Fetched = false;  // from the network now, not kept before
        QString KeptPath;
        QString Failure;
    };
    using Done = std::function<void(const Outcome&)>;

    MovieFileKeeper(const JobRecord& job, bool otherSites, qint64 sizeLimit, QObject* parent);
    const QString& MoviePath() const { return job.LocalFile; }
    const QString& MovieAddress() const { return job.Url; }
    // `done` is called once, possibly at once; never after the keeper is gone.
    void Obtain(const QString& address, Done done);

private:
    JobRecord job;
    bool otherSites;
    qint64 sizeLimit;
    QHash<QString, QString> missing;      // address -> why it could not be had
    QHash<QString, QList<Done>> waiting;  // addresses being fetched
};
