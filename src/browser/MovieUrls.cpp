#include "browser/MovieUrls.h"

#include <QSet>
#include <QUrl>

#include "engine/UrlResolve.h"

QString PageBase;
QString SiteRoot;

void SetPageBases(const QString& url) {
    // The host begins after "://" (character 8 of an "http://" address).
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    const qsizetype host = scheme < 0 ? 7 : scheme + 3;
    const qsizetype slash = url.indexOf(u'/', host);
    if (slash < 0) {
        // Only a host: the site's root is the page's folder.
        SiteRoot = PageBase = url + u'/';
        return;
    }
    SiteRoot = url.left(slash + 1);
    // The last "/" of the path, not one in the query or the fragment.
    qsizetype pathEnd = url.size();
    for (const QChar c : {u'?', u'#'}) {
        const qsizetype at = url.indexOf(c, slash);
        if (at >= 0 && at < pathEnd) pathEnd = at;
    }
    PageBase = url.left(url.lastIndexOf(u'/', pathEnd - 1) + 1);
}

QString GetMovieUrl(const PageElement& e) {
    QString u = e.Movie;
    if (u.isEmpty()) u = e.Src;
    if (u.isEmpty()) return {};
    // "/x" goes after SiteRoot (the start of PageBase), anything else after PageBase;
    // "//x" too is a path here.
    u = UrlResolve::Resolve(u, PageBase, UrlResolve::PageRules(false));
    if (u.right(3).compare(QLatin1String("swf"), Qt::CaseInsensitive) == 0 ||
        e.OuterHtml.contains(QLatin1String("flash"), Qt::CaseInsensitive))
        return u;
    return {};
}

QStringList MoviesOfPage(const QString& pageUrl, const QList<PageElement>& elements) {
    SetPageBases(pageUrl);
    QStringList movies;
    QSet<QString> seen;
    for (const char* tag : {"OBJECT", "EMBED"}) {
        for (const PageElement& e : elements) {
            if (e.Tag.compare(QLatin1String(tag), Qt::CaseInsensitive) != 0) continue;
            // The classic markup names one movie twice, an EMBED inside its OBJECT, maybe
            // spelt another way ("../" in the path): the first spelling is listed.
            const QString u = GetMovieUrl(e);
            if (u.isEmpty()) continue;
            const QString key =
                QUrl(u).adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyEncoded);
            if (seen.contains(key)) continue;
            seen.insert(key);
            movies << u;
        }
    }
    return movies;
}

bool IsWebPage(const QString& url) {
    return url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}
