#include "engine/RangePlan.h"

#include <algorithm>
#include <limits>
#include <vector>

RangePlan::RangePlan(Segments& segments, int parts, int64_t fileSize)
    : seg(segments), parts(std::clamp(parts, 1, kMaxParts)), size(fileSize) {}

bool RangePlan::InUse(int i) const {
    return i == 1 || (i >= 2 && i <= kMaxParts && seg[i].StartPos != 0);
}

bool RangePlan::Owes(int i) const {
    if (!InUse(i)) return false;
    return seg[i].CurPos <= seg[i].EndPos && seg[i].CurPos < size;
}

bool RangePlan::Done(int i) const {
    return InUse(i) && !Owes(i);
}

int64_t RangePlan::EndOf(int i) const {
    return std::min<int64_t>(seg[i].EndPos, size);
}

ByteRanges RangePlan::Stored() const {
    ByteRanges have;
    for (int i = 1; i <= parts; ++i)
        if (InUse(i)) have.Add(seg[i].StartPos, std::min<int64_t>(seg[i].CurPos, EndOf(i)));
    return have;
}

int64_t RangePlan::Held() const {
    std::array<std::pair<int64_t, int64_t>, kMaxParts> spans;
    int n = 0;
    for (int i = 1; i <= parts; ++i) {
        if (!InUse(i)) continue;
        const int64_t from = seg[i].StartPos;
        const int64_t to = std::min<int64_t>(seg[i].CurPos, seg[i].EndPos);
        if (to > from) spans[n++] = {from, to};
    }
    std::sort(spans.begin(), spans.begin() + n);
    int64_t total = 0;
    int64_t reach = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t from = std::max(spans[i].first, reach);
        if (spans[i].second > from) total += spans[i].second - from;
        reach = std::max(reach, spans[i].second);
    }
    return total;
}

void RangePlan::LayOutNew() {
    const int n = std::max(parts, 2);
    const auto total = static_cast<int32_t>(size);
    const int32_t s = total / n;
    seg[1].EndPos = s;
    if (n == 2) {
        seg[2] = {s, s, total};
        return;
    }
    for (int i = 2; i <= n - 1; ++i) {
        const int32_t start = seg[i - 1].EndPos;
        seg[i] = {start, start, start + s};
    }
    const int32_t start = seg[n - 1].EndPos;
    seg[n] = {start, start, total};
    seg[1].EndPos = total;
}

int RangePlan::Overtaken(int from, bool conn1Runs) const {
    const int32_t cur1 = seg[1].CurPos;
    for (int i = std::max(from, 2); i <= parts; ++i) {
        const SegmentRecord& s = seg[i];
        if (!InUse(i) || s.CurPos == 0 || !(cur1 > s.CurPos)) continue;
        // Range 1 ends there, the other range goes on (a range just moved to a free connection
        // has not received anything yet).
        if (s.CurPos == seg[1].EndPos && cur1 == s.CurPos + 1) continue;
        // Otherwise the range's remaining bytes would be lost.
        if (!conn1Runs && cur1 <= s.EndPos) continue;
        return i;
    }
    return 0;
}

void RangePlan::LayOut(int64_t minSplit) {
    const auto gaps = Stored().Gaps(0, size);
    if (gaps.empty()) return;
    struct Piece {
        int64_t start, cur, end;
    };
    std::vector<Piece> out;
    int64_t start = 0;
    for (const auto& g : gaps) {
        out.push_back({start, g.first, g.second});
        start = g.second;
    }
    if (start < size) {
        if (static_cast<int>(out.size()) < parts)
            out.push_back({start, size, size});
        else
            out.back().end = size;
    }
    // More pieces than connections: join neighbours where the fewest bytes are fetched twice.
    while (static_cast<int>(out.size()) > parts) {
        size_t best = 1;
        int64_t cost = std::numeric_limits<int64_t>::max();
        for (size_t i = 1; i < out.size(); ++i)
            if (out[i].cur - out[i].start < cost) {
                cost = out[i].cur - out[i].start;
                best = i;
            }
        out[best - 1].end = out[best].end;
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(best));
    }
    // Spare connections share the largest stretches still to fetch.
    while (static_cast<int>(out.size()) < parts) {
        size_t best = 0;
        int64_t owed = 0;
        for (size_t i = 0; i < out.size(); ++i)
            if (out[i].end - out[i].cur > owed) {
                owed = out[i].end - out[i].cur;
                best = i;
            }
        if (owed <= minSplit) break;
        const int64_t mid = out[best].cur + owed / 2;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(best) + 1,
                   Piece{mid, mid, out[best].end});
        out[best].end = mid;
    }
    for (int i = 1; i <= kMaxParts; ++i) seg[i] = SegmentRecord{};
    for (size_t i = 0; i < out.size(); ++i)
        seg[i + 1] = {static_cast<int32_t>(out[i].start), static_cast<int32_t>(out[i].cur),
                      static_cast<int32_t>(out[i].end)};
}

