#include "pages/PageHttp.h"

#include "store/NumberRule.h"

namespace PageHttp {

namespace {
// Bytes of a request line that go out as they are; everything else is percent-encoded.
QByteArray RequestSafe(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

// The value of a head line whose label is found case-insensitively, up to the end of its line.
QString HeadValue(const QString& head, const QString& label) {
    const qsizetype p = head.indexOf(label, 0, Qt::CaseInsensitive);
    if (p < 0) return QString();
    const qsizetype start = p + label.size();
    qsizetype q = head.indexOf(QStringLiteral("\r\n"), start);
    if (q < 0) q = head.size();
    return head.mid(start, q - start);
}
}  // namespace

QByteArray PageRequest(const QString& pagePath, const QString& pageHost) {
    QByteArray request;
    request += "GET " + RequestSafe(pagePath) + " HTTP/1.1\r\n";
    request += "Accept: */*\r\n";
    if (SendAcceptEncodingLine) request += "Accept -Encoding: gzip , deflate\r\n";
    request += "User-Agent: Quorvanta1.0\r\n";
    request += "Host: " + RequestSafe(pageHost) + "\r\n";
    request += "Connection: close\r\n";
    request += "\r\n";
    return request;
}

qsizetype HeadEnd(const QByteArray& bytes) {
    const qsizetype p = bytes.indexOf("\r\n\r\n");
    return p < 0 ? -1 : p + 4;
}

QString PageStatus(const QString& head) {
    if (head.contains(QStringLiteral("HTTP/1.1 200 OK")) ||
        head.contains(QStringLiteral("HTTP/1.0 200 OK")))
        return QStringLiteral("200");
    if (head.contains(QStringLiteral("HTTP/1.1 206")) ||
        head.contains(QStringLiteral("HTTP/1.0 206 ")))
        return QStringLiteral("206");
    if (head.contains(QStringLiteral("HTTP/1.1 404")) ||
        head.contains(QStringLiteral("HTTP/1.0 404 ")))
        return QStringLiteral("404");
    return QString();
}

int32_t PageContentLength(const QString& head) {
    return NumberRule::ValInt32(HeadValue(head, QStringLiteral("Content-Length:")));
}

bool IsChunked(const QString& head) {
    return HeadValue(head, QStringLiteral("Transfer-Encoding:"))
        .contains(QStringLiteral("chunked"), Qt::CaseInsensitive);
}

QByteArray DecodeChunked(const QByteArray& body, bool* complete) {
    QByteArray out;
    if (complete) *complete = false;
    qsizetype pos = 0;
    while (pos < body.size()) {
        const qsizetype lineEnd = body.indexOf("\r\n", pos);
        if (lineEnd < 0) break;
        // Chunk size in hex; extensions after ";" are ignored.
        QByteArray sizeText = body.mid(pos, lineEnd - pos);
        const qsizetype semi = sizeText.indexOf(';');
        if (semi >= 0) sizeText.truncate(semi);
        bool ok = false;
        const qlonglong size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0) break;
        pos = lineEnd + 2;
        if (size == 0) {
            if (complete) *complete = true;
            break;
        }
        const qsizetype available = std::min<qsizetype>(size, body.size() - pos);
        out.append(body.constData() + pos, available);
        if (available < size) break;
        pos += size + 2;  // data and its CRLF
    }
    return out;
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
    if (reference.left(7).toLower() == QStringLiteral("http://")) return reference;
    if (reference.startsWith(u'/')) return QStringLiteral("http://") + pageHost + reference;
    return QStringLiteral("http://") + pageHost + pageDir + reference;
}

QString AbsoluteUrl(const QString& reference, const QString& scheme, const QString& pageHost,
                    const QString& pageDir) {
    if (reference.left(7).toLower() == QLatin1String("http://") ||
        reference.left(8).toLower() == QLatin1String("https://"))
        return reference;
    if (reference.startsWith(QLatin1String("//"))) return scheme + u':' + reference;
    const QString origin = scheme + QStringLiteral("://") + pageHost;
    if (reference.startsWith(u'/')) return origin + reference;
    return origin + pageDir + reference;
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
    QString u = url;
    u.replace(u'\\', u'/');
    const qsizetype slash = u.lastIndexOf(u'/');
    return slash < 0 ? QString() : u.mid(slash + 1);
}

QString WithoutQuotes(const QString& text) {
    QString t = text;
    t.remove(u'"');
    t.remove(u'\'');
    return t;
}

}  // namespace PageHttp
