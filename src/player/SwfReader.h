#pragma once
// Reads SWF movies: "FWS" (plain), "CWS" (zlib) and "ZWS" (LZMA). Hostile input is expected:
// every length is checked against what is there, decompression stops at the length the header
// states, and nothing is read past the buffer. A file that is not a sound movie is refused with a
// reason a person can read.

#include <QByteArray>
#include <QString>

#include "player/SwfMovie.h"

class SwfReader {
public:
    // Movies larger than this (uncompressed) are refused rather than expanded in memory.
    static constexpr quint32 kMaxMovieBytes = 256u * 1024u * 1024u;

    // Parses a whole movie file. On failure returns false and sets `error`.
    static bool Read(const QByteArray& file, SwfMovie& movie, QString& error);
    // Reads the file at `path` (bounded by kMaxMovieBytes) and parses it.
    static bool ReadFile(const QString& path, SwfMovie& movie, QString& error);
};
