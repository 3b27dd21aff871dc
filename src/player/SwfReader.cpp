#include "player/SwfReader.h"

#include <lzma.h>
#include <zlib.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {

constexpr int kTagEnd = 0;
constexpr int kTagShowFrame = 1;
constexpr int kTagSetBackgroundColor = 9;
constexpr int kTagDoAction = 12;
constexpr int kTagFileAttributes = 69;
constexpr int kTagDoAbcOld = 72;
constexpr int kTagDoAbc = 82;
// A movie of a few hundred thousand tags is already unusual; this bounds the memory a hostile
// movie of empty tags can make us spend on the tag list.
constexpr qsizetype kMaxTags = qsizetype(1) << 22;
// Dictionaries larger than this are refused: an LZMA header can ask for gigabytes.
constexpr uint64_t kLzmaMemLimit = 512ull * 1024 * 1024;

const char* kNotMovie = "The file is not a Flash movie.";
const char* kCutShort = "The Flash movie is damaged: it is cut short.";
const char* kBadHeader = "The Flash movie is damaged: its header is not valid.";
const char* kTooLarge = "The Flash movie is too large to play.";
const char* kBadData = "The Flash movie is damaged: its compressed data is not valid.";

quint32 Le32(const uchar* p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
quint16 Le16(const uchar* p) {
    return quint16(p[0] | p[1] << 8);
}

// Output buffer growth for the decompressors: never more than the header's length, and only as
// far as the stream really goes, so a lying header costs no more memory than the data it has.
qsizetype NextChunk(qsizetype have, qsizetype want) {
    return std::min(want, std::max<qsizetype>(have * 2, 1 << 20));
}

// Inflates `in` until `out` holds exactly `want` bytes. Returns an error text or nothing.
const char* Inflate(const uchar* in, qsizetype inSize, qsizetype want, QByteArray& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return kBadData;
    out.resize(NextChunk(0, want));
    qsizetype inPos = 0;
    qsizetype done = 0;
    const char* error = nullptr;
    while (done < want) {
        if (done == out.size()) out.resize(NextChunk(out.size(), want));
        const qsizetype inChunk = std::min<qsizetype>(inSize - inPos, 1 << 30);
        const qsizetype outChunk = std::min<qsizetype>(out.size() - done, 1 << 30);
        z.next_in = const_cast<Bytef*>(in + inPos);
        z.avail_in = uInt(inChunk);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + done);
        z.avail_out = uInt(outChunk);
        const int rc = inflate(&z, Z_NO_FLUSH);
        inPos += inChunk - z.avail_in;
        done += outChunk - z.avail_out;
        if (rc == Z_STREAM_END) {
            if (done < want) error = kCutShort;
            break;
        }
        if (rc == Z_BUF_ERROR || (rc == Z_OK && inPos == inSize && done < out.size())) {
            error = kCutShort;  // the input ran out before the stated length
            break;
        }
        if (rc != Z_OK) {
            error = kBadData;
            break;
        }
    }
    inflateEnd(&z);
    out.resize(done);
    return error;
}

// LZMA as SWF stores it: 5 bytes of properties, then the raw stream. The decoder gets them in the
// ".lzma" framing with the size given as unknown; the output is cut at `want` bytes.
const char* Unlzma(const uchar* props, const uchar* in, qsizetype inSize, qsizetype want,
                   QByteArray& out) {
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&s, kLzmaMemLimit) != LZMA_OK) return kBadData;
    uchar head[13];
    std::memcpy(head, props, 5);
    std::memset(head + 5, 0xff, 8);
    s.next_in = head;
    s.avail_in = sizeof head;
    bool bodyFed = false;
    qsizetype done = 0;
    const char* error = nullptr;
    while (done < want) {
        if (s.avail_in == 0 && !bodyFed) {
            s.next_in = in;
            s.avail_in = size_t(inSize);
            bodyFed = true;
        }
        if (done == out.size()) out.resize(NextChunk(out.size(), want));
        s.next_out = reinterpret_cast<uint8_t*>(out.data() + done);
        s.avail_out = size_t(out.size() - done);
        const size_t outBefore = s.avail_out;
        const size_t inBefore = s.avail_in;
        const lzma_ret rc = lzma_code(&s, LZMA_RUN);
        done += qsizetype(outBefore - s.avail_out);
        if (rc == LZMA_STREAM_END) {
            if (done < want) error = kCutShort;
            break;
        }
        if (rc != LZMA_OK && rc != LZMA_BUF_ERROR) {
            error = rc == LZMA_MEMLIMIT_ERROR ? kTooLarge : kBadData;
            break;
        }
        // Nothing more to give and nothing came out: the stream stops before the stated length.
        if (bodyFed && s.avail_in == 0 &&
            (rc == LZMA_BUF_ERROR || (inBefore == 0 && outBefore == s.avail_out))) {
            error = kCutShort;
            break;
        }
    }
    lzma_end(&s);
    out.resize(done);
    return error;
}

