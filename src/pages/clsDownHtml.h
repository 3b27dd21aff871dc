#pragma once
// The page analyser: fetches one page over one HttpConnection (plain, or TLS for an https://
// page, through a proxy's CONNECT tunnel when the search uses a proxy; interim 1xx answers passed
// over; trust and tunnel as for downloads), keeps the whole page, and
// turns the Flash movies of its OBJECT and EMBED blocks, then those of today's markup that
// these blocks missed (ModernMarkup), into download jobs and, when the search asks for it, its
// links into download jobs (".swf") or further search jobs one level deeper.
//
// A connection not ready for the request after the Ctimeout setting (seconds), or one that
// receives nothing for Rtimeout while the page is owed, ends the run as an "Error" naming the
// timeout; a certificate that fails verification ends it with "Certificate error: ...".
//
// Only a page is read: an answer of type text/html or application/xhtml+xml, or one without a
// type whose body starts like HTML (PageHttp::LooksLikeHtml). Any other answer is closed after
// its head, its body left unread, and reported as "NotPage"; one of type
// application/x-shockwave-flash becomes a movie job as an embedded movie does.
//
// It reports every step through UpdataState (kind word, detail text): "Connecting",
// "Connected", "Request", "Response", "RequestError", "DataArrival", "NotPage", "Close",
// "Error", "Found Flash", "Skipped Flash" (a movie already in the job list), "Found A Link".
// DownComplete follows the end of the transfer (also after
// a request or socket error); the owner then calls Fenxi, which ends with FenXiComplete.
//
// The analysis runs in slices of a few milliseconds between events, so the window stays
// responsive on long pages; results and event order are those of a single pass.

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "pages/ModernMarkup.h"
#include "pages/SearchRecord.h"

class HttpConnection;

class clsDownHtml : public QObject {
    Q_OBJECT
public:
    explicit clsDownHtml(QObject* parent = nullptr);
    ~clsDownHtml() override;

    // True from Start until the run is paused or its analysis has finished.
    bool InUse = false;
    // The search job served (index into Searches; 0 for a run not kept there).
    int16_t SearchIndex = 0;
    // The analyser's own copy of that job; written back to Searches(SearchIndex) after each step.
    SearchRecord MySearch;
    // Called with the index of every download job the analyser puts into Jobs (the job
    // manager's AddToNowDownList), after the record is in place.
    std::function<void(int)> JobAddedHook;
    // Called with the index of every search job the analyser appends to Searches (the search
    // list's AddToSearchList), after the record is in place.
    std::function<void(int)> SearchAddedHook;

    // When true, found movies and links are only collected into Collected (in the order found);
    // no job or search record is touched. Used to list a page's links.
    bool CollectOnly = false;
    QStringList Collected;

    // Copies Searches(i) and parses its PageUrl. On success the job becomes running (1) and is
    // written back. False (nothing changed) for an unusable URL or a free/unknown index.
    bool Create(int searchIndex);
    // The same for a record that is not kept in Searches (SearchIndex 0, nothing written back).
    bool CreateFrom(const SearchRecord& record);
    // Opens the connection; always true.
    bool Start();
    // Ends a transfer: InUse False, the job paused (2) and written back, the connection closed.
    // An analysis already under way is not stopped: it finishes and raises FenXiComplete.
    // Does nothing while the analyser is not in use.
    void Pause();
    // Analyses the received page (OBJECT scan, EMBED scan, then the link scan when Depth > 0).
    // Returns at once; the work runs in slices and ends with FenXiComplete.
    void Fenxi();
    // The link of an anchor tag, made absolute and passed to AddNowSearch. Empty, and nothing
    // added, for a link that leads to no web page (mailto:, javascript:, ftp:, "#...").
    QString GetHref(const QString& tag);
    // A link found on the page: a movie (".swf" before any query) becomes a download job as an
    // embedded movie does, anything else a search job.
    void AddNowSearch(const QString& url);

    // True while Fenxi's slices are still running.
    bool Analysing() const { return analysing; }

