#pragma once
// "Get Movie's Files": reads a finished movie for the names of files it may load, resolves them
// against the movie's address and obtains each not kept yet into its files folder; movies got so
// are read the same way, to a depth of three, at most 500 files per movie. One file at a time.
// Each file is told as a line; Finished sums up.

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

#include "store/JobRecord.h"

class MovieFileKeeper;

class MovieFilesGetter : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxDepth = 3;
    static constexpr int kMaxFilesPerMovie = 500;
    // The names a movie file holds (the player's reader fills this in).
    using NamesOf = std::function<QStringList(const QString& moviePath)>;

    MovieFilesGetter(const JobRecord& job, NamesOf namesOf, bool otherSites, qint64 sizeLimit,
                     QObject* parent);
    void Start();
    int FetchedCount() const { return fetched; }
    int KeptBeforeCount() const { return keptBefore; }
    int FailedCount() const { return failed; }

signals:
    void Line(const QString& text);
    void Finished(const QString& summary);

private:
    struct Item {
        QString address;
        int depth = 0;
    };
    void Read(const QString& path, const QString& base, int depth);
    void Next();

    MovieFileKeeper* keeper;
    NamesOf namesOf;
    QList<Item> queue;
    QSet<QString> queued;
    int fetched = 0, keptBefore = 0, failed = 0;
};
