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
};
