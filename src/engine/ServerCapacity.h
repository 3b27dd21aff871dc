#pragma once
// How many connections the server takes in one run. A server that turns a connection away
// (503, 429, a refused connection) while others work is worked with the connections it took:
// the count is lowered, told once in the log when every connection has had its answer, and
// raised again after the server's Retry-After. The ranges of refused connections wait for a
// free connection.

#include <QString>
#include <array>

#include "store/JobRecord.h"

class ServerCapacity {
public:
    // A new run: no limit known.
    void Reset();
    int Cap() const { return cap; }
    // Connection k was turned away; active: the connections still open. Its range now waits.
    void Refused(int k, int active);
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
    int cap = kMaxParts;
    bool pending = false;  // a connection was turned away; the count is not told yet
    bool told = false;
    std::array<bool, kMaxParts + 1> waiting{};
};
