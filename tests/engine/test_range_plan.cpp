// The range planner: ranges in, ranges out, for freeing finished records and moving the far part
// of a range to a free connection. Every case also checks that the records never claim a byte
// twice and never claim more than they did before.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/RangePlan.h"

namespace {

constexpr int64_t K = 1024;
constexpr int64_t M = 1024 * 1024;

struct Rec {
    int64_t s, c, e;
};

RangePlan::Segments Make(const std::vector<Rec>& recs) {
    RangePlan::Segments seg{};
    for (size_t i = 0; i < recs.size(); ++i)
        seg[i + 1] = {static_cast<int32_t>(recs[i].s), static_cast<int32_t>(recs[i].c),
                      static_cast<int32_t>(recs[i].e)};
    return seg;
}

std::string Show(const RangePlan::Segments& seg) {
    std::string out;
    // Appended piece by piece: GCC 12 warns (-Wrestrict) about a chain of "literal" + string.
    for (int i = 1; i <= kMaxParts; ++i) {
        out += '{';
        out += std::to_string(seg[i].StartPos);
        out += ',';
        out += std::to_string(seg[i].CurPos);
        out += ',';
        out += std::to_string(seg[i].EndPos);
        out += '}';
    }
    return out;
}

// The claimed stretches are disjoint, and each byte claimed after was claimed before.
void CheckClaims(RangePlan::Segments before, RangePlan::Segments after, int parts, int64_t size) {
    int64_t sum = 0;
    RangePlan planAfter(after, parts, size);
    for (int i = 1; i <= parts; ++i)
        if (planAfter.InUse(i))
            sum += std::max<int64_t>(
                0, std::min<int64_t>({after[i].CurPos, after[i].EndPos, size}) - after[i].StartPos);
    const ByteRanges now = planAfter.Stored();
    EXPECT_EQ(sum, now.Size()) << "claims overlap: " << Show(after);
    const ByteRanges was = RangePlan(before, parts, size).Stored();
    EXPECT_TRUE(was.Size() >= now.Size());
    for (int i = 1; i <= parts; ++i)
        if (planAfter.InUse(i)) {
            const int64_t to = std::min<int64_t>({after[i].CurPos, after[i].EndPos, size});
            if (to > after[i].StartPos) {
                EXPECT_TRUE(was.Covers(after[i].StartPos, to)) << Show(after);
            }
        }
}

}  // namespace

