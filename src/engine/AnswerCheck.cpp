#include "engine/AnswerCheck.h"

#include "engine/HttpHead.h"

namespace {

AnswerCheck::Verdict Fail(AnswerCheck::Verdict v, const QString& problem) {
    v.Problem = problem;
    return v;
}

}  // namespace

AnswerCheck::Verdict AnswerCheck::Check(const QString& head, const Asked& asked) {
    Verdict v;
    const JobValidator& validator = asked.Validator;
    const int code = HttpHead::StatusCode(head);
    // Another ETag or Last-Modified than the file's first answer had means another file.
    const QString etag = HttpHead::Value(head, QStringLiteral("ETag"));
    const QString modified = HttpHead::Value(head, QStringLiteral("Last-Modified"));
    const bool otherFile =
        (!validator.ETag.isEmpty() && !etag.isEmpty() && etag != validator.ETag) ||
        (!validator.LastModified.isEmpty() && !modified.isEmpty() &&
         modified != validator.LastModified);
    const QString otherText =
        QStringLiteral("The file changed on the server (") +
        (etag != validator.ETag && !etag.isEmpty() ? QStringLiteral("ETag ") + etag
                                                   : QStringLiteral("Last-Modified ") + modified) +
        QStringLiteral(").");
    if (code == 200) {
        if (asked.RequestPos > 0) {
            // Sent with If-Range, or while going on with a stored file, a whole file means
            // another file (or a server that cannot resume): only a new start is safe. In a
            // new job's run without validators it only means the range was ignored.
            v.Changed = asked.ResumeRun || !validator.IfRange().isEmpty() || otherFile;
            return Fail(v, QStringLiteral("The server sent the whole file instead of the rest (") +
                               HttpHead::StatusLine(head) +
                               QStringLiteral("): the file may have changed on the server."));
        }
        const qint64 length = asked.Chunked ? -1 : HttpHead::StrictLength(head);
        if (length == -2)
            return Fail(v, QStringLiteral("Invalid Content-Length in the answer: ") +
                               HttpHead::Values(head, QStringLiteral("Content-Length"))
                                   .join(QStringLiteral(", ")));
        if (!asked.SizeUnknown && length >= 0 && length != asked.FileSize) {
            v.Changed = true;
            return Fail(v, QStringLiteral("The file on the server has %1 bytes now, not %2.")
                               .arg(length)
                               .arg(asked.FileSize));
        }
        if (otherFile) {
            v.Changed = true;
            return Fail(v, otherText);
        }
        v.BodyLeft = length;
        return v;
    }
    if (code != 206)
        return Fail(v, QStringLiteral("The server answered ") + HttpHead::StatusLine(head));
    if (asked.RequestPos == 0)
        return Fail(v, QStringLiteral("Partial answer to a request for the whole file: ") +
                           HttpHead::StatusLine(head));
    const QStringList ranges = HttpHead::Values(head, QStringLiteral("Content-Range"));
    const HttpHead::ContentRange r =
        ranges.size() == 1 ? HttpHead::ParseContentRange(ranges[0]) : HttpHead::ContentRange{};
    if (!r.ok)
        return Fail(v, QStringLiteral("Invalid Content-Range in the answer: \"") +
                           ranges.join(QStringLiteral(", ")) + QLatin1Char('"'));
    if (r.first != asked.RequestPos)
        return Fail(v, QStringLiteral("The answer starts at byte %1, not at byte %2 as asked")
                           .arg(r.first)
                           .arg(asked.RequestPos));
    if (!asked.SizeUnknown && r.total != asked.FileSize) {
        if (r.total < 0)
            return Fail(v, QStringLiteral("The answer does not name the size of the file"));
        v.Changed = true;
        return Fail(v, QStringLiteral("The file on the server has %1 bytes now, not %2.")
                           .arg(r.total)
                           .arg(asked.FileSize));
    }
    if (otherFile) {
        v.Changed = true;
        return Fail(v, otherText);
    }
    const qint64 length = asked.Chunked ? -1 : HttpHead::StrictLength(head);
    if (length == -2 || (length >= 0 && length != r.last - r.first + 1))
        return Fail(v, QStringLiteral("Content-Length does not match Content-Range in the answer"));
    v.BodyLeft = r.last - r.first + 1;
    return v;
}

int64_t AnswerCheck::NamedSize(const QString& head) {
    if (HttpHead::StatusCode(head) != 206) return -1;
    const HttpHead::ContentRange r =
        HttpHead::ParseContentRange(HttpHead::Value(head, QStringLiteral("Content-Range")));
    return r.ok ? r.total : -1;
}
