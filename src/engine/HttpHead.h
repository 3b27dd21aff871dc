#pragma once
// Reading a response head: where it ends in the received bytes, its status, its header values.
// A head here is the text from the status line up to and including the blank line ("\r\n\r\n"),
// bytes read as Latin-1. A head whose lines end in a bare line feed is read as if they ended in
// CR LF (WithCrLf), as HTTP lets a client do.
//
// Two rules find header values, because the page analyser has always been more forgiving:
// - a header line: the name at the start of a line after the status line, any case, value
//   without surrounding blanks (the download engine; Value, Values);
// - a label anywhere: "Name:" searched anywhere in the head, any case, the value is the rest of
//   that line as written (the page analyser; RawValue).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>

namespace HttpHead {

// Position just after the blank line ending the head, or -1 while it has not arrived. Either line
// end may be a bare line feed.
qsizetype End(const QByteArray& bytes);
// The head's bytes with every bare line feed made CR LF.
QByteArray WithCrLf(const QByteArray& head);
// The head (blank line included) as text with CR LF line ends, or "" while it has not all arrived.
QString Text(const QByteArray& bytes);

// The three digits after the first blank of an "HTTP/..." status line, followed by a blank or the
// line's end; 0 without them.
int StatusCode(const QString& head);
// Why the download engine cannot take an answer at all, "" when it can: an "HTTP/" status line
// without a status from 100 to 599, or a transfer coding other than chunked (the body would be
// saved still coded).
QString Unreadable(const QString& head);
// "200" for "HTTP/1.1 200 OK"/"HTTP/1.0 200 OK", "206" for "HTTP/1.1 206"/"HTTP/1.0 206 ",
// "404" for "HTTP/1.1 404"/"HTTP/1.0 404 ", with redirects also "30" for "HTTP/1.1 30"/
// "HTTP/1.0 30 "; else "" (case-sensitive, anywhere in the head).
QString StatusClass(const QString& head, bool withRedirects);
// The status line for messages, cut at 200 characters ("..." added).
QString StatusLine(const QString& head);

// The value of the first header line called name; "" without one.
QString Value(const QString& head, const QString& name);
// The values of every header line called name.
QStringList Values(const QString& head, const QString& name);
// The rest of the line after the first "label" found anywhere in the head (any case), as
// written; "" without the label.
QString RawValue(const QString& head, const QString& label);
// The Location header.
QString Location(const QString& head);
// Head text (read byte for byte) whose bytes are UTF-8 taken as such: servers write the other
// characters of an address so, and browsers read them so. Text that is no UTF-8 stays as read.
QString Utf8OrAsRead(const QString& text);

// Digits only, blanks around them allowed, at most 18 of them; -1 otherwise.
qint64 StrictNumber(QStringView text);
// The download engine's body length: -1 without Content-Length, -2 when a value is not one
// plain number (a sign, blanks or other characters inside) or the values differ.
qint64 StrictLength(const QString& head);
// The Content-Length text of the first such header line as written, one blank after the colon
// left out; "0" without the line.
QString LengthText(const QString& head);
// The page analyser's body length: the leading number after "Content-Length:" (label anywhere);
// 0 without the label.
int32_t LenientLength(const QString& head);

// "bytes first-last/total"; total -1 when the server wrote "*".
struct ContentRange {
    bool ok = false;
    qint64 first = -1, last = -1, total = -1;
};
ContentRange ParseContentRange(const QString& value);

// Which rule tells a chunked body: download connections read the header line, the page
// analyser the label anywhere, the update check the exact line.
enum class ChunkedRule {
    HeaderLine,     // the first Transfer-Encoding header line's value contains "chunked" (any case)
    LabelAnywhere,  // the value after the first "Transfer-Encoding:" anywhere contains "chunked"
    ExactLine       // a line starts with "transfer-encoding: chunked" (any case, one blank)
};
bool IsChunked(const QString& head, ChunkedRule rule);

}  // namespace HttpHead
