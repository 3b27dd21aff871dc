#pragma once
// One hand-off request as it arrives on the program's socket: the header line
// "QV-HANDOFF <byte count>\n" and that many bytes of message. The message must be what the
// hand-off library can send: well-formed UTF-8 without NUL bytes, at most kMaxMessage bytes.
// A refusal carries its reason, the text that follows "QV-REFUSED " on the wire.

#include <QByteArray>
#include <QByteArrayView>

#include "handoff_lib/HandoffProtocol.h"

class HandoffFrame {
public:
    static constexpr int kMaxMessage = static_cast<int>(HandoffProtocol::kMaxMessage);
    // Longest header line: the word, a blank and the byte count.
    static constexpr int kMaxHeader = static_cast<int>(HandoffProtocol::kMaxHeader);

    enum Outcome { Incomplete, Whole, Refused };

    // Reads the request at the start of buffer. Whole: message holds the message and used the
    // bytes the request took (what follows is a second request). Refused: reason says why.
    // Incomplete: more bytes are needed.
    static Outcome Read(const QByteArray& buffer, QByteArray* message, qsizetype* used,
                        QByteArray* reason);

    // Well-formed UTF-8, by the library's rule: no stray continuation bytes, no overlong forms,
    // no surrogates, nothing above U+10FFFF.
    static bool IsUtf8(QByteArrayView bytes);

    // The reasons given, the library's own where it refuses the same thing.
    static const QByteArray kUnknownRequest;
    static const QByteArray kBadCount;
    static const QByteArray kTooLong;
    static const QByteArray kNotUtf8;
    static const QByteArray kHoldsNul;
    static const QByteArray kOnePerConnection;
};
