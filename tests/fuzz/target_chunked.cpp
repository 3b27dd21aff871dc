// The chunked decoder fed in the pieces a socket delivers: the same bytes out whatever the
// pieces, never more data than came in.

#include "engine/ChunkedDecoder.h"
#include "fuzz/FuzzSupport.h"
#include "pages/PageHttp.h"

QV_FUZZ_ENTRY(chunked) {
    Fuzz::Input in(data, size);
    const int seed = in.Byte();
    ChunkedDecoder::Rules rules;
    rules.CheckDataEnd = in.Flag();
    const QByteArray body = in.Rest();

    ChunkedDecoder decoder(rules);
    QByteArray out;
    bool ok = true;
    for (const QByteArray& piece : Fuzz::Pieces(body, seed)) {
        ok = decoder.Feed(piece, out);
        if (!ok || decoder.Done()) break;
    }
    QV_FUZZ_CHECK(ok == !decoder.Failed());
    QV_FUZZ_CHECK(out.size() <= body.size());
    QV_FUZZ_CHECK(!(decoder.Done() && decoder.Failed()));

    bool complete = false, failed = false;
    const QByteArray whole = ChunkedDecoder::DecodeWhole(body, rules, &complete, &failed);
    QV_FUZZ_CHECK(whole == out);
    QV_FUZZ_CHECK(failed == decoder.Failed() && complete == decoder.SawLastChunk());

    // The page reader's own use of it.
    bool pageComplete = false;
    const QByteArray page = PageHttp::DecodeChunked(body, &pageComplete);
    QV_FUZZ_CHECK(page.size() <= body.size());
    return 0;
}
