#include "pages/clsDownHtml.h"

#include <QElapsedTimer>

#include "engine/HttpConnection.h"
#include "engine/HttpRequest.h"
#include "engine/ReferrerRule.h"
#include "engine/UrlParts.h"
#include "pages/PageHttp.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/VbDate.h"

namespace {
// Work done between two looks at the event queue during an analysis.
constexpr qint64 kSliceMs = 4;
// A page is held whole until it is analysed; a server that sends without end must not take the
// program's memory with it.
constexpr qsizetype kMaxPageBytes = 32 * 1024 * 1024;

QString Seconds(int n) {
    return QString::number(n) + (n == 1 ? QStringLiteral(" second") : QStringLiteral(" seconds"));
}
}  // namespace

clsDownHtml::clsDownHtml(QObject* parent) : QObject(parent) {
    sliceTimer.setSingleShot(true);
    sliceTimer.setInterval(0);
    connect(&sliceTimer, &QTimer::timeout, this, &clsDownHtml::RunSlice);
    connectTimer.setSingleShot(true);
    readTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, &clsDownHtml::OnConnectTimeout);
    connect(&readTimer, &QTimer::timeout, this, &clsDownHtml::OnReadTimeout);
}

clsDownHtml::~clsDownHtml() {
    DropSocket();
}

QString clsDownHtml::PageScheme(const SearchRecord& record) {
    return record.PageUrl.startsWith(QLatin1String("https://")) ? QStringLiteral("https")
                                                                : QStringLiteral("http");
}

bool clsDownHtml::ParsePageUrl(SearchRecord& record) {
    UrlParts parts;
    if (!parts.Split(record.PageUrl, UrlParts::PageRules())) return false;
    record.PageHost = parts.Authority;  // "host:port" when a port is named: the Host line
    record.PagePort = parts.Port;
    record.PagePath = parts.Target(record.UseProxy != 0);
    record.PageName = parts.FileName;
    record.PageDir = parts.Dir;
    return true;
}

bool clsDownHtml::Create(int searchIndex) {
    if (searchIndex < 1 || searchIndex > SearchCount) return false;
    if (Searches[searchIndex].SearchState == SearchFree || analysing) return false;
    SearchRecord record = Searches[searchIndex];
    if (!ParsePageUrl(record)) return false;
    SearchIndex = static_cast<int16_t>(searchIndex);
    MySearch = record;
    MySearch.SearchState = SearchRunning;
    SaveSearch();
    return true;
}

bool clsDownHtml::CreateFrom(const SearchRecord& record) {
    if (analysing) return false;
    SearchRecord copy = record;
    if (!ParsePageUrl(copy)) return false;
    SearchIndex = 0;
    MySearch = copy;
    MySearch.SearchState = SearchRunning;
    return true;
}

QString clsDownHtml::ConnectHost() const {
    if (MySearch.UseProxy != 0) return MySearch.ProxyHost;
    return PageHostName();
}

QString clsDownHtml::PageHostName() const {
    const qsizetype colon = MySearch.PageHost.indexOf(u':');
    return colon < 0 ? MySearch.PageHost : MySearch.PageHost.left(colon);
}

QString clsDownHtml::PageAddress() const {
    QString u = MySearch.PageUrl;
    if (u.indexOf(u'/', PageScheme(MySearch).size() + 3) < 0) u += u'/';
    return u;
}

quint16 clsDownHtml::ConnectPort() const {
    return MySearch.UseProxy != 0 ? MySearch.ProxyPort : MySearch.PagePort;
}