void RangePlan::ReleaseFinished(const std::array<bool, kMaxParts + 1>& busy) {
    bool changed = true;
    while (changed) {
        changed = false;
        for (int i = 2; i <= parts && !changed; ++i) {
            if (busy[i] || !Done(i)) continue;
            const int64_t from = seg[i].StartPos;
            const int64_t end = EndOf(i);
            for (int j = 1; j <= parts && !changed; ++j) {
                if (j == i || !InUse(j)) continue;
                if (end < size && seg[j].StartPos == end) {
                    // The range that follows starts with these bytes now.
                    seg[j].StartPos = static_cast<int32_t>(from);
                    changed = true;
                } else if (!busy[j] && Done(j) && EndOf(j) == from && seg[j].StartPos < from) {
                    // A finished range just before takes this one in.
                    seg[j].EndPos = seg[i].EndPos;
                    seg[j].CurPos = std::max(seg[j].CurPos, seg[i].CurPos);
                    changed = true;
                }
            }
            if (changed) seg[i] = SegmentRecord{};
        }
    }
}

int RangePlan::FreeRecord(const std::array<bool, kMaxParts + 1>& busy) const {
    for (int i = 2; i <= parts; ++i)
        if (!InUse(i) && !busy[i]) return i;
    return 0;
}

std::optional<RangePlan::Move> RangePlan::ChooseSteal(
    int freeRecord, const std::array<bool, kMaxParts + 1>& busy,
    const std::array<double, kMaxParts + 1>& speeds, double freshSpeed) const {
    if (freeRecord < 2 || freeRecord > parts || InUse(freeRecord) || size <= 0) return {};
    // The connection that would end last.
    int victim = 0;
    double latest = -1;
    for (int i = 1; i <= parts; ++i) {
        if (i == freeRecord || !busy[i] || !Owes(i)) continue;
        const int64_t left = EndOf(i) - seg[i].CurPos;
        double others = 0;
        int known = 0;
        for (int j = 1; j <= parts; ++j)
            if (j != i && busy[j] && speeds[j] > 0) {
                others += speeds[j];
                ++known;
            }
        const double speed = speeds[i] > 0 ? speeds[i] : (known ? others / known : 0);
        const double when = speed > 0 ? left / speed : static_cast<double>(left);
        if (when > latest) {
            latest = when;
            victim = i;
        }
    }
    if (victim == 0) return {};
    const int64_t cur = seg[victim].CurPos;
    const int64_t left = EndOf(victim) - cur;
    double others = 0;
    int known = 0;
    for (int j = 1; j <= parts; ++j)
        if (j != victim && busy[j] && speeds[j] > 0) {
            others += speeds[j];
            ++known;
        }
    const double mine = speeds[victim];
    const double fresh = known ? others / known : (freshSpeed > 0 ? freshSpeed : mine);
    // Split so that both end together: the victim keeps what it fetches meanwhile.
    int64_t keep = left / 2;
    if (mine > 0 && fresh > 0) keep = static_cast<int64_t>(left * (mine / (mine + fresh)));
    keep = std::clamp<int64_t>(keep, 1, left - 1);
    const int64_t piece = left - keep;
    const bool slow = mine > 0 && fresh > 2 * mine && left / mine > kSlowSeconds;
    if (piece < (slow ? kMinSlowPiece : kMinPiece)) return {};
    return Move{victim, freeRecord, cur + keep, seg[victim].EndPos};
}

void RangePlan::Apply(const Move& move) {
    seg[move.Record] = {static_cast<int32_t>(move.From), static_cast<int32_t>(move.From),
                        static_cast<int32_t>(move.To)};
    seg[move.Victim].EndPos = static_cast<int32_t>(move.From);
}
