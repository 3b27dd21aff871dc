#pragma once
// Lists the links of one web page for the "Add Page Links Download" tab: fetches the page with
// the page analyser's request and scans it like a search job with depth 1, but creates no job
// and no search. Headless; one fetch at a time per object.
//
//   auto* links = new clsPageLinks(this);
//   connect(links, &clsPageLinks::LinksReady, this, [](const QStringList& urls) { ... });
//   connect(links, &clsPageLinks::FetchFailed, this, [](const QString& why) { ... });
//   if (!links->Fetch(url)) { /* the URL cannot be fetched ("http(s)://host/..." only) */ }

#include <QObject>
#include <QString>
#include <QStringList>

#include "store/JobRecord.h"

class clsDownHtml;

class clsPageLinks : public QObject {
    Q_OBJECT
public:
    explicit clsPageLinks(QObject* parent = nullptr);
    ~clsPageLinks() override;

    // Starts fetching pageUrl (through the proxy when useProxy). False, and no signal, when the
    // URL cannot be fetched (it must start with "http://" or "https://"; a port may follow the
    // host). A fetch still running is abandoned.
    bool Fetch(const QString& pageUrl, bool useProxy = false, const QString& proxyHost = QString(),
               quint16 proxyPort = 0);
    // Abandons a running fetch; no signal follows.
    void Cancel();
    bool Busy() const { return busy; }

signals:
    // The absolute URLs found on the page, without repeats, in the order found: first the movies
    // of OBJECT and EMBED blocks, then the links of anchor tags. May be empty.
    void LinksReady(const QStringList& links);
    // The page could not be read: the status class of a refused request ("404", or "" for other
    // statuses and redirects), or the socket's error number followed by its description.
    void FetchFailed(const QString& reason);

private:
    void OnState(const QString& kind, const QString& detail);
    void OnDownComplete();
    void OnFenXiComplete();

    clsDownHtml* analyser = nullptr;
    bool busy = false;
    bool failed = false;
    QString failure;
};