bool clsDownHtml::Start() {
    sliceTimer.stop();
    analysing = false;
    stage = Stage::Idle;
    InUse = true;
    DropSocket();
    HeadPending = true;
    PageBytes.clear();
    PageText.clear();
    RespHead.clear();
    RespStatus.clear();
    chunked = false;
    typePending = false;
    MySearch.PageSize = 0;
    MySearch.PageReceived = 0;
    requestSent = false;

    conn = new HttpConnection(this);
    connect(conn, &HttpConnection::Connected, this, &clsDownHtml::OnConnected);
    connect(conn, &HttpConnection::Ready, this, &clsDownHtml::SendRequest);
    connect(conn, &HttpConnection::HeadArrived, this, &clsDownHtml::TakeHead);
    connect(conn, &HttpConnection::Data, this, &clsDownHtml::OnData);
    connect(conn, &HttpConnection::PeerClosed, this, &clsDownHtml::OnPeerClosed);
    // Socket errors, cut connections and the connection's own limits; a refused certificate or
    // tunnel: the run ends with the reason. A connection cut after the whole page came ends as a
    // close does.
    connect(conn, &HttpConnection::Failed, this, [this](const Failure& failure) {
        if (PageComplete())
            OnPeerClosed();
        else
            EndWithError(QStringLiteral("Error"), failure.Described());
    });
    connect(conn, &HttpConnection::Refused, this,
            [this](const QString& reason) { EndWithError(QStringLiteral("Error"), reason); });
    connectHost = ConnectHost();
    connectPort = ConnectPort();
    HttpConnection* connection = conn;
    emit UpdataState(QStringLiteral("Connecting"),
                     connectHost + QStringLiteral(":") + QString::number(connectPort));
    if (connection != conn) return true;
    if (Settings.Ctimeout > 0) connectTimer.start(Settings.Ctimeout * 1000);
    conn->Open(PageHostName(), MySearch.PagePort, PageScheme(MySearch) == QLatin1String("https"),
               MySearch.UseProxy != 0, MySearch.ProxyHost, MySearch.ProxyPort);
    return true;
}

void clsDownHtml::Pause() {
    // Nothing runs, or the page is being analysed: that analysis finishes on its own.
    if (!InUse || analysing) return;
    InUse = false;
    MySearch.SearchState = SearchPaused;
    SaveSearch();
    DropSocket();
}

void clsDownHtml::DropSocket() {
    connectTimer.stop();
    readTimer.stop();
    if (!conn) return;
    HttpConnection* connection = conn;
    conn = nullptr;
    connection->disconnect(this);
    connection->Abort();
    connection->deleteLater();
}

void clsDownHtml::SaveSearch() {
    // A job deleted while it ran (state 0) stays deleted.
    if (SearchIndex < 1 || SearchIndex > SearchCount) return;
    if (Searches[SearchIndex].SearchState == SearchFree) return;
    Searches[SearchIndex] = MySearch;
}

void clsDownHtml::OnConnected() {
    // The proxy's tunnel and the TLS handshake of an https page follow; Ready sends the request.
    if (conn) emit UpdataState(QStringLiteral("Connected"), conn->PeerText(false));
}

void clsDownHtml::SendRequest() {
    if (!conn) return;
    HttpConnection* connection = conn;
    connectTimer.stop();
    // The page it was found on and the search's login (pages are fetched from their own server
    // only: no redirect is followed).
    const QByteArray request = PageHttp::PageRequest(
        MySearch.PagePath, MySearch.PageHost,
        HttpRequest::RefererAndLogin(ReferrerFor(MySearch.LinkedFrom, MySearch.PageUrl),
                                     MySearch.UseLogin != 0, MySearch.UserName, MySearch.Password));
    connection->Send(request);
    if (connection != conn) return;
    requestSent = true;
    if (Settings.Rtimeout > 0) {
        readSeconds = Settings.Rtimeout;
        readTimer.start(readSeconds * 1000);
    }
    emit UpdataState(QStringLiteral("Request"), QString::fromLatin1(request));
}

void clsDownHtml::OnConnectTimeout() {
    if (!conn) return;
    EndWithError(QStringLiteral("Error"), QStringLiteral("Connect timeout: not connected after ") +
                                              Seconds(connectTimer.interval() / 1000));
}

