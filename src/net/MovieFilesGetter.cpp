#include "net/MovieFilesGetter.h"

#include <QTimer>

#include "engine/UrlResolve.h"
#include "net/MovieFileKeeper.h"

MovieFilesGetter::MovieFilesGetter(const JobRecord& job, NamesOf namesOf, bool otherSites,
                                   qint64 sizeLimit, QObject* parent)
    : QObject(parent),
      keeper(new MovieFileKeeper(job, otherSites, sizeLimit, this)),
      namesOf(std::move(namesOf)) {}

void MovieFilesGetter::Start() {
    queued.insert(keeper->MovieAddress());
    Read(keeper->MoviePath(), keeper->MovieAddress(), 0);
    QTimer::singleShot(0, this, &MovieFilesGetter::Next);
}

void MovieFilesGetter::Read(const QString& path, const QString& base, int depth) {
    if (!namesOf || depth >= kMaxDepth) return;
    int added = 0;
    for (const QString& name : namesOf(path)) {
        if (added >= kMaxFilesPerMovie) break;
        const QString address = UrlResolve::Resolve(name, base, UrlResolve::BrowserRules());
        if (address.isEmpty() || queued.contains(address)) continue;
        queued.insert(address);
        queue.append({address, depth + 1});
        ++added;
    }
}

void MovieFilesGetter::Next() {
    if (queue.isEmpty()) {
        emit Finished(QStringLiteral("%1 fetched, %2 kept before, %3 failed")
                          .arg(fetched)
                          .arg(keptBefore)
                          .arg(failed));
        return;
    }
    const Item item = queue.takeFirst();
    keeper->Obtain(item.address, [this, item](const MovieFileKeeper::Outcome& out) {
        if (!out.Ok) {
            ++failed;
            emit Line(QStringLiteral("Failed: %1 (%2)").arg(item.address, out.Failure));
        } else {
            ++(out.Fetched ? fetched : keptBefore);
            emit Line((out.Fetched ? QStringLiteral("Fetched: %1") : QStringLiteral("Kept: %1"))
                          .arg(item.address));
            if (out.KeptPath.endsWith(QLatin1String(".swf"), Qt::CaseInsensitive))
                Read(out.KeptPath, item.address, item.depth);
        }
        QTimer::singleShot(0, this, &MovieFilesGetter::Next);
    });
}
