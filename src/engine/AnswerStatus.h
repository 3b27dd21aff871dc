#pragma once
// What the status of a server's answer means to a download, decided in one place for the first
// answer of a job and for every later one.

#include <QString>

class AnswerStatus {
public:
    enum class Kind {
        NoStatus,  // no status line
        Redirect,  // 301, 302, 303, 307, 308, and any 30x of an HTTP/1.1 answer
        NotFound,  // 404
        Busy,      // 503, 429: the server takes no more for now
        Whole,     // 200
        Partial,   // 206
        Other,
    };

    static Kind Of(const QString& head);

    // The first answer of a new job, to a request for the whole file.
    struct First {
        Kind status = Kind::Other;
        QString problem;     // why the job cannot go on with this answer, "" when it can
        qint64 length = -1;  // of the body, -1 when not given (chunked, no Content-Length)
    };
    static First JudgeFirst(const QString& head, bool chunked);
};
