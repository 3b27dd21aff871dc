#pragma once
// Builds SWF movies byte by byte for the player's tests: tags, the frame size, and the three
// container forms (plain, zlib, LZMA).

#include <lzma.h>
#include <zlib.h>

#include <QByteArray>
#include <QList>
#include <vector>

namespace SwfBuilder {

inline void Le16(QByteArray& b, int v) {
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}
inline void Le32(QByteArray& b, quint32 v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xff));
}

// A tag record; `forceLong` writes the long header even for short contents.
inline QByteArray Tag(int code, const QByteArray& data, bool forceLong = false) {
    QByteArray t;
    if (data.size() < 0x3f && !forceLong) {
        Le16(t, code << 6 | int(data.size()));
    } else {
        Le16(t, code << 6 | 0x3f);
        Le32(t, quint32(data.size()));
    }
    return t + data;
}

// RECT with the given field width: 5 bits of width, then four signed fields, padded to a byte.
inline QByteArray Rect(int nbits, qint32 xMin, qint32 xMax, qint32 yMin, qint32 yMax) {
    std::vector<bool> bits;
    auto put = [&](quint32 v, int n) {
        for (int i = n - 1; i >= 0; --i) bits.push_back((v >> i) & 1);
    };
    put(quint32(nbits), 5);
    for (qint32 v : {xMin, xMax, yMin, yMax}) put(quint32(v), nbits);
    QByteArray out((bits.size() + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i]) out[qsizetype(i / 8)] = char(out[qsizetype(i / 8)] | (0x80 >> (i % 8)));
    return out;
}

// The body after the 8-byte header: a 550 x 400 pixel frame, the rate (8.8) and frame count.
inline QByteArray Body(int rate88, int frames, const QList<QByteArray>& tags) {
    QByteArray b = Rect(15, 0, 11000, 0, 8000);
    Le16(b, rate88);
    Le16(b, frames);
    for (const QByteArray& t : tags) b += t;
    return b;
}

inline QByteArray Fws(const QByteArray& body, int version = 10) {
    QByteArray f("FWS");
    f.append(char(version));
    Le32(f, quint32(8 + body.size()));
    return f + body;
}

inline QByteArray Cws(const QByteArray& body, int version = 10) {
    QByteArray f("CWS");
    f.append(char(version));
    Le32(f, quint32(8 + body.size()));
    uLongf size = compressBound(uLong(body.size()));
    QByteArray z(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &size,
              reinterpret_cast<const Bytef*>(body.constData()), uLong(body.size()), 9);
    z.resize(qsizetype(size));
    return f + z;
}

// "ZWS": the uncompressed length, the compressed length, 5 bytes of LZMA properties, the stream.
// The ".lzma" encoder writes properties, an 8-byte size and the stream; the size is dropped.
inline QByteArray Zws(const QByteArray& body, int version = 13) {
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 6);
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&s, &opt) != LZMA_OK) return QByteArray();
    QByteArray out(body.size() + 4096, '\0');
    s.next_in = reinterpret_cast<const uint8_t*>(body.constData());
    s.avail_in = size_t(body.size());
    s.next_out = reinterpret_cast<uint8_t*>(out.data());
    s.avail_out = size_t(out.size());
    while (lzma_code(&s, LZMA_FINISH) == LZMA_OK) {
    }
    out.resize(out.size() - qsizetype(s.avail_out));
    lzma_end(&s);
    QByteArray f("ZWS");
    f.append(char(version));
    Le32(f, quint32(8 + body.size()));
    Le32(f, quint32(out.size() - 13));
    return f + out.left(5) + out.mid(13);
}

// Frame actions (DoAction): a constant pool of `pool`, then `load` pushed and loaded into level 1
// (ActionGetURL2 with the target "_level1") when given.
inline QByteArray DoAction(const QList<QByteArray>& pool, const QByteArray& load = {}) {
    QByteArray a, strings;
    for (const QByteArray& name : pool) strings += name + '\0';
    a.append(char(0x88));
    Le16(a, int(strings.size()) + 2);
    Le16(a, int(pool.size()));
    a += strings;
    if (!load.isEmpty()) {
        const QByteArray push = '\0' + load + '\0' + '\0' + QByteArray("_level1") + '\0';
        a.append(char(0x96));
        Le16(a, int(push.size()));
        a += push;
        a += QByteArray("\x9a\x01\x00\x00", 4);  // ActionGetURL2, no variables, no target
    }
    a += QByteArray("\x07\x00", 2);  // stop, end
    return Tag(12, a);
}

}  // namespace SwfBuilder
