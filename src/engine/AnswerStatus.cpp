#include "engine/AnswerStatus.h"

#include "engine/HttpHead.h"

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
