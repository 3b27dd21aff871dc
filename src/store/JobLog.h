#pragma once
// The job log: every line a download or search job writes, with its time, kind and connection,
// in one global 1-based array. A list row remembers its own entries in its tag string, the entry
// numbers each followed by "," ("1,5,9,"), so a connection's or a page's log can be listed again.

#include <QString>
#include <cstdint>
#include <vector>

struct LogEntry {
    double LogTime = 0;  // days since 1899-12-30, local time
    QString LogText;
    uint8_t LogKind = 0;
    uint8_t LogPart = 0;  // connection 1..10 of a download job; 0 for search jobs
};

// Log kinds (LogEntry::LogKind): 1 connecting, 2 connected, 3 a request line, 4 a response line,
// 6 page received, 7 connection closed, 8 error / cancel / redirect, 9 movie found, 10 link found,
// 100 general progress. The download kinds are named in engine/DownloadLogText.h.

// JobLog[1..LogCount] are the entries; JobLog.size() == LogCapacity + 1 (element 0 unused).
extern std::vector<LogEntry> JobLog;
extern int32_t LogCount;
extern int32_t LogCapacity;

// Empties the log: LogCount = 0, LogCapacity = 1000 (start-up and tests).
void InitJobLog();

// Appends one entry stamped with the current time and appends its number and "," to the row's
// entry list. The log grows by 1000 entries whenever fewer than 1000 are left. Returns the new
// entry's number.
int AddLog(QString& entryList, const QString& text, uint8_t kind, uint8_t part);

// The entry numbers of an entry list, oldest first. With first > 0 only the numbers from first
// on (the tail an event has just written); numbers outside 1..LogCount are left out.
std::vector<int32_t> LogEntryNumbers(const QString& entryList, int32_t first = 0);
