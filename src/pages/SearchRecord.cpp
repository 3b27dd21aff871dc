#include "pages/SearchRecord.h"

std::vector<SearchRecord> Searches(1);
int16_t SearchCount = 0;

int AddSearch(const SearchRecord& record) {
    if (SearchCount >= 32767) return 0;
    Searches.resize(static_cast<size_t>(SearchCount) + 1);  // keeps the table's shape
    Searches.push_back(record);
    ++SearchCount;
    return SearchCount;
}

void ClearSearches() {
    Searches.assign(1, SearchRecord{});
    SearchCount = 0;
}