void clsDownHtml::OnReadTimeout() {
    if (!conn) return;
    // The limit counts from the request or the last bytes received (the head's too).
    const qint64 limit = qint64(readSeconds) * 1000;
    const qint64 idle = conn->IdleMs();
    if (idle < limit) {
        readTimer.start(int(limit - idle));
        return;
    }
    EndWithError(QStringLiteral("Error"),
                 QStringLiteral("Read timeout: nothing received for ") + Seconds(readSeconds));
}

void clsDownHtml::OnData(const char* data, qint64 size) {
    if (!conn || size <= 0) return;
    PageBytes.append(data, size);
    if (PageTooLarge()) return;
    MySearch.PageReceived += static_cast<int32_t>(size);
    SaveSearch();
    emit UpdataState(QStringLiteral("DataArrival"), QString::number(size));
    if (typePending && conn) CheckUntypedBody(false);
}

bool clsDownHtml::CheckUntypedBody(bool complete) {
    const QByteArray body = chunked ? PageHttp::DecodeChunked(PageBytes) : PageBytes;
    switch (PageHttp::LooksLikeHtml(body, complete)) {
        case PageHttp::HtmlStart::Yes:
            typePending = false;
            return true;
        case PageHttp::HtmlStart::Undecided:
            return true;
        case PageHttp::HtmlStart::No:
            break;
    }
    EndNotPage(QString());
    return false;
}

void clsDownHtml::EndNotPage(const QString& type) {
    DropSocket();
    typePending = false;
    PageBytes.clear();
    PageText.clear();
    const bool movie = PageHttp::IsMovieType(type);
    const QString what = type.isEmpty() ? QStringLiteral("no type, and no HTML at its start")
                                        : QStringLiteral("type ") + type;
    emit UpdataState(QStringLiteral("NotPage"),
                     (movie ? QStringLiteral("A movie (") : QStringLiteral("Not a page (")) + what +
                         QStringLiteral("): closed after the head."));
    if (movie) AddMovie(MySearch.PageUrl);
    emit DownComplete();
}

void clsDownHtml::TakeHead(const QByteArray& head, const QByteArray& rest) {
    HeadPending = false;
    RespHead = QString::fromLatin1(head);
    HttpConnection* connection = conn;
    emit UpdataState(QStringLiteral("Response"), RespHead);
    if (connection != conn || !connection) return;
    RespStatus = PageHttp::PageStatus(RespHead);
    if (RespStatus != QStringLiteral("200")) {
        EndAsRequestError();
        return;
    }
    MySearch.PageSize = PageHttp::PageContentLength(RespHead);
    chunked = PageHttp::IsChunked(RespHead);
    const QString type = PageHttp::ContentType(RespHead);
    if (!type.isEmpty() && !PageHttp::IsPageType(type)) {
        EndNotPage(type);
        return;
    }
    typePending = type.isEmpty();
    // The body is kept as it comes (chunks and all) and decoded for the analysis.
    connection->StartBody(nullptr, 0);
    PageBytes = rest;
    if (PageTooLarge()) return;
    MySearch.PageReceived = static_cast<int32_t>(PageBytes.size());
    SaveSearch();
    emit UpdataState(QStringLiteral("DataArrival"), QString::number(PageBytes.size()));
    if (typePending && conn) CheckUntypedBody(false);
}

bool clsDownHtml::PageTooLarge() {
    const qint64 announced = MySearch.PageSize;
    if (PageBytes.size() <= kMaxPageBytes && announced <= kMaxPageBytes) return false;
    EndWithError(QStringLiteral("Error"),
                 QStringLiteral("The page is larger than %1 MB; it is not analysed.")
                     .arg(kMaxPageBytes / (1024 * 1024)));
    return true;
}

void clsDownHtml::EndAsRequestError() {
    EndWithError(QStringLiteral("RequestError"), RespStatus);
}

