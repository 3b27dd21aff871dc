#include "newjob/UrlFileName.h"

#include "engine/UrlParts.h"
#include "engine/clsDownLoadJob.h"
#include "pages/SearchRecord.h"
#include "pages/clsDownHtml.h"
#include "store/JobRecord.h"
#include "store/LocalPath.h"

namespace {

// The problem of an address that does not start with a web scheme, or of its host and port;
// pageRules: the page analyser's rules (scheme in small letters, no path needed).
QString Diagnose(const QString& url, bool pageRules) {
    // A login before the host is no part of it, and is never shown.
    const QString s = UrlParts::TakeLogin(pageRules ? url : url.trimmed()).Url;
    const bool secure = s.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    const bool plain = s.startsWith(QLatin1String("http://"), Qt::CaseInsensitive);
    if (!secure && !plain) {
        const qsizetype colon = s.indexOf(u':');
        const QString scheme = colon > 0 ? s.left(colon) : QString();
        bool word = !scheme.isEmpty();
        for (const QChar c : scheme) word = word && c.isLetterOrNumber();
        if (word)
            return QStringLiteral(
                       "Unknown scheme \"%1:\": the address must begin with http:// or "
                       "https://.")
                .arg(scheme);
        return QStringLiteral("The address must begin with http:// or https://.");
    }
    if (pageRules && !s.startsWith(QLatin1String("http://")) &&
        !s.startsWith(QLatin1String("https://")))
        return QStringLiteral(
            "A page address must begin with http:// or https:// in small "
            "letters.");
    const int skip = secure ? 8 : 7;
    const qsizetype slash = s.indexOf(u'/', skip);
    const QString hostPort = slash < 0 ? s.mid(skip) : s.mid(skip, slash - skip);
    const qsizetype colon = hostPort.indexOf(u':');
    const QString host = colon < 0 ? hostPort : hostPort.left(colon);
    if (host.isEmpty()) return QStringLiteral("The address names no host.");
    for (const QChar c : host)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("The host name holds blanks or control characters.");
    if (colon >= 0) {
        const QString port = hostPort.mid(colon + 1);
        bool ok = !port.isEmpty();
        for (const QChar c : port) ok = ok && c.unicode() >= u'0' && c.unicode() <= u'9';
        const uint value = ok ? port.toUInt(&ok) : 0;
        if (!ok || value < 1 || value > 65535)
            return QStringLiteral("The port \"%1\" is not a number from 1 to 65535.").arg(port);
    }
    if (!pageRules && slash < 0)
        return QStringLiteral(
            "The address needs a path after the host, as in "
            "http://www.example.com/movie.swf.");
    return QString();
}

// The last segment as written in the address.
QString RawName(const QString& url) {
    // The fragment ("#...") is never fetched, so it names no part of the file.
    QString path = url.left(url.indexOf(QLatin1Char('#')));
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QString();
    return path.mid(slash + 1);
}

}  // namespace

QString FileNameFromUrl(const QString& url) {
    return LocalPath::DecodedName(RawName(url));
}

QString FileNameNoQuery(const QString& url) {
    // Cut before decoding: an escaped "?" belongs to the name.
    const QString name = RawName(url);
    const qsizetype query = name.indexOf(QLatin1Char('?'));
    return LocalPath::DecodedName(query < 0 ? name : name.left(query));
}

QString UrlFromClipboardText(const QString& clipboardText) {
    if (clipboardText.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
        clipboardText.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return clipboardText;
    return QString();
}

QString WithoutLogin(const QString& url) {
    return UrlParts::TakeLogin(url).Url;
}

QString DownloadUrlProblem(const QString& url) {
    JobRecord record;
    if (clsDownLoadJob::SplitUrl(url, record)) return QString();
    const QString problem = Diagnose(url, false);
    return problem.isEmpty() ? QStringLiteral("The address cannot be used.") : problem;
}

QString PageUrlProblem(const QString& url) {
    SearchRecord record;
    record.PageUrl = url;
    if (clsDownHtml::ParsePageUrl(record)) return QString();
    const QString problem = Diagnose(url, true);
    return problem.isEmpty() ? QStringLiteral("The address cannot be used.") : problem;
}
