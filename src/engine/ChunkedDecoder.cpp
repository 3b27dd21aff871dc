#include "engine/ChunkedDecoder.h"

#include <algorithm>
#include <cstring>

bool ChunkedDecoder::Feed(const char* data, qsizetype size, QByteArray& out) {
    qsizetype i = 0;
    while (i < size && state != State::Done) {
        if (state == State::Failed) return false;
        if (state == State::Data) {
            const qsizetype n = static_cast<qsizetype>(std::min<qint64>(chunkLeft, size - i));
            out.append(data + i, n);
            chunkLeft -= n;
            i += n;
            if (chunkLeft == 0) {
                state = State::DataEnd;
                skipLeft = 2;
            }
            continue;
        }
        if (state == State::DataEnd && !rules.CheckDataEnd) {
            const qsizetype n = std::min<qsizetype>(skipLeft, size - i);
            skipLeft -= static_cast<int>(n);
            i += n;
            if (skipLeft == 0) state = State::Size;
            continue;
        }
        const char* nl = static_cast<const char*>(std::memchr(data + i, '\n', size - i));
        const qsizetype stop = nl ? nl - data : size;
        line.append(data + i, stop - i);
        i = nl ? stop + 1 : size;
        if (line.size() > kLineLimit) {
            state = State::Failed;
            break;
        }
        if (!nl) break;
        const QByteArray whole = line;
        line.clear();
        if (!TakeLine(whole)) state = State::Failed;
    }
    return state != State::Failed;
}

bool ChunkedDecoder::TakeLine(QByteArray text) {
    text = text.trimmed();
    switch (state) {
        case State::DataEnd:
            if (!text.isEmpty()) return false;
            state = State::Size;
            return true;
        case State::Trailer:
            if (text.isEmpty()) state = State::Done;
            return true;
        case State::Size: {
            const qsizetype semi = text.indexOf(';');
            if (semi >= 0) text.truncate(semi);
            bool ok = false;
            const qint64 n = text.trimmed().toLongLong(&ok, 16);
            if (!ok || n < 0) return false;
            chunkLeft = n;
            state = n == 0 ? State::Trailer : State::Data;
            return true;
        }
        default:
            return true;
    }
}

QByteArray ChunkedDecoder::DecodeWhole(const QByteArray& body, Rules rules, bool* complete,
                                       bool* failed) {
    ChunkedDecoder decoder(rules);
    QByteArray out;
    decoder.Feed(body, out);
    if (complete) *complete = decoder.SawLastChunk();
    if (failed) *failed = decoder.Failed();
    return out;
}