void clsDownHtml::EndWithError(const QString& kind, const QString& detail) {
    DropSocket();
    MySearch.SearchState = SearchError;
    PageBytes.clear();
    PageText.clear();
    SaveSearch();
    emit UpdataState(kind, detail);
    emit DownComplete();
}

bool clsDownHtml::PageComplete() const {
    if (!requestSent || HeadPending) return false;
    if (chunked) {
        bool complete = false;
        PageHttp::DecodeChunked(PageBytes, &complete);
        return complete;
    }
    return MySearch.PageSize > 0 && PageBytes.size() >= MySearch.PageSize;
}

void clsDownHtml::OnPeerClosed() {
    if (!conn) return;
    if (!requestSent) {
        // Only a secure connection can end before its request: in the tunnel or the handshake.
        EndWithError(
            QStringLiteral("Error"),
            conn->CurrentState() == HttpConnection::State::Tunnelling
                ? QStringLiteral("The proxy closed the connection before the tunnel was open")
                : QStringLiteral("The server closed the connection during the TLS handshake"));
        return;
    }
    if (HeadPending) {
        // Closed before a whole head arrived: no status, a request error.
        TakeHead(QByteArray(), QByteArray());
        return;
    }
    if (typePending && !CheckUntypedBody(true)) return;
    DropSocket();
    emit UpdataState(QStringLiteral("Close"), QStringLiteral("ByServer"));
    emit DownComplete();
}

void clsDownHtml::Fenxi() {
    if (analysing) return;
    prepBytes = chunked ? PageHttp::DecodeChunked(PageBytes) : PageBytes;
    prepPos = 0;
    prepDecoder = QStringDecoder(QStringDecoder::Utf8);
    prepPendingCr = false;
    PageText.clear();
    lowerText.clear();
    foundMovies.clear();
    PageText.reserve(prepBytes.size());
    lowerText.reserve(prepBytes.size());
    analysing = true;
    stage = Stage::Prepare;
    scanPos = 0;
    sliceTimer.start();
}

// Turns the next piece of the page into text: line breaks (CR LF, CR or LF) become one blank,
// and the lower-case copy used by the case-insensitive scans grows with it.
bool clsDownHtml::PrepareStep() {
    constexpr qsizetype kPieceBytes = 256 * 1024;
    const qsizetype n = std::min(kPieceBytes, prepBytes.size() - prepPos);
    const QString piece = prepDecoder(QByteArrayView(prepBytes).sliced(prepPos, n));
    prepPos += n;
    const qsizetype base = PageText.size();
    PageText.resize(base + piece.size() + 1);
    lowerText.resize(base + piece.size() + 1);
    QChar* text = PageText.data() + base;
    QChar* lower = lowerText.data() + base;
    qsizetype out = 0;
    for (const QChar c : piece) {
        const char16_t u = c.unicode();
        if (prepPendingCr) {
            prepPendingCr = false;
            text[out] = lower[out] = QChar(u' ');
            ++out;
            if (u == u'\n') continue;  // the pair counts once
        }
        if (u == u'\r') {
            prepPendingCr = true;
        } else if (u == u'\n') {
            text[out] = lower[out] = QChar(u' ');
            ++out;
        } else {
            text[out] = c;
            lower[out] = (u >= u'A' && u <= u'Z') ? QChar(u + 32) : c;
            ++out;
        }
    }
    const bool last = prepPos >= prepBytes.size();
    if (last && prepPendingCr) {
        text[out] = lower[out] = QChar(u' ');
        ++out;
    }
    PageText.resize(base + out);
    lowerText.resize(base + out);
    if (!last) return true;
    prepBytes.clear();
    stage = Stage::ObjectScan;
    scanPos = 0;
    return false;
}

