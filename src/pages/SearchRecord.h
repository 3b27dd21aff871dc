#pragma once
// One search job (a page to analyse). Search jobs are kept in searches.qvs beside the job database.

#include <QString>
#include <cstdint>
#include <vector>

#include "store/JobRecord.h"

enum SearchStateValue : int32_t {
    SearchFree = 0,
    SearchRunning = 1,
    SearchPaused = 2,
    SearchWaiting = 3,
    SearchError = 5,
    SearchAnalysed = 8,
};

struct SearchRecord {
    int32_t SearchState = 0;
    int32_t Depth = 0;
    QString LinkedFrom;  // the page whose link led here ("" for a search the user started)
    QString Unused2;
    QString PageName;
    int32_t PageSize = 0;
    int32_t PageReceived = 0;
    QString PageUrl;
    QString PagePath;
    QString PageDir;
    QString StartUrl;
    QString PageHost;  // host, or "host:port" when the page URL names a port
    uint16_t PagePort = 80;
    int16_t UseProxy = 0;
    QString ProxyHost;
    uint16_t ProxyPort = 0;
    int16_t UseLogin = 0;
    QString UserName;
    QString Password;
    JobRecord JobTemplate;
    int32_t Reserved = 0;
};

// Searches[1..SearchCount]; Searches[0] unused. Always Searches.size() == SearchCount + 1.
extern std::vector<SearchRecord> Searches;
extern int16_t SearchCount;

// Appends a copy and returns its index (0 when the table is full).
int AddSearch(const SearchRecord& record);

// Empties the table (tests).
void ClearSearches();
