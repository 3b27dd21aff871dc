// The movie reader, and the frame rewriter on what it read: every tag lies within the movie, and
// the rewritten copy read back is a valid movie with the frames left; the names of the files it
// loads are bounded and each a loadable name.

#include <algorithm>

#include "fuzz/FuzzSupport.h"
#include "player/SwfNames.h"
#include "player/SwfReader.h"
#include "player/SwfRewriter.h"

QV_FUZZ_ENTRY(swf) {
    Fuzz::Input in(data, size);
    const int frame = in.Byte();
    const QByteArray file = in.Rest();
    SwfMovie movie;
    QString error;
    if (!SwfReader::Read(file, movie, error)) {
        QV_FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    QV_FUZZ_CHECK(movie.tagsOffset <= movie.data.size());
    for (const SwfTag& tag : movie.tags) {
        QV_FUZZ_CHECK(tag.offset >= movie.tagsOffset && tag.offset < tag.dataOffset + 1);
        QV_FUZZ_CHECK(tag.length >= 0 && tag.dataOffset + tag.length <= movie.data.size());
        QV_FUZZ_CHECK(tag.frame >= 1);
    }
    const QStringList names = SwfNames::Find(movie);
    QV_FUZZ_CHECK(names.size() <= SwfNames::kMaxNames);
    for (const QString& name : names) QV_FUZZ_CHECK(SwfNames::LoadableName(name));
    const QByteArray copy = SwfRewriter::FoldFramesBefore(movie, frame);
    SwfMovie again;
    QString againError;
    QV_FUZZ_CHECK(SwfReader::Read(copy, again, againError));
    QV_FUZZ_CHECK(again.compression == SwfMovie::None);
    QV_FUZZ_CHECK(again.frameCount <= std::max(movie.frameCount, 1));
    return 0;
}
