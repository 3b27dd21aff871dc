#pragma once
// The byte ranges of a job's file and how they are laid out, merged and moved between
// connections. Pure rules on the segment records, without sockets or files, so that every
// layout can be checked on its own.
//
// Record i (1..Parts) is in use when i is 1 or its StartPos is not 0. It says that the bytes
// [StartPos, min(CurPos, EndPos, file size)) are on disk, and its connection asks for the bytes
// from CurPos on and stops once CurPos has passed EndPos (ranges laid out next to each other
// share their boundary byte: EndPos of one is StartPos of the next). The records in use never
// claim a byte twice.

#include <array>
#include <cstdint>
#include <optional>

#include "engine/ByteRanges.h"
#include "store/JobRecord.h"

class RangePlan {
public:
    using Segments = std::array<SegmentRecord, kMaxParts + 1>;

    // A piece moved to a free connection is never smaller than this, unless it is taken from a
    // connection so slow that it would still need more than kSlowSeconds for its range.
    static constexpr int64_t kMinPiece = 512 * 1024;
    static constexpr int64_t kMinSlowPiece = 64 * 1024;
    static constexpr double kSlowSeconds = 1.0;

    RangePlan(Segments& segments, int parts, int64_t fileSize);

    bool InUse(int i) const;
    // Record i still owes bytes of the file.
    bool Owes(int i) const;
    // Record i is in use and every byte it covers is on disk.
    bool Done(int i) const;
    // The bytes the records in use say are on disk.
    ByteRanges Stored() const;

    // The number of bytes the records in use say are on disk, common bytes of overlapping
    // records (a widened record 1) once.
    int64_t Held() const;

    // A new file of a known size: record 1 and records 2..Parts (at least 2) share it evenly.
    // With more than two, record 1 goes on to the end until the range test has answered.
    void LayOutNew();

    // The first record from `from` on that record 1 has overtaken and takes over: record 1's
    // position has passed the record's (the boundary byte of a record that starts where record 1
    // ends is no overtaking), and when record 1's connection no longer runs (conn1Runs false)
    // record 1 must hold the whole record already. 0 when there is none.
    int Overtaken(int from, bool conn1Runs) const;

    // For going on with a file on disk: the records are laid out again so that each is a
    // stretch of stored bytes followed by a stretch still to fetch and together they cover the
    // file, at most Parts of them; spare records share the largest stretches still to fetch
    // (none below minSplit).
    void LayOut(int64_t minSplit);

    // Finished records that no connection works on give their bytes to a neighbour and become
    // free: a record's stored stretch is joined to the front of the range that follows it, or a
    // finished range is appended to the finished range before it. busy[i] marks records whose
    // connection is open or about to be. Record 1 is never freed.
    void ReleaseFinished(const std::array<bool, kMaxParts + 1>& busy);

    // A record that is neither in use nor busy, 0 when there is none.
    int FreeRecord(const std::array<bool, kMaxParts + 1>& busy) const;

    // Moving the far part [From, To) of record Victim's range to record Record.
    struct Move {
        int Victim = 0;
        int Record = 0;
        int64_t From = 0;
        int64_t To = 0;
    };
    // What a free connection on record freeRecord takes over: the range whose connection would
    // end last gives up the part a new connection fetches by the time it finishes its own part
    // (speeds in bytes per second; 0 where not yet known: the others' average is used, or half
    // of the range when nothing is known). Only records whose connection runs (busy) are split.
    // freshSpeed: what a new connection is expected to make when no other running connection
    // tells (the speed of the connections that have finished), 0 when not known.
    std::optional<Move> ChooseSteal(int freeRecord, const std::array<bool, kMaxParts + 1>& busy,
                                    const std::array<double, kMaxParts + 1>& speeds,
                                    double freshSpeed = 0) const;
    // Applies a move: the victim's range ends at From, the record covers [From, To).
    void Apply(const Move& move);

private:
    int64_t EndOf(int i) const;  // min(EndPos, file size)
    Segments& seg;
    int parts;
    int64_t size;
};
