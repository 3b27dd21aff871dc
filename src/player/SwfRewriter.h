#pragma once
// Writes copies of a parsed movie. The player seeks by loading a copy whose first frame is the
// frame asked for: the tags of the frames before it are played into that first frame at once.

#include <QByteArray>

#include "player/SwfMovie.h"

class SwfRewriter {
public:
    // An uncompressed ("FWS") copy in which frames 1 .. n-1 are folded into frame n: their tags
    // stay, in order, except ShowFrame, sound stream blocks and frame actions, so the display
    // list at the copy's first frame is the one of frame n. The header counts the frames left.
    // n is clamped to 1 .. the movie's frame count; n = 1 gives the movie as it is.
    static QByteArray FoldFramesBefore(const SwfMovie& movie, int n);
};
