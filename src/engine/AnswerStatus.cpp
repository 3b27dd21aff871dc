#include "engine/AnswerStatus.h"

#include "engine/HttpHead.h"

namespace {
constexpr qint64 kInt32Max = 2147483647;
}  // namespace

AnswerStatus::Kind AnswerStatus::Of(const QString& head) {
    const int code = HttpHead::StatusCode(head);
    if (code == 0) return Kind::NoStatus;
    const bool http11 = head.startsWith(QLatin1String("HTTP/1.1 "));
    if (code == 301 || code == 302 || code == 303 || code == 307 || code == 308 ||
        (http11 && code >= 300 && code <= 309))
        return Kind::Redirect;
    switch (code) {
        case 404:
            return Kind::NotFound;
        case 503:
        case 429:
            return Kind::Busy;
        case 200:
            return Kind::Whole;
        case 206:
            return Kind::Partial;
        default:
            return Kind::Other;
    }
}

AnswerStatus::First AnswerStatus::JudgeFirst(const QString& head, bool chunked) {
    First out;
    out.status = Of(head);
    switch (out.status) {
        case Kind::NoStatus:
            out.problem = QStringLiteral("The server's answer has no status line: ") +
                          HttpHead::StatusLine(head);
            return out;
        case Kind::Redirect:
            return out;
        case Kind::NotFound:
            out.problem = QStringLiteral("404");
            return out;
        case Kind::Whole:
            break;
        default:
            // Only a 200 carries the whole file.
            out.problem = (out.status == Kind::Partial
                               ? QStringLiteral("Partial answer to a request for the whole file: ")
                               : QStringLiteral("The server answered ")) +
                          HttpHead::StatusLine(head);
            return out;
    }
    // A chunked body's length comes with its chunks.
    out.length = chunked ? -1 : HttpHead::StrictLength(head);
    if (out.length == -2)
        out.problem =
            QStringLiteral("Invalid Content-Length in the answer: ") +
            HttpHead::Values(head, QStringLiteral("Content-Length")).join(QStringLiteral(", "));
    else if (out.length > kInt32Max)
        out.problem =
            QStringLiteral("File too large: Content-Length %1 is more than 2147483647 bytes")
                .arg(out.length);
    return out;
}
