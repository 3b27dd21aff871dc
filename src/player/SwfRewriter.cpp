#include "player/SwfRewriter.h"

#include <algorithm>

namespace {
constexpr int kTagShowFrame = 1;
constexpr int kTagDoAction = 12;
constexpr int kTagSoundStreamBlock = 19;

void PutLe16(QByteArray& b, qsizetype at, quint16 v) {
    b[at] = char(v & 0xff);
    b[at + 1] = char(v >> 8);
}
void PutLe32(QByteArray& b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xff);
}
}  // namespace

QByteArray SwfRewriter::FoldFramesBefore(const SwfMovie& movie, int n) {
    if (movie.data.size() < movie.tagsOffset || movie.tagsOffset < 12) return QByteArray();
    n = std::clamp(n, 1, std::max(1, movie.frameCount));
    QByteArray out;
    out.reserve(movie.data.size());
    // Header, frame size, rate and count as they are; the count and length are set below.
    out.append(movie.data.constData(), movie.tagsOffset);
    out[0] = 'F';
    for (const SwfTag& tag : movie.tags) {
        if (tag.frame < n && (tag.code == kTagShowFrame || tag.code == kTagSoundStreamBlock ||
                              tag.code == kTagDoAction))
            continue;
        out.append(movie.data.constData() + tag.offset, tag.dataOffset + tag.length - tag.offset);
    }
    PutLe16(out, movie.tagsOffset - 2, quint16(std::max(1, movie.frameCount - (n - 1))));
    PutLe32(out, 4, quint32(out.size()));
    return out;
}
