#pragma once
// What the SWF reader learns of one movie: its header, its top-level tags and the whole movie
// uncompressed, so that copies of it can be written.

#include <QByteArray>
#include <QList>
#include <QString>

// One top-level tag: where its record header starts in `data`, where its contents start and how
// long they are. `frame` is the 1-based frame of the main timeline the tag belongs to.
struct SwfTag {
    int code = 0;
    qsizetype offset = 0;
    qsizetype dataOffset = 0;
    qsizetype length = 0;
    int frame = 1;
};

struct SwfMovie {
    enum Compression { None, Zlib, Lzma };

    Compression compression = None;
    int version = 0;
    quint32 fileLength = 0;  // as the header states: the uncompressed length, header included
    // The frame size in twips.
    qint32 xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    double frameRate = 0;  // frames per second (8.8 fixed point in the file)
    int frameCount = 0;    // the header's count: the movie's total frames
    int shownFrames = 0;   // ShowFrame tags found on the main timeline
    bool hasBackground = false;
    quint32 background = 0;  // 0xRRGGBB of SetBackgroundColor
    // The movie moves its own timeline by script (ActionScript 3, or frame actions that jump),
    // so its frame position is not a picture of what it shows.
    bool scriptDriven = false;
    // Main-timeline frames whose actions stop the timeline (ascending). Without one at or after
    // the frame playing, the timeline goes on to its last frame and starts again at frame 1.
    QList<int> stopFrames;
    qsizetype tagsOffset = 0;  // the first tag's offset in `data`
    QList<SwfTag> tags;        // up to and including the End tag when there is one
    QByteArray data;           // the uncompressed movie: "FWS"-style header, then the body

    int WidthPixels() const { return (xMax - xMin) / 20; }
    int HeightPixels() const { return (yMax - yMin) / 20; }
};
