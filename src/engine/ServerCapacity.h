#pragma once
// How many connections the server takes in one run. A server that turns a connection away
// (503, 429, a refused connection) while others work is worked with the connections it took:
// the count is lowered, told once in the log when every connection has had its answer, and
// raised again after the server's Retry-After. The ranges of refused connections wait for a
// free connection.

#include <QElapsedTimer>
#include <QString>
#include <array>

#include "store/JobRecord.h"

class ServerCapacity {
public:
    // A new run: no limit known.
    void Reset();
    int Cap() const { return cap; }
    // Connection k was turned away; active: the connections still open. Its range now waits.
    // Once the count is known, a refusal below it is first taken for a place the server has not
    // freed yet (it learns of a connection we closed only at its next write); only repeated
    // refusals lower the count. A connection tried beyond it after Lift is the server's answer
    // at once: it is not asked again before its next Retry-After.
    void Refused(int k, int active);
    // A connection was taken: the refusals before it were passing ones.
    void Accepted() { strikes = 0; }
    // A connection was closed before the end of its answer.
    void ClosedEarly() { closedEarlyAt.start(); }
    // False for a short while after a refusal: a new connection then would be turned away too.
    bool MayTry() const { return !refusedAt.isValid() || refusedAt.elapsed() >= kPauseMs; }
    int PauseLeftMs() const { return MayTry() ? 0 : int(kPauseMs - refusedAt.elapsed()); }
    // After the delay the server asked for: the limit is tried again.
    void Lift() { cap = kMaxParts; }
    // Once every open connection has answered: true the first time in a run, with the count
    // (taken as the new limit); the log line to write goes to *line.
    bool TellOnce(bool allAnswered, int active, QString* line);
    bool Waits(int k) const { return waiting[k]; }
    void SetWaits(int k, bool on) { waiting[k] = on; }

    // The seconds a Retry-After value asks to wait (a number of seconds, or an HTTP date from
    // now), -1 when it says nothing usable; at most an hour.
    static int RetryAfterSeconds(const QString& value);

private:
    static constexpr int kStrikes = 4;
    static constexpr qint64 kPauseMs = 150;
    // How long after such a close a refusal is still put down to it.
    static constexpr qint64 kClosedEarlyMs = 2000;
    int cap = kMaxParts;
    int known = kMaxParts;  // the count the server has shown in this run
    int strikes = 0;
    QElapsedTimer refusedAt;
    QElapsedTimer closedEarlyAt;
    bool pending = false;  // a connection was turned away; the count is not told yet
    bool told = false;
    std::array<bool, kMaxParts + 1> waiting{};
};
