#include "engine/HttpHead.h"

#include <QStringDecoder>

#include "store/NumberRule.h"

namespace HttpHead {

namespace {
// Where the value of the first header line starting with label begins; -1 without one. The
// status line is never a header line.
qsizetype ValueStart(const QString& head, const QString& label) {
    const qsizetype p = head.indexOf(QStringLiteral("\r\n") + label, 0, Qt::CaseInsensitive);
    return p < 0 ? -1 : p + 2 + label.size();
}

QString RestOfLine(const QString& head, qsizetype start) {
    qsizetype q = head.indexOf(QLatin1String("\r\n"), start);
    if (q < 0) q = head.size();
    return head.mid(start, q - start);
}
}  // namespace

qsizetype End(const QByteArray& bytes) {
    // The blank line: a line feed, then a bare one or CR LF.
    const qsizetype bare = bytes.indexOf("\n\n");
    const qsizetype crlf = bytes.indexOf("\n\r\n");
    if (crlf >= 0 && (bare < 0 || crlf < bare)) return crlf + 3;
    return bare < 0 ? -1 : bare + 2;
}

QByteArray WithCrLf(const QByteArray& head) {
    if (!head.contains('\n')) return head;
    QByteArray out;
    out.reserve(head.size() + 16);
    for (qsizetype i = 0; i < head.size(); ++i) {
        if (head[i] == '\n' && (i == 0 || head[i - 1] != '\r')) out += '\r';
        out += head[i];
    }
    return out;
}

QString Text(const QByteArray& bytes) {
    const qsizetype end = End(bytes);
    return end < 0 ? QString() : QString::fromLatin1(WithCrLf(bytes.left(end)));
}

int StatusCode(const QString& head) {
    if (!head.startsWith(QLatin1String("HTTP/"))) return 0;
    const qsizetype blank = head.indexOf(QLatin1Char(' '));
    if (blank < 0 || blank + 4 > head.size()) return 0;
    int code = 0;
    for (int i = 1; i <= 3; ++i) {
        const QChar ch = head.at(blank + i);
        if (!ch.isDigit()) return 0;
        code = code * 10 + ch.digitValue();
    }
    // "HTTP/1.1 2000000000000 OK" has no three-digit status.
    if (blank + 4 < head.size() && head.at(blank + 4) != QLatin1Char(' ') &&
        head.at(blank + 4) != QLatin1Char('\r') && head.at(blank + 4) != QLatin1Char('\n'))
        return 0;
    return code;
}

QString Unreadable(const QString& head) {
    const int code = StatusCode(head);
    if (head.startsWith(QLatin1String("HTTP/")) && (code < 100 || code > 599))
        return QStringLiteral("The server's answer has no valid status (100 to 599): ") +
               StatusLine(head);
    for (const QString& value : Values(head, QStringLiteral("Transfer-Encoding")))
        for (const QString& coding : value.split(QLatin1Char(',')))
            if (!coding.trimmed().isEmpty() &&
                coding.trimmed().compare(QLatin1String("chunked"), Qt::CaseInsensitive) != 0)
                return QStringLiteral(
                           "The server sent the file in a transfer coding this program "
                           "cannot read: ") +
                       value;
    return QString();
}

QString StatusClass(const QString& head, bool withRedirects) {
    const auto has = [&head](const char* a, const char* b) {
        return head.contains(QLatin1String(a)) || head.contains(QLatin1String(b));
    };
    if (has("HTTP/1.1 200 OK", "HTTP/1.0 200 OK")) return QStringLiteral("200");
    if (has("HTTP/1.1 206", "HTTP/1.0 206 ")) return QStringLiteral("206");
    if (has("HTTP/1.1 404", "HTTP/1.0 404 ")) return QStringLiteral("404");
    if (withRedirects && has("HTTP/1.1 30", "HTTP/1.0 30 ")) return QStringLiteral("30");
    return QString();
}

QString StatusLine(const QString& head) {
    QString line = head.section(QLatin1String("\r\n"), 0, 0);
    if (line.size() > 200) line = line.left(200) + QStringLiteral("...");
    return line;
}

QString Value(const QString& head, const QString& name) {
    const qsizetype start = ValueStart(head, name + QLatin1Char(':'));
    return start < 0 ? QString() : RestOfLine(head, start).trimmed();
}

QStringList Values(const QString& head, const QString& name) {
    QStringList values;
    const QStringList lines = head.split(QStringLiteral("\r\n"));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        // The name starts the line and the colon follows it: a line starting with a blank (or a
        // lone line feed) goes on the line before and names nothing, as Value() reads it too.
        const qsizetype colon = lines[i].indexOf(QLatin1Char(':'));
        if (colon <= 0) continue;
        if (QStringView(lines[i]).left(colon).compare(name, Qt::CaseInsensitive) == 0)
            values << lines[i].mid(colon + 1).trimmed();
    }
    return values;
}

