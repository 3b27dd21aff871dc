#pragma once
// The small HTTP text rules of the page analyser: the page request, reading the response head
// (status, Content-Length, chunked coding), and the reference rules used on page text
// (absolute URLs, the HREF of an anchor tag, ASCII case folding for case-insensitive scans).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace PageHttp {

// The old page request carried the line "Accept -Encoding: gzip , deflate" (a blank inside the
// header name). Current servers (nginx since 1.21.1, Apache 2.4 in its strict default) answer
// such a request with "400 Bad Request", so the line is left out unless this is set. A
// well-formed Accept-Encoding is never sent: pages are read as they come, uncompressed.
inline bool SendAcceptEncodingLine = false;

// The request for a page, byte for byte: GET line, "Accept: */*", ["Accept -Encoding: gzip ,
// deflate",] "User-Agent: Quorvanta1.0", "Host: " host, "Connection: close", blank line.
// Characters that cannot stand in a request line (controls, blanks, non-ASCII) are sent
// percent-encoded (UTF-8), so a target can never break the request into extra lines.
QByteArray PageRequest(const QString& pagePath, const QString& pageHost,
                       const QStringList& extraLines = {});

// Position (0-based) just after the blank line ending the head, or -1 while it has not arrived.
qsizetype HeadEnd(const QByteArray& bytes);

// "200" for "HTTP/1.1 200 OK"/"HTTP/1.0 200 OK", "206" for "HTTP/1.1 206"/"HTTP/1.0 206 ",
// "404" for "HTTP/1.1 404"/"HTTP/1.0 404 ", else "" (case-sensitive, anywhere in the head).
QString PageStatus(const QString& head);

// The number after "Content-Length:" (label found case-insensitively, value up to the end of its
// line, leading-number rule); 0 without the label.
int32_t PageContentLength(const QString& head);

// True when the head announces "Transfer-Encoding: chunked".
bool IsChunked(const QString& head);

// The media type of the answer: the Content-Type header's value before any ";", trimmed and in
// lower case; "" without the header.
QString ContentType(const QString& head);

// A type the analyser reads as a page: text/html or application/xhtml+xml.
bool IsPageType(const QString& type);
// The type a movie answers with: application/x-shockwave-flash.
bool IsMovieType(const QString& type);

// Whether the start of a body given without a type is a page: after a UTF-8 byte order mark and
// blanks (at most 1024 bytes of them) it opens a tag or a declaration: "<" followed by a letter,
// "!" or "?". Undecided while the bytes end before that can be told and more may come
// (complete false).
enum class HtmlStart { Yes, No, Undecided };
HtmlStart LooksLikeHtml(QByteArrayView body, bool complete);

// A link to a movie: its path (before any "?" or "#") ends in ".swf", in any letter case.
bool IsMovieLink(const QString& url);

// Decodes a chunked body. Stops at the last-chunk or where the data ends; a truncated chunk
// contributes what arrived of it. complete (optional) tells whether the last-chunk was seen.
QByteArray DecodeChunked(const QByteArray& body, bool* complete = nullptr);

// A copy where only A-Z are lowered: same length and positions as the text, so positions found
// in it are positions in the text.
QString AsciiLower(const QString& text);

// Absolute URL of a reference found on a page: "http://..." (any case) stays; "/x" becomes
// "http://" host "/x"; anything else "http://" host dir reference.
QString AbsoluteUrl(const QString& reference, const QString& pageHost, const QString& pageDir);

// The same for a page reached with scheme ("http" or "https"): relative references take the
// page's scheme, "https://..." stays too, and "//host/x" (scheme-relative) becomes
// scheme ":" "//host/x".
QString AbsoluteUrl(const QString& reference, const QString& scheme, const QString& pageHost,
                    const QString& pageDir);

// False for a link that does not lead to a web page: a bare "#fragment", or a reference with a
// scheme other than http and https ("mailto:", "javascript:", "ftp:" ...).
bool IsWebLink(const QString& reference);

// The reference of an anchor tag: the text after "HREF=" (any case) up to the next blank (or
// up to, not including, the tag's last character when there is no blank), quotes removed;
// "" when the tag has no "HREF=". Not yet made absolute.
QString HrefOf(const QString& tag);

// Text after the last "/" (after turning "\" into "/"); "" when there is no "/".
QString FileNameOf(const QString& url);

// Removes every double and single quote.
QString WithoutQuotes(const QString& text);

}  // namespace PageHttp