TEST(RangePlan, FinishedRecordsAreFreedIntoTheirNeighbours) {
    struct Case {
        const char* name;
        std::vector<Rec> in;
        std::vector<bool> busy;  // records 1..n
        std::vector<Rec> out;
    };
    const int64_t size = 40 * M;
    const std::vector<Case> cases = {
        {"a finished middle range joins the front of the next",
         {{0, 5 * M, 10 * M},
          {10 * M, 20 * M + 1, 20 * M},
          {20 * M, 25 * M, 30 * M},
          {30 * M, 35 * M, size}},
         {true, false, true, true},
         {{0, 5 * M, 10 * M}, {0, 0, 0}, {10 * M, 25 * M, 30 * M}, {30 * M, 35 * M, size}}},
        {"two finished ranges at the end become one",
         {{0, 5 * M, 10 * M}, {10 * M, 20 * M + 1, 20 * M}, {20 * M, size, size}},
         {true, false, false},
         {{0, 5 * M, 10 * M}, {0, 0, 0}, {10 * M, size, size}}},
        {"the finished last range joins a finished range before it whose own follower is busy",
         {{0, 5 * M, 10 * M}, {30 * M, size, size}, {10 * M, 30 * M + 1, 30 * M}},
         {true, false, true},
         {{0, 5 * M, 10 * M}, {30 * M, size, size}, {10 * M, 30 * M + 1, 30 * M}}},
        {"a finished range whose follower is busy keeps the last one",
         {{0, 5 * M, 10 * M}, {30 * M, size, size}, {10 * M, 30 * M + 1, 30 * M}},
         {true, false, false},
         {{0, 5 * M, 10 * M}, {0, 0, 0}, {10 * M, size, size}}},
        {"the finished last range stays while the range before it owes bytes",
         {{0, 5 * M, 10 * M}, {10 * M, 12 * M, 20 * M}, {20 * M, size, size}},
         {true, true, false},
         {{0, 5 * M, 10 * M}, {10 * M, 12 * M, 20 * M}, {20 * M, size, size}}},
        {"range 1 is never freed; the range after it joins it when finished",
         {{0, 10 * M + 1, 10 * M}, {10 * M, 20 * M + 1, 20 * M}, {20 * M, 25 * M, size}},
         {false, false, true},
         {{0, 20 * M + 1, 20 * M}, {0, 0, 0}, {20 * M, 25 * M, size}}},
        {"a finished record whose connection is still open stays",
         {{0, 5 * M, 10 * M}, {10 * M, 20 * M + 1, 20 * M}, {20 * M, 25 * M, size}},
         {true, true, true},
         {{0, 5 * M, 10 * M}, {10 * M, 20 * M + 1, 20 * M}, {20 * M, 25 * M, size}}},
        {"a chain of finished ranges frees all but the first",
         {{0, 10 * M + 1, 10 * M},
          {10 * M, 20 * M + 1, 20 * M},
          {20 * M, 30 * M + 1, 30 * M},
          {30 * M, size, size}},
         {false, false, false, false},
         {{0, size, size}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int parts = static_cast<int>(c.in.size());
        RangePlan::Segments seg = Make(c.in);
        RangePlan::Segments before = seg;
        std::array<bool, kMaxParts + 1> busy{};
        for (size_t i = 0; i < c.busy.size(); ++i) busy[i + 1] = c.busy[i];
        RangePlan(seg, parts, size).ReleaseFinished(busy);
        EXPECT_EQ(Show(seg), Show(Make(c.out)));
        CheckClaims(before, seg, parts, size);
        EXPECT_EQ(RangePlan(seg, parts, size).Stored().Size(),
                  RangePlan(before, parts, size).Stored().Size())
            << "freeing must not forget a stored byte";
    }
}

TEST(RangePlan, AFreeConnectionTakesTheFarPartOfTheRangeThatEndsLast) {
    struct Case {
        const char* name;
        std::vector<Rec> in;
        std::vector<double> speeds;  // 0: connection closed (not busy); -1: open, speed unknown
        int free;
        bool moves;
        int victim;
        int64_t from;  // expected start of the moved piece
    };
    const int64_t size = 64 * M;
    const std::vector<Case> cases = {
        {"equal speeds: the largest range is halved",
         {{0, 2 * M, 8 * M}, {8 * M, 8 * M, 8 * M}, {16 * M, 20 * M, size}},
         {4 * M, 0, 4 * M},
         2,
         true,
         3,
         20 * M + 22 * M},
        {"unknown speeds: the largest range is halved",
         {{0, 2 * M, 8 * M}, {8 * M, 8 * M, 8 * M}, {16 * M, 20 * M, size}},
         {-1, 0, -1},
         2,
         true,
         3,
         42 * M},
        {"a slow connection keeps only what it fetches while the new one fetches the rest",
         {{0, 1 * M, 32 * M}, {32 * M, 60 * M, size}, {0, 0, 0}},
         {256 * K, 4 * M, 0},
         3,
         true,
         1,
         1 * M + 31 * M * 256 / (256 + 4096)},
        {"the slow one is chosen although another range is larger",
         {{0, 10 * M, 12 * M}, {12 * M, 13 * M, 48 * M}, {48 * M, 50 * M, size}},
         {64 * K, 4 * M, 0},
         3,
         true,
         1,
         10 * M + 2 * M * 64 / (64 + 4096)},
        {"a piece below the minimum is not moved from a range as fast as the others",
         {{0, 60 * M, 60 * M + 900 * K}, {60 * M + 900 * K, size - 100, size}, {0, 0, 0}},
         {4 * M, 4 * M, 0},
         3,
         false,
         0,
         0},
        {"a slow range gives up even a small far part",
         {{0, 60 * M, 60 * M + 600 * K}, {60 * M + 600 * K, size - 100, size}, {0, 0, 0}},
         {128 * K, 4 * M, 0},
         3,
         true,
         1,
         60 * M + 600 * K * 128 / (128 + 4096)},
        {"no free record, nothing moves",
         {{0, 2 * M, 8 * M}, {8 * M, 9 * M, 16 * M}, {16 * M, 20 * M, size}},
         {4 * M, 4 * M, 4 * M},
         0,
         false,
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int parts = static_cast<int>(c.in.size());
        RangePlan::Segments seg = Make(c.in);
        if (c.free != 0) seg[c.free] = SegmentRecord{};
        const RangePlan::Segments before = seg;
        std::array<bool, kMaxParts + 1> busy{};
        std::array<double, kMaxParts + 1> speeds{};
        for (size_t i = 0; i < c.speeds.size(); ++i) {
            busy[i + 1] = c.speeds[i] != 0;
            speeds[i + 1] = std::max(0.0, c.speeds[i]);
        }
        RangePlan plan(seg, parts, size);
        const auto move = plan.ChooseSteal(c.free, busy, speeds);
        ASSERT_EQ(move.has_value(), c.moves);
        if (!move) continue;
        EXPECT_EQ(move->Victim, c.victim);
        EXPECT_NEAR(static_cast<double>(move->From), static_cast<double>(c.from), 2.0);
        const int32_t oldEnd = seg[move->Victim].EndPos;
        plan.Apply(*move);
        EXPECT_EQ(seg[move->Victim].EndPos, move->From);
        EXPECT_EQ(seg[c.free].StartPos, move->From);
        EXPECT_EQ(seg[c.free].EndPos, oldEnd);
        EXPECT_GT(move->From, before[move->Victim].CurPos);
        CheckClaims(before, seg, parts, size);
    }
}
