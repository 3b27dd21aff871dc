// The program socket's framing fed in pieces as the server reads them, and the hand-off message
// parser on what it lets through.

#include "browser/HandoffFrame.h"
#include "browser/HandoffMessage.h"
#include "fuzz/FuzzSupport.h"

QV_FUZZ_ENTRY(handoff) {
    Fuzz::Input in(data, size);
    const int seed = in.Byte();
    const QByteArray bytes = in.Rest();

    QByteArray buffer;
    for (const QByteArray& piece : Fuzz::Pieces(bytes, seed)) {
        buffer += piece;
        QByteArray message, reason;
        qsizetype used = -1;
        const HandoffFrame::Outcome got = HandoffFrame::Read(buffer, &message, &used, &reason);
        if (got == HandoffFrame::Incomplete) {
            QV_FUZZ_CHECK(buffer.size() <=
                          HandoffFrame::kMaxHeader + HandoffFrame::kMaxMessage + 10);
            continue;
        }
        if (got == HandoffFrame::Refused) {
            QV_FUZZ_CHECK(!reason.isEmpty());
            break;
        }
        // A whole message lies within what came, ends where the count says, and is clean text.
        QV_FUZZ_CHECK(used > 0 && used <= buffer.size());
        QV_FUZZ_CHECK(message.size() <= HandoffFrame::kMaxMessage);
        QV_FUZZ_CHECK(buffer.mid(used - message.size(), message.size()) == message);
        QV_FUZZ_CHECK(!message.contains('\0') && HandoffFrame::IsUtf8(message));
        const HandoffMessage m = HandoffMessage::Parse(QString::fromUtf8(message));
        QV_FUZZ_CHECK(m.Url.size() <= message.size());
        break;  // one message per connection
    }

    // The parser on any text, as the message of a frame.
    const QString text = QString::fromUtf8(bytes);
    const HandoffMessage m = HandoffMessage::Parse(text);
    QV_FUZZ_CHECK(m.Url.size() <= text.size() && m.Info.size() <= text.size() &&
                  m.Ref.size() <= text.size());
    HandoffMessage::Field(text, QStringLiteral("url"));
    return 0;
}
