#pragma once
// A set of byte offsets kept as sorted, disjoint half-open intervals [from, to).

#include <cstdint>
#include <utility>
#include <vector>

class ByteRanges {
public:
    void Clear() { spans.clear(); }
    // Adds [from, to); nothing when to <= from.
    void Add(int64_t from, int64_t to);
    // True when every offset of [from, to) is in the set.
    bool Covers(int64_t from, int64_t to) const;
    // The parts of [from, to) that are not in the set, in order.
    std::vector<std::pair<int64_t, int64_t>> Gaps(int64_t from, int64_t to) const;
    // The number of offsets in the set.
    int64_t Size() const;

private:
    std::vector<std::pair<int64_t, int64_t>> spans;
};
