// The answer head as a download connection reads it: pieces appended until the blank line, the
// head taken as Latin-1, then every question the job asks of it, and the check of an answer to a
// ranged request.

#include "engine/AnswerCheck.h"
#include "engine/HttpHead.h"
#include "fuzz/FuzzSupport.h"

QV_FUZZ_ENTRY(http_head) {
    Fuzz::Input in(data, size);
    const int seed = in.Byte();
    AnswerCheck::Asked asked;
    asked.RequestPos = in.Byte() * 1000;
    asked.Chunked = in.Flag();
    asked.ResumeRun = in.Flag();
    asked.SizeUnknown = in.Flag();
    asked.FileSize = int64_t(in.Byte()) * 1000;
    if (in.Flag()) asked.Validator.ETag = QStringLiteral("\"v1\"");
    const QByteArray bytes = in.Rest();

    QByteArray buffer;
    qsizetype after = -1;
    for (const QByteArray& piece : Fuzz::Pieces(bytes, seed)) {
        buffer += piece;
        after = HttpHead::End(buffer);
        if (after >= 0) break;
    }
    if (after < 0) return 0;
    // The blank line may end in a bare line feed; the head is read with CR LF line ends.
    QV_FUZZ_CHECK(after >= 2 && after <= buffer.size());
    QV_FUZZ_CHECK(buffer.mid(after - 2, 2) == "\n\n" || buffer.mid(after - 3, 3) == "\n\r\n");
    const QString head = HttpHead::Text(buffer);
    QV_FUZZ_CHECK(head.size() >= after && head.endsWith(QLatin1String("\r\n\r\n")));
    QV_FUZZ_CHECK(head.count(QLatin1Char('\n')) == head.count(QLatin1String("\r\n")));
    HttpHead::Unreadable(head);

    // The two readers of header lines agree.
    for (const QString& name : {QStringLiteral("Content-Range"), QStringLiteral("Content-Length"),
                                QStringLiteral("ETag"), QStringLiteral("Location")})
        QV_FUZZ_CHECK(HttpHead::Value(head, name) == HttpHead::Values(head, name).value(0));

    const int code = HttpHead::StatusCode(head);
    QV_FUZZ_CHECK(code >= 0 && code <= 999);
    HttpHead::StatusClass(head, true);
    HttpHead::StatusLine(head);
    HttpHead::Location(head);
    HttpHead::LengthText(head);
    HttpHead::LenientLength(head);
    const qint64 length = HttpHead::StrictLength(head);
    QV_FUZZ_CHECK(length >= -2);
    for (auto rule : {HttpHead::ChunkedRule::HeaderLine, HttpHead::ChunkedRule::LabelAnywhere,
                      HttpHead::ChunkedRule::ExactLine})
        HttpHead::IsChunked(head, rule);
    for (const QString& value : HttpHead::Values(head, QStringLiteral("Content-Range"))) {
        const HttpHead::ContentRange r = HttpHead::ParseContentRange(value);
        if (!r.ok) continue;
        QV_FUZZ_CHECK(r.first >= 0 && r.first <= r.last);
        QV_FUZZ_CHECK(r.total < 0 || r.last < r.total);
    }

    const AnswerCheck::Verdict v = AnswerCheck::Check(head, asked);
    if (v.Problem.isEmpty()) {
        QV_FUZZ_CHECK(code == 200 || code == 206);
        if (code == 206) {
            // A fitting piece starts where asked and lies within the file.
            const HttpHead::ContentRange r =
                HttpHead::ParseContentRange(HttpHead::Value(head, QStringLiteral("Content-Range")));
            QV_FUZZ_CHECK(r.ok && r.first == asked.RequestPos);
            QV_FUZZ_CHECK(v.BodyLeft == r.last - r.first + 1);
            if (!asked.SizeUnknown) QV_FUZZ_CHECK(asked.RequestPos + v.BodyLeft <= asked.FileSize);
        } else {
            QV_FUZZ_CHECK(asked.RequestPos == 0);
            QV_FUZZ_CHECK(asked.SizeUnknown || v.BodyLeft < 0 || v.BodyLeft == asked.FileSize);
        }
    }
    const int64_t named = AnswerCheck::NamedSize(head);
    QV_FUZZ_CHECK(named >= -1);
    return 0;
}
