#include "pages/PageHttp.h"

#include <algorithm>

#include "engine/ChunkedDecoder.h"
#include "engine/HttpHead.h"
#include "engine/HttpRequest.h"
#include "engine/UrlResolve.h"
#include "store/LocalPath.h"

namespace PageHttp {

QByteArray PageRequest(const QString& pagePath, const QString& pageHost,
                       const QStringList& extraLines) {
    HttpRequest request;
    request.Target = pagePath;
    request.UserAgent = QStringLiteral("Quorvanta1.0");
    request.Host = pageHost;
    request.HostText = HttpRequest::HostRule::PercentEncoded;
    request.OddAcceptEncoding = SendAcceptEncodingLine;
    request.ExtraLines = extraLines;
    return request.Bytes();
}

qsizetype HeadEnd(const QByteArray& bytes) {
    return HttpHead::End(bytes);
}

QString PageStatus(const QString& head) {
    return HttpHead::StatusClass(head, false);
}

int32_t PageContentLength(const QString& head) {
    return HttpHead::LenientLength(head);
}

bool IsChunked(const QString& head) {
    return HttpHead::IsChunked(head, HttpHead::ChunkedRule::LabelAnywhere);
}

QString ContentType(const QString& head) {
    QString type = HttpHead::Value(head, QStringLiteral("Content-Type"));
    const qsizetype semicolon = type.indexOf(u';');
    if (semicolon >= 0) type.truncate(semicolon);
    return type.trimmed().toLower();
}

bool IsPageType(const QString& type) {
    return type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml");
}

bool IsMovieType(const QString& type) {
    return type == QLatin1String("application/x-shockwave-flash");
}

HtmlStart LooksLikeHtml(QByteArrayView body, bool complete) {
    constexpr qsizetype kMaxBlanks = 1024;
    const QByteArrayView bom = "\xEF\xBB\xBF";
    if (!complete && body.size() < bom.size() && bom.startsWith(body)) return HtmlStart::Undecided;
    qsizetype i = body.startsWith(bom) ? bom.size() : 0;
    const qsizetype start = i;
    while (i < body.size() && i - start <= kMaxBlanks &&
           (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' || body[i] == '\n' ||
            body[i] == '\f'))
        ++i;
    if (i - start > kMaxBlanks) return HtmlStart::No;
    if (i + 1 >= body.size()) {
        if (!complete && (i == body.size() || body[i] == '<')) return HtmlStart::Undecided;
        return HtmlStart::No;
    }
    if (body[i] != '<') return HtmlStart::No;
    const char c = body[i + 1];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letter || c == '!' || c == '?' ? HtmlStart::Yes : HtmlStart::No;
}

bool IsMovieLink(const QString& url) {
    qsizetype end = url.size();
    for (const QChar stop : {u'?', u'#'}) {
        const qsizetype at = url.indexOf(stop);
        if (at >= 0) end = std::min(end, at);
    }
    return QStringView(url).left(end).endsWith(QLatin1String(".swf"), Qt::CaseInsensitive);
}

QByteArray DecodeChunked(const QByteArray& body, bool* complete) {
    // The two bytes after a chunk's data are passed over without a look.
    return ChunkedDecoder::DecodeWhole(body, {.CheckDataEnd = false}, complete);
}

QString AsciiLower(const QString& text) {
    QString lower = text;
    QChar* data = lower.data();
    const qsizetype n = lower.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i].unicode();
        if (c >= u'A' && c <= u'Z') data[i] = QChar(c + 32);
    }
    return lower;
}

QString AbsoluteUrl(const QString& reference, const QString& pageHost, const QString& pageDir) {
    return UrlResolve::Resolve(reference, QStringLiteral("http://") + pageHost + pageDir,
                               UrlResolve::OldPageRules());
}

QString AbsoluteUrl(const QString& reference, const QString& scheme, const QString& pageHost,
                    const QString& pageDir) {
    return UrlResolve::Resolve(reference, scheme + QStringLiteral("://") + pageHost + pageDir,
                               UrlResolve::PageRules());
}

bool IsWebLink(const QString& reference) {
    const QString ref = reference.trimmed();
    if (ref.startsWith(u'#')) return false;
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
    if (ref.isEmpty() || !ref.at(0).isLetter() || ref.at(0).unicode() > 127) return true;
    for (qsizetype i = 1; i < ref.size(); ++i) {
        const char16_t c = ref.at(i).unicode();
        if (c == u':') {
            const QString scheme = ref.left(i).toLower();
            return scheme == QLatin1String("http") || scheme == QLatin1String("https");
        }
        const bool schemeChar = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                                (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!schemeChar) return true;
    }
    return true;
}

QString HrefOf(const QString& tag) {
    const qsizetype h = tag.indexOf(QStringLiteral("HREF="), 0, Qt::CaseInsensitive);
    if (h < 0) return QString();
    const qsizetype start = h + 5;
    qsizetype end = tag.indexOf(u' ', h);
    if (end < 0) end = tag.size() - 1;  // without a blank the tag's last character is left out
    if (end <= start) return QString();
    return WithoutQuotes(tag.mid(start, end - start));
}

QString FileNameOf(const QString& url) {
    return LocalPath::NameFromAddress(url);
}

QString WithoutQuotes(const QString& text) {
    QString t = text;
    t.remove(u'"');
    t.remove(u'\'');
    return t;
}

}  // namespace PageHttp
