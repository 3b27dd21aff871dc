#pragma once
// The geometry of the block picture: the file is cut into equal blocks of bytes, one tile per
// block, laid out in rows across the pane. Each tile shows how much of its block has arrived and
// which connection brought it. Pure arithmetic, so it runs without a display.

#include <QRect>
#include <QSize>
#include <cstdint>

#include "store/JobRecord.h"

class BlockLayout {
public:
    // Tile edge limits in pixels; the gap between tiles is part of the pitch.
    static constexpr int kMaxTile = 16;
    static constexpr int kMinTile = 9;
    static constexpr int kGap = 2;
    static constexpr int kMargin = 6;
    // Never fewer than this many tiles for a large file, even in a tiny pane (it then scrolls).
    static constexpr int kMinTiles = 64;
    static constexpr int64_t kMinBlockBytes = 1024;

    BlockLayout() = default;
    // Lays out a file of fileSize bytes in a pane of the given size.
    BlockLayout(int64_t fileSize, QSize pane);

    int64_t FileSize() const { return fileSize; }
    int64_t BlockBytes() const { return blockBytes; }
    int Tiles() const { return tiles; }
    int Columns() const { return columns; }
    int Rows() const { return rows; }
    int Tile() const { return tile; }
    int Pitch() const { return tile + kGap; }
    // Height of the whole picture; more than the pane's height when it must scroll.
    int Height() const { return height; }
    int Width() const { return width; }

    // The pixel rectangle of tile t (0-based), in picture coordinates.
    QRect TileRect(int t) const;
    // The tile holding byte offset pos (clamped into 0..Tiles()-1).
    int TileOf(int64_t pos) const;
    // The bytes of tile t: [first, last).
    int64_t TileStart(int t) const { return static_cast<int64_t>(t) * blockBytes; }
    int64_t TileEnd(int t) const;

private:
    int64_t fileSize = 0;
    int64_t blockBytes = 0;
    int tiles = 0;
    int columns = 0;
    int rows = 0;
    int tile = kMaxTile;
    int width = 0;
    int height = 0;
};

// What a tile shows: the share of its bytes that has arrived (0..1), the connection that
// brought most of them (0 when none), and the connection whose range the block lies in (0 when
// none), which tints the tile while it waits.
struct TileFill {
    double share = 0;
    int part = 0;
    int range = 0;
    bool operator==(const TileFill&) const = default;
};

// The received ranges of a job: connection 1 from its start, and every later range in use, up to
// where it has written (a range that ran past its end shows what it wrote).
TileFill FillOfBytes(const JobRecord& job, int64_t first, int64_t last);