// Reads bit fields, most significant bit first, never past `end`.
class BitReader {
public:
    BitReader(const uchar* p, qsizetype size) : p(p), size(size) {}
    bool Unsigned(int bits, quint32& value) {
        value = 0;
        for (int i = 0; i < bits; ++i) {
            if (pos >= size * 8) return false;
            value = value << 1 | ((p[pos / 8] >> (7 - pos % 8)) & 1);
            ++pos;
        }
        return true;
    }
    bool Signed(int bits, qint32& value) {
        quint32 u = 0;
        if (!Unsigned(bits, u)) return false;
        if (bits > 0 && bits < 32 && (u & (1u << (bits - 1)))) u |= ~0u << bits;
        value = qint32(u);
        return true;
    }
    qsizetype BytesUsed() const { return (pos + 7) / 8; }

private:
    const uchar* p;
    qsizetype size;
    qsizetype pos = 0;
};

// True when one of the action records' codes satisfies has (the records end at code 0 or at the
// end of the data; a record that claims more than is there ends them too).
template <typename Has>
bool AnyAction(const uchar* p, qsizetype size, Has has) {
    qsizetype i = 0;
    while (i < size) {
        const uchar code = p[i++];
        if (code == 0) return false;
        if (has(code)) return true;
        if (code >= 0x80) {
            if (size - i < 2) return false;
            const qsizetype length = Le16(p + i);
            i += 2;
            if (size - i < length) return false;
            i += length;
        }
    }
    return false;
}

// Actions that move the timeline: NextFrame, PreviousFrame, GotoFrame, GotoLabel, GotoFrame2.
bool ActionsJump(const uchar* p, qsizetype size) {
    return AnyAction(p, size, [](uchar c) {
        return c == 0x04 || c == 0x05 || c == 0x81 || c == 0x8C || c == 0x9F;
    });
}

// A Stop action.
bool ActionsStop(const uchar* p, qsizetype size) {
    return AnyAction(p, size, [](uchar c) { return c == 0x07; });
}

bool ParseBody(SwfMovie& movie, QString& error) {
    const auto* p = reinterpret_cast<const uchar*>(movie.data.constData());
    const qsizetype size = movie.data.size();
    // The frame size: 5 bits giving the field width, then four signed fields.
    BitReader bits(p + 8, size - 8);
    quint32 nbits = 0;
    if (!bits.Unsigned(5, nbits) || !bits.Signed(int(nbits), movie.xMin) ||
        !bits.Signed(int(nbits), movie.xMax) || !bits.Signed(int(nbits), movie.yMin) ||
        !bits.Signed(int(nbits), movie.yMax)) {
        error = kCutShort;
        return false;
    }
    qsizetype pos = 8 + bits.BytesUsed();
    if (size - pos < 4) {
        error = kCutShort;
        return false;
    }
    movie.frameRate = p[pos + 1] + p[pos] / 256.0;
    movie.frameCount = Le16(p + pos + 2);
    pos += 4;
    movie.tagsOffset = pos;

    int frame = 1;
    while (pos < size) {
        if (size - pos < 2) {
            error = kCutShort;
            return false;
        }
        SwfTag tag;
        tag.offset = pos;
        const quint16 head = Le16(p + pos);
        pos += 2;
        tag.code = head >> 6;
        qsizetype length = head & 0x3f;
        if (length == 0x3f) {
            if (size - pos < 4) {
                error = kCutShort;
                return false;
            }
            length = Le32(p + pos);
            pos += 4;
        }
        if (size - pos < length) {
            error = kCutShort;
            return false;
        }
        if (movie.tags.size() >= kMaxTags) {
            error = kTooLarge;
            return false;
        }
        tag.dataOffset = pos;
        tag.length = length;
        tag.frame = frame;
        movie.tags.append(tag);
        pos += length;

        const uchar* d = p + tag.dataOffset;
        switch (tag.code) {
            case kTagEnd:
                return true;
            case kTagShowFrame:
                ++frame;
                ++movie.shownFrames;
                break;
            case kTagSetBackgroundColor:
                if (length >= 3 && !movie.hasBackground) {
                    movie.hasBackground = true;
                    movie.background = quint32(d[0]) << 16 | quint32(d[1]) << 8 | d[2];
                }
                break;
            case kTagFileAttributes:
                if (length >= 1 && (d[0] & 0x08)) movie.scriptDriven = true;
                break;
            case kTagDoAbcOld:
            case kTagDoAbc:
                movie.scriptDriven = true;
                break;
            case kTagDoAction:
                if (ActionsJump(d, length)) movie.scriptDriven = true;
                if (ActionsStop(d, length) &&
                    (movie.stopFrames.isEmpty() || movie.stopFrames.last() != tag.frame))
                    movie.stopFrames.append(tag.frame);
                break;
            default:
                break;
        }
    }
    return true;
}

}  // namespace

