#include "player/SwfNames.h"

#include <QRegularExpression>
#include <QSet>

#include "player/SwfReader.h"

namespace {

enum Tag { DoAction = 12, DefineSprite = 39, DoInitAction = 59, DoAbc1 = 72, DoAbc = 82 };

struct Collector {
    QStringList names;
    QSet<QString> seen;
    void Add(const QByteArray& bytes) {
        if (names.size() >= SwfNames::kMaxNames) return;
        const QString text = QString::fromUtf8(bytes);
        if (!SwfNames::LoadableName(text) || seen.contains(text)) return;
        seen.insert(text);
        names << text;
    }
};

// A zero-ended string at p (inside end); advances p past it, or to end.
QByteArray CString(const uchar*& p, const uchar* end) {
    const uchar* start = p;
    while (p < end && *p) ++p;
    QByteArray s(reinterpret_cast<const char*>(start), p - start);
    if (p < end) ++p;
    return s;
}

void ReadActions(const uchar* p, const uchar* end, Collector& out) {
    while (p < end) {
        const uchar code = *p++;
        if (code == 0) break;
        if (code < 0x80) continue;
        if (end - p < 2) break;
        const int length = p[0] | (p[1] << 8);
        p += 2;
        if (end - p < length) break;
        const uchar* body = p;
        const uchar* bodyEnd = p + length;
        p = bodyEnd;
        if (code == 0x88) {  // ActionConstantPool
            if (length < 2) continue;
            int count = body[0] | (body[1] << 8);
            body += 2;
            while (count-- > 0 && body < bodyEnd) out.Add(CString(body, bodyEnd));
        } else if (code == 0x83) {  // ActionGetURL: address, target
            out.Add(CString(body, bodyEnd));
        } else if (code == 0x96) {  // ActionPush
            static const int sizes[] = {-1, 4, 0, 0, 1, 1, 8, 4, 1, 2};
            while (body < bodyEnd) {
                const uchar type = *body++;
                if (type == 0) {
                    out.Add(CString(body, bodyEnd));
                } else if (type < 10 && sizes[type] >= 0) {
                    body += sizes[type];
                } else {
                    break;
                }
            }
        }
    }
}

bool U30(const uchar*& p, const uchar* end, quint32& value) {
    value = 0;
    for (int i = 0; i < 5; ++i) {
        if (p >= end) return false;
        const uchar b = *p++;
        value |= quint32(b & 0x7f) << (7 * i);
        if (!(b & 0x80)) return true;
    }
    return true;
}

// The string constants of an ABC block: after the version, the int, uint and double pools.
void ReadAbc(const uchar* p, const uchar* end, Collector& out) {
    if (end - p < 4) return;
    p += 4;
    quint32 count = 0;
    for (int pool = 0; pool < 2; ++pool) {
        if (!U30(p, end, count)) return;
        for (quint32 i = 1; i < count; ++i) {
            quint32 ignored;
            if (!U30(p, end, ignored)) return;
        }
    }
    if (!U30(p, end, count)) return;
    if (count > 1 && (end - p) / 8 < qint64(count - 1)) return;
    if (count > 1) p += 8 * qint64(count - 1);
    if (!U30(p, end, count)) return;
    for (quint32 i = 1; i < count; ++i) {
        quint32 length = 0;
        if (!U30(p, end, length) || end - p < qint64(length)) return;
        out.Add(QByteArray(reinterpret_cast<const char*>(p), length));
        p += length;
    }
}

void ReadTags(const uchar* p, const uchar* end, Collector& out, int depth) {
    while (end - p >= 2) {
        const int head = p[0] | (p[1] << 8);
        p += 2;
        const int code = head >> 6;
        qint64 length = head & 0x3f;
        if (length == 0x3f) {
            if (end - p < 4) return;
            length =
                qint64(p[0]) | (qint64(p[1]) << 8) | (qint64(p[2]) << 16) | (qint64(p[3]) << 24);
            p += 4;
        }
        if (end - p < length) return;
        const uchar* d = p;
        const uchar* dEnd = p + length;
        p = dEnd;
        switch (code) {
            case DoAction:
                ReadActions(d, dEnd, out);
                break;
            case DoInitAction:
                if (length > 2) ReadActions(d + 2, dEnd, out);
                break;
            case DefineSprite:
                if (length > 4 && depth < 8) ReadTags(d + 4, dEnd, out, depth + 1);
                break;
            case DoAbc1:
                ReadAbc(d, dEnd, out);
                break;
            case DoAbc: {
                if (length < 4) break;
                const uchar* q = d + 4;
                CString(q, dEnd);  // the block's name
                ReadAbc(q, dEnd, out);
                break;
            }
            default:
                break;
        }
        if (code == 0) return;
    }
}

}  // namespace

bool SwfNames::LoadableName(const QString& text) {
    static const QRegularExpression name(
        QStringLiteral("^[^\\s\"'<>|*]+\\.(swf|xml|txt|jpe?g|png|gif|mp3|flv|json)([?#].*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (text.size() < 5 || text.size() > 2048) return false;
    // Another scheme than http and https ("mailto:", "javascript:", "file:", a drive letter) is
    // nothing to fetch.
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    const QRegularExpressionMatch m = scheme.match(text);
    if (m.hasMatch() && m.captured(1).compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 &&
        m.captured(1).compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return false;
    return name.match(text).hasMatch();
}

QStringList SwfNames::Find(const SwfMovie& movie) {
    Collector out;
    if (movie.tagsOffset <= 0 || movie.tagsOffset > movie.data.size()) return {};
    const auto* p = reinterpret_cast<const uchar*>(movie.data.constData());
    ReadTags(p + movie.tagsOffset, p + movie.data.size(), out, 0);
    return out.names;
}

QStringList SwfNames::FindInFile(const QString& path) {
    SwfMovie movie;
    QString error;
    if (!SwfReader::ReadFile(path, movie, error)) return {};
    return Find(movie);
}
