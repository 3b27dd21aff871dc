#include "manager/BlockLayout.h"

#include <algorithm>
#include <cmath>

BlockLayout::BlockLayout(int64_t size, QSize pane) : fileSize(std::max<int64_t>(size, 0)) {
    const int usableW = std::max(pane.width() - 2 * kMargin, kMinTile + kGap);
    const int usableH = std::max(pane.height() - 2 * kMargin, kMinTile + kGap);
    if (fileSize == 0) {
        width = pane.width();
        height = pane.height();
        return;
    }
    // Largest tile first: shrink the tiles until the whole file fits the pane with blocks of at
    // least kMinBlockBytes, or until the smallest tile is reached.
    const int64_t wantedTiles =
        std::max<int64_t>(1, (fileSize + kMinBlockBytes - 1) / kMinBlockBytes);
    for (tile = kMaxTile; tile > kMinTile; --tile) {
        const int pitch = tile + kGap;
        const int64_t capacity = static_cast<int64_t>(std::max(1, (usableW + kGap) / pitch)) *
                                 std::max(1, (usableH + kGap) / pitch);
        if (capacity >= std::min<int64_t>(wantedTiles, 1500)) break;
    }
    const int pitch = tile + kGap;
    columns = std::max(1, (usableW + kGap) / pitch);
    const int visibleRows = std::max(1, (usableH + kGap) / pitch);
    int64_t capacity = static_cast<int64_t>(columns) * visibleRows;
    capacity = std::max<int64_t>(capacity, std::min<int64_t>(kMinTiles, wantedTiles));
    // Block size: the file over the tiles that fit, rounded up to whole KiB.
    blockBytes = (fileSize + capacity - 1) / capacity;
    blockBytes = std::max<int64_t>(kMinBlockBytes, (blockBytes + 1023) / 1024 * 1024);
    tiles = static_cast<int>((fileSize + blockBytes - 1) / blockBytes);
    columns = std::min(columns, tiles);
    rows = (tiles + columns - 1) / columns;
    width = 2 * kMargin + columns * pitch - kGap;
    height = 2 * kMargin + rows * pitch - kGap;
}

QRect BlockLayout::TileRect(int t) const {
    if (columns <= 0) return {};
    const int pitch = tile + kGap;
    return {kMargin + (t % columns) * pitch, kMargin + (t / columns) * pitch, tile, tile};
}

int BlockLayout::TileOf(int64_t pos) const {
    if (tiles <= 0) return 0;
    if (pos <= 0) return 0;
    return static_cast<int>(std::min<int64_t>(pos / blockBytes, tiles - 1));
}

int64_t BlockLayout::TileEnd(int t) const {
    return std::min<int64_t>(static_cast<int64_t>(t + 1) * blockBytes, fileSize);
}

TileFill FillOfBytes(const JobRecord& job, int64_t first, int64_t last) {
    TileFill fill;
    if (last <= first) return fill;
    int64_t best = 0;
    int64_t covered = 0;
    const int parts = std::clamp<int>(job.Parts, 1, kMaxParts);
    for (int k = 1; k <= parts; ++k) {
        const SegmentRecord& s = job.Segments[static_cast<size_t>(k)];
        if (k > 1 && s.StartPos == 0) continue;  // range not in use (or cancelled)
        const int64_t from = std::max<int64_t>(s.StartPos, first);
        const int64_t to = std::min<int64_t>(s.CurPos, last);
        if (to <= from) continue;
        covered += to - from;
        if (to - from > best) {
            best = to - from;
            fill.part = k;
        }
    }
    fill.share = std::min(1.0, static_cast<double>(covered) / static_cast<double>(last - first));
    // The range the block's first byte belongs to; a later range wins where connection 1 still
    // reaches over it while the ranges are being laid out.
    for (int k = parts; k >= 1; --k) {
        const SegmentRecord& s = job.Segments[static_cast<size_t>(k)];
        if (k > 1 && s.StartPos == 0) continue;
        const int64_t end = k == 1 && s.EndPos == 0 ? job.FileSize : s.EndPos;
        if (first >= s.StartPos && first < std::max<int64_t>(end, s.StartPos + 1)) {
            fill.range = k;
            break;
        }
    }
    return fill;
}