bool SwfReader::Read(const QByteArray& file, SwfMovie& movie, QString& error) {
    movie = SwfMovie();
    error.clear();
    const auto* p = reinterpret_cast<const uchar*>(file.constData());
    const qsizetype size = file.size();
    if (size < 3 || p[1] != 'W' || p[2] != 'S' || (p[0] != 'F' && p[0] != 'C' && p[0] != 'Z')) {
        error = kNotMovie;
        return false;
    }
    if (size < 8) {
        error = kCutShort;
        return false;
    }
    movie.compression = p[0] == 'F'   ? SwfMovie::None
                        : p[0] == 'C' ? SwfMovie::Zlib
                                      : SwfMovie::Lzma;
    movie.version = p[3];
    movie.fileLength = Le32(p + 4);
    // The smallest movie: the header, a frame size of 5 bits and the rate and count.
    if (movie.fileLength < 8 + 1 + 4) {
        error = kBadHeader;
        return false;
    }
    if (movie.fileLength > kMaxMovieBytes) {
        error = kTooLarge;
        return false;
    }
    const qsizetype want = qsizetype(movie.fileLength) - 8;
    QByteArray body;
    const char* failure = nullptr;
    switch (movie.compression) {
        case SwfMovie::None:
            if (size < qsizetype(movie.fileLength))
                failure = kCutShort;
            else
                body = file.mid(8, want);
            break;
        case SwfMovie::Zlib:
            failure = Inflate(p + 8, size - 8, want, body);
            break;
        case SwfMovie::Lzma: {
            // The compressed length, then the 5 bytes of LZMA properties.
            if (size < 17) {
                failure = kCutShort;
                break;
            }
            const qsizetype stated = Le32(p + 8);
            const qsizetype inSize = std::min(stated, size - 17);
            failure = Unlzma(p + 12, p + 17, inSize, want, body);
            break;
        }
    }
    if (failure) {
        error = failure;
        return false;
    }
    movie.data.reserve(qsizetype(movie.fileLength));
    movie.data.append(file.constData(), 8);
    movie.data.append(body);
    body = QByteArray();
    movie.data[0] = 'F';
    if (!ParseBody(movie, error)) {
        movie.tags.clear();
        return false;
    }
    return true;
}

bool SwfReader::ReadFile(const QString& path, SwfMovie& movie, QString& error) {
    // A pipe or a device under a movie's name would block the read: only plain files are movies.
    if (!QFileInfo(path).isFile()) {
        error = kNotMovie;
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = "The file cannot be read: " + f.errorString();
        return false;
    }
    if (!f.isSequential() && f.size() > qint64(kMaxMovieBytes)) {
        error = kTooLarge;
        return false;
    }
    const QByteArray file = f.read(qint64(kMaxMovieBytes) + 1);
    if (file.size() > qsizetype(kMaxMovieBytes)) {
        error = kTooLarge;
        return false;
    }
    return Read(file, movie, error);
}
