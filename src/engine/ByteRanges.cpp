#include "engine/ByteRanges.h"

#include <algorithm>

void ByteRanges::Add(int64_t from, int64_t to) {
    if (to <= from) return;
    // The first span that ends at or after from; every span from there that starts at or before
    // to merges with the new one.
    auto first = std::lower_bound(spans.begin(), spans.end(), from,
                                  [](const auto& s, int64_t v) { return s.second < v; });
    auto last = first;
    while (last != spans.end() && last->first <= to) {
        from = std::min(from, last->first);
        to = std::max(to, last->second);
        ++last;
    }
    first = spans.erase(first, last);
    spans.insert(first, {from, to});
}

bool ByteRanges::Covers(int64_t from, int64_t to) const {
    if (to <= from) return true;
    auto it = std::upper_bound(spans.begin(), spans.end(), from,
                               [](int64_t v, const auto& s) { return v < s.first; });
    if (it == spans.begin()) return false;
    --it;
    return it->first <= from && it->second >= to;
}

std::vector<std::pair<int64_t, int64_t>> ByteRanges::Gaps(int64_t from, int64_t to) const {
    std::vector<std::pair<int64_t, int64_t>> gaps;
    int64_t at = from;
    for (const auto& s : spans) {
        if (s.second <= at) continue;
        if (s.first >= to) break;
        if (s.first > at) gaps.push_back({at, s.first});
        at = std::max(at, s.second);
        if (at >= to) break;
    }
    if (at < to) gaps.push_back({at, to});
    return gaps;
}

int64_t ByteRanges::Size() const {
    int64_t n = 0;
    for (const auto& s : spans) n += s.second - s.first;
    return n;
}