QString RawValue(const QString& head, const QString& label) {
    const qsizetype p = head.indexOf(label, 0, Qt::CaseInsensitive);
    return p < 0 ? QString() : RestOfLine(head, p + label.size());
}

QString Location(const QString& head) {
    return Value(head, QStringLiteral("Location"));
}

QString Utf8OrAsRead(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes);
    return utf8.hasError() ? text : decoded;
}

qint64 StrictNumber(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 18) return -1;
    qint64 value = 0;
    for (const QChar ch : text) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) return -1;
        value = value * 10 + (ch.unicode() - '0');
    }
    return value;
}

qint64 StrictLength(const QString& head) {
    const QStringList values = Values(head, QStringLiteral("Content-Length"));
    if (values.isEmpty()) return -1;
    qint64 length = -1;
    for (const QString& v : values) {
        const qint64 n = StrictNumber(v);
        if (n < 0 || (length >= 0 && n != length)) return -2;
        length = n;
    }
    return length;
}

QString LengthText(const QString& head) {
    const qsizetype start = ValueStart(head, QStringLiteral("Content-Length:"));
    if (start < 0) return QStringLiteral("0");
    QString value = RestOfLine(head, start);
    // One blank after the colon belongs to the label.
    if (value.startsWith(QLatin1Char(' '))) value.remove(0, 1);
    return value;
}

int32_t LenientLength(const QString& head) {
    return NumberRule::ValInt32(RawValue(head, QStringLiteral("Content-Length:")));
}

ContentRange ParseContentRange(const QString& value) {
    ContentRange r;
    if (!value.startsWith(QLatin1String("bytes "), Qt::CaseInsensitive)) return r;
    const QString rest = value.mid(6).trimmed();
    const qsizetype dash = rest.indexOf(QLatin1Char('-'));
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (dash <= 0 || slash < dash) return r;
    const qint64 first = StrictNumber(QStringView(rest).left(dash));
    const qint64 last = StrictNumber(QStringView(rest).mid(dash + 1, slash - dash - 1));
    const QString totalText = rest.mid(slash + 1).trimmed();
    const bool anyTotal = totalText == QLatin1String("*");
    const qint64 total = anyTotal ? -1 : StrictNumber(totalText);
    if (first < 0 || last < first || (!anyTotal && total < 0)) return r;
    if (total >= 0 && last >= total) return r;
    r = {true, first, last, total};
    return r;
}

bool IsChunked(const QString& head, ChunkedRule rule) {
    const QLatin1String chunked("chunked");
    switch (rule) {
        case ChunkedRule::HeaderLine:
            return Value(head, QStringLiteral("Transfer-Encoding"))
                .contains(chunked, Qt::CaseInsensitive);
        case ChunkedRule::LabelAnywhere:
            return RawValue(head, QStringLiteral("Transfer-Encoding:"))
                .contains(chunked, Qt::CaseInsensitive);
        case ChunkedRule::ExactLine:
            return head.contains(QLatin1String("\ntransfer-encoding: chunked"),
                                 Qt::CaseInsensitive);
    }
    return false;
}

}  // namespace HttpHead
