// The mail server's replies in the pieces the socket delivers, read as the sender reads them.

#include "fuzz/FuzzSupport.h"
#include "net/SmtpSender.h"

QV_FUZZ_ENTRY(smtp_reply) {
    Fuzz::Input in(data, size);
    const int seed = in.Byte();
    QByteArray buffer;
    for (const QByteArray& piece : Fuzz::Pieces(in.Rest(), seed)) {
        buffer += piece;
        if (buffer.size() > SmtpSender::kMaxReply) break;
        for (;;) {
            qsizetype used = -1;
            const QByteArray code = SmtpSender::ReplyCode(buffer, &used);
            if (code.isEmpty() && used < 0) break;
            QV_FUZZ_CHECK(used > 0 && used <= buffer.size());
            QV_FUZZ_CHECK(code.size() <= 3 && buffer.at(used - 1) == '\n');
            buffer.remove(0, used);
        }
    }
    return 0;
}
