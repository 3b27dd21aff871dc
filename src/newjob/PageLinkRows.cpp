#include "newjob/PageLinkRows.h"

#include <QSet>

#include "newjob/UrlFileName.h"

QList<PageLinkRows::Row> PageLinkRows::From(const QStringList& links) {
    QList<Row> rows;
    QSet<QString> seen;
    for (const QString& link : links) {
        if (link.isEmpty() || seen.contains(link)) continue;
        seen.insert(link);
        const bool movie =
            FileNameNoQuery(link).endsWith(QLatin1String(".swf"), Qt::CaseInsensitive);
        rows.append({FileNameFromUrl(link), link, movie});
    }
    return rows;
}