    // The state of the current transfer.
    bool HeadPending = false;
    QString RespHead;
    QString RespStatus;
    QByteArray PageBytes;  // page body as received (before chunked decoding)
    // The page text as the scans see it, line breaks turned into blanks (built by Fenxi).
    QString PageText;

    // Where the connection goes (host part of PageHost and its port, or the proxy).
    QString ConnectHost() const;
    quint16 ConnectPort() const;
    // The page's host name (PageHost without its port): the name TLS checks, the tunnel's end.
    QString PageHostName() const;
    // The page's own address (PageUrl, with "/" when it names no path): the base of its links.
    QString PageAddress() const;

    // Fills PageHost, PagePort, PagePath, PageName and PageDir from PageUrl; false when the URL
    // cannot be fetched (no "http://" or "https://" at the start, no host, or a bad port).
    // An https:// page has the port 443 unless it names one; its PagePath stays the plain path
    // with a proxy too (the proxy only opens a tunnel).
    static bool ParsePageUrl(SearchRecord& record);
    // "https" for an https:// page URL, else "http".
    static QString PageScheme(const SearchRecord& record);

signals:
    void UpdataState(QString Kind, QString Detail);
    void DownComplete();
    void FenXiComplete();

private:
    enum class Stage { Idle, Prepare, ObjectScan, EmbedScan, ModernScan, LinkScan };

    void OnConnected();
    void SendRequest();
    void OnConnectTimeout();
    void OnReadTimeout();
    void OnData(const char* data, qint64 size);
    void OnPeerClosed();
    // The whole page is in: its announced length, or the last chunk.
    bool PageComplete() const;
    // The answer's head (empty when the connection closed before a whole one came) and the bytes
    // that came with it.
    void TakeHead(const QByteArray& head, const QByteArray& rest);
    void EndAsRequestError();
    // Sniffs a body that came without a type once enough of it is there; false when the run
    // ended because it is no page.
    bool CheckUntypedBody(bool complete);
    // Ends the run after the head of an answer that is no page (type "" for none): the connection
    // is closed, the body left unread; a movie becomes a job. DownComplete follows.
    void EndNotPage(const QString& type);
    // Ends the run with an error once the page (or its announced length) is past what is held.
    bool PageTooLarge();
    // Ends the run in state 5: connection dropped, page dropped, the event, then DownComplete.
    void EndWithError(const QString& kind, const QString& detail);
    void DropSocket();
    void SaveSearch();

    void RunSlice();
    bool PrepareStep();
    bool ObjectStep();
    bool Search2();
    // Leaves the OBJECT and EMBED scans for the pass over today's markup.
    void EndBlockScans();
    bool ModernStep();
    bool LinkStep();
    void FinishAnalysis();
    // The movie of the block from p through closeTag at closeAt, when it holds word and a
    // reference after valueLabel ended by a blank.
    void BlockMovie(const QString& closeTag, const QString& word, const QString& valueLabel,
                    qsizetype p, qsizetype closeAt);
    void AddMovie(const QString& url);
    bool HasLiveJob(const QString& url) const;
    // The referrer a request for target sends when page led to it (the search's own, if set).
    QString ReferrerFor(const QString& page, const QString& target) const;

    // The one connection of a run (a fresh one at each Start).
    HttpConnection* conn = nullptr;
    bool chunked = false;
    // The answer has no type: whether it is a page is told by the start of its body.
    bool typePending = false;
    QString connectHost;
    quint16 connectPort = 80;
    bool requestSent = false;
    QTimer connectTimer;
    QTimer readTimer;
    int readSeconds = 0;  // the read timeout of this run

    QTimer sliceTimer;
    bool analysing = false;
    bool inSlice = false;
    Stage stage = Stage::Idle;
    qsizetype scanPos = 0;
    QString lowerText;
    QByteArray prepBytes;
    qsizetype prepPos = 0;
    QStringDecoder prepDecoder;
    bool prepPendingCr = false;
    // Movies of this analysis (their MovieKey), and the pass over today's markup.
    QSet<QString> foundMovies;
    ModernMarkup modern;
};
