#pragma once
// The rows the page-links tab offers for the links read from a page: each link once, in the
// page's order, with its file name; the Flash movies come ticked.

#include <QList>
#include <QString>
#include <QStringList>

class PageLinkRows {
public:
    struct Row {
        QString fileName;
        QString url;
        bool ticked = false;
    };

    static QList<Row> From(const QStringList& links);
};
