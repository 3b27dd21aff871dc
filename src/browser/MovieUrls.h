#pragma once
// The addresses of a scanned page's movies. PageBase is the page's URL up to and including its
// last "/" (the URL itself when it ends in "/"); SiteRoot is the URL up to and including the first
// "/" at or after character 8, the scheme and host with a final "/". GetMovieUrl turns one OBJECT,
// APPLET or EMBED element into its movie's address, or into "" when it holds no movie.

#include <QString>
#include <QStringList>

extern QString PageBase;
extern QString SiteRoot;

// One element of the page as the browser's content script reports it.
struct PageElement {
    QString Tag;  // "OBJECT", "APPLET", "EMBED" (Ruffle's elements already mapped)
    QString Movie;
    QString Src;
    QString Data;
    QString OuterHtml;
};

// Sets PageBase and SiteRoot from the page's URL.
void SetPageBases(const QString& pageUrl);
QString GetMovieUrl(const PageElement& element);
// FoundMovies of one page: every OBJECT's movie, then every EMBED's (APPLETs are skipped), each
// address once ("." and ".." segments do not make another address).
QStringList MoviesOfPage(const QString& pageUrl, const QList<PageElement>& elements);
// Pages the finder looks into: "http://" and "https://" addresses (any letter case).
bool IsWebPage(const QString& url);