void clsDownHtml::RunSlice() {
    if (!analysing || inSlice) return;
    inSlice = true;
    QElapsedTimer clock;
    clock.start();
    while (stage != Stage::Idle && clock.elapsed() < kSliceMs) {
        switch (stage) {
            case Stage::Prepare:
                PrepareStep();
                break;
            case Stage::ObjectScan:
                ObjectStep();
                break;
            case Stage::EmbedScan:
                Search2();
                break;
            case Stage::ModernScan:
                ModernStep();
                break;
            case Stage::LinkScan:
                LinkStep();
                break;
            case Stage::Idle:
                break;
        }
    }
    inSlice = false;
    if (stage == Stage::Idle)
        FinishAnalysis();
    else
        sliceTimer.start();
}

// One OBJECT block; true while there may be more.
bool clsDownHtml::ObjectStep() {
    const qsizetype p = lowerText.indexOf(QStringLiteral("<object classid="), scanPos);
    if (p < 0) {
        stage = Stage::EmbedScan;
        scanPos = 0;
        return false;
    }
    const qsizetype q = lowerText.indexOf(QStringLiteral("</object>"), p);
    if (q < 0) {
        // An unclosed OBJECT ends the block scans; the EMBED scan is not run.
        EndBlockScans();
        return false;
    }
    BlockMovie(QStringLiteral("</object>"), QStringLiteral(".macromedia."),
               QStringLiteral("value="), p, q);
    scanPos = p + 1;
    return true;
}

// One EMBED block; true while there may be more.
bool clsDownHtml::Search2() {
    const qsizetype p = lowerText.indexOf(QStringLiteral("<embed"), scanPos);
    const qsizetype q = p < 0 ? -1 : lowerText.indexOf(QStringLiteral("</embed>"), p);
    if (p < 0 || q < 0) {
        EndBlockScans();
        return false;
    }
    BlockMovie(QStringLiteral("</embed>"), QStringLiteral("flash"), QStringLiteral("src="), p, q);
    scanPos = p + 1;
    return true;
}

void clsDownHtml::EndBlockScans() {
    modern = ModernMarkup(PageText, lowerText, PageAddress());
    stage = Stage::ModernScan;
    scanPos = 0;
}

// A part of the pass over today's markup; at its end the movies the block scans missed are added.
bool clsDownHtml::ModernStep() {
    if (modern.Step()) return true;
    const QStringList movies = modern.Movies();
    modern = ModernMarkup();
    for (const QString& url : movies)
        if (!foundMovies.contains(ModernMarkup::MovieKey(url))) AddMovie(url);
    stage = MySearch.Depth > 0 ? Stage::LinkScan : Stage::Idle;
    scanPos = 0;
    return false;
}

void clsDownHtml::BlockMovie(const QString& closeTag, const QString& word,
                             const QString& valueLabel, qsizetype p, qsizetype closeAt) {
    const qsizetype length = closeAt + closeTag.size() - p;
    QString lower = lowerText.mid(p, length);
    if (!lower.contains(word)) return;
    QString block = PageText.mid(p, length);
    block.replace(u'>', u' ');
    lower.replace(u'>', u' ');
    const qsizetype v = lower.indexOf(valueLabel);
    if (v < 0) return;  // no reference: the block is skipped
    const qsizetype e = block.indexOf(u' ', v);
    if (e < 0) return;
    const qsizetype from = v + valueLabel.size();
    const QString reference = PageHttp::WithoutQuotes(block.mid(from, e - from));
    if (reference.isEmpty()) return;
    AddMovie(PageHttp::AbsoluteUrl(reference, PageScheme(MySearch), MySearch.PageHost,
                                   MySearch.PageDir));
}

// One anchor-like tag ("<a", "<A", "<abbr", "<area" ...); true while there may be more.
bool clsDownHtml::LinkStep() {
    const qsizetype size = PageText.size();
    const qsizetype p = PageText.indexOf(u'<', scanPos);
    if (p < 0 || p + 1 >= size) {
        stage = Stage::Idle;
        return false;
    }
    const QChar next = PageText.at(p + 1);
    if (next != u'a' && next != u'A') {
        scanPos = p + 1;
        return true;
    }
    const qsizetype q = PageText.indexOf(u'>', p + 1);
    if (q < 0) {
        stage = Stage::Idle;
        return false;
    }
    scanPos = q + 1;
    const QString url = GetHref(PageText.mid(p, q - p + 1));
    if (!url.isEmpty()) emit UpdataState(QStringLiteral("Found A Link"), url);
    return true;
}

void clsDownHtml::FinishAnalysis() {
    analysing = false;
    stage = Stage::Idle;
    lowerText.clear();
    if (MySearch.SearchState != SearchError) MySearch.SearchState = SearchAnalysed;
    SaveSearch();
    emit FenXiComplete();
}

QString clsDownHtml::GetHref(const QString& tag) {
    const QString reference = PageHttp::HrefOf(tag);
    if (!PageHttp::IsWebLink(reference)) return QString();
    const QString url =
        PageHttp::AbsoluteUrl(reference, PageScheme(MySearch), MySearch.PageHost, MySearch.PageDir);
    AddNowSearch(url);
    return url;
}

bool clsDownHtml::HasLiveJob(const QString& url) const {
    for (int j = 1; j <= JobCount; ++j)
        if (Jobs[j].Url == url && Jobs[j].ClassKey != QStringLiteral("Recely_Really")) return true;
    return false;
}

void clsDownHtml::AddMovie(const QString& url) {
    // The same movie twice on one page is one movie.
    const QString key = ModernMarkup::MovieKey(url);
    if (!CollectOnly && foundMovies.contains(key) && HasLiveJob(url)) return;
    foundMovies.insert(key);
    if (CollectOnly) {
        Collected << url;
        return;
    }
    if (HasLiveJob(url)) {
        emit UpdataState(QStringLiteral("Skipped Flash"), QStringLiteral("Url=") + url);
        return;
    }
    JobRecord job = MySearch.JobTemplate;
    job.Url = url;
    job.Referer = ReferrerFor(MySearch.PageUrl, url);
    job.FileName = PageHttp::FileNameOf(url);
    job.LocalFile = MySearch.JobTemplate.LocalFile + job.FileName;
    job.CreateTime = VbDate::Now();
    for (int j = 1; j <= JobCount; ++j) {
        if (Jobs[j].State == StateFree) {
            // A free record is reused; no event is raised for it.
            Jobs[j] = job;
            if (JobAddedHook) JobAddedHook(j);
            return;
        }
    }
    const int j = AddJob(job);
    if (j == 0) return;
    if (JobAddedHook) JobAddedHook(j);
    emit UpdataState(QStringLiteral("Found Flash"), QStringLiteral("Url=") + url);
}

QString clsDownHtml::ReferrerFor(const QString& page, const QString& target) const {
    // The search's own referrer, when the user gave one, wins.
    const QString own = MySearch.JobTemplate.Referer.trimmed();
    if (!own.isEmpty()) return own;
    return page.isEmpty() ? QString() : ReferrerRule::For(page, target);
}

void clsDownHtml::AddNowSearch(const QString& url) {
    if (CollectOnly) {
        Collected << url;
        return;
    }
    if (PageHttp::IsMovieLink(url)) {
        // A linked movie is one more movie of the page, once however often it is linked.
        if (!foundMovies.contains(ModernMarkup::MovieKey(url))) AddMovie(url);
        return;
    }
    SearchRecord child = MySearch;
    child.PageUrl = url;
    child.LinkedFrom = MySearch.PageUrl;
    child.Depth = MySearch.Depth - 1;
    child.SearchState = SearchWaiting;
    child.PageSize = 0;
    child.PageReceived = 0;
    const int k = AddSearch(child);
    if (k != 0 && SearchAddedHook) SearchAddedHook(k);
}
